#include "U_DataExport_XLSX.h"

#include "U_ExcelFormat.h"
#include "U_RowFormat.h"
#include "U_SafeFile.h"
#include "U_ZipCheck.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// The spreadsheet's longest cell text.
constexpr qsizetype MaxCellText = 32767;
// The fewest bytes of markup a written cell takes in the sheet («<c r="A1"...»).
constexpr qint64 MinCellBytes = 8;

bool IsUnderscoreEscape(const QString &text, qsizetype i) {
    if (text[i] != u'_' || i + 6 >= text.size() || (text[i + 1] != u'x' && text[i + 1] != u'X') ||
        text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (text[k].unicode() >= 0x80 || !isxdigit(text[k].unicode()))
            return false;
    return true;
}

// Text as the spreadsheet's XML can carry it: characters XML cannot hold become U+FFFD, as in
// our XML export, and a literal "_xHHHH_" is escaped so that the spreadsheet does not read it as
// its own character escape. A text longer than a cell holds is cut at a whole character before
// the limit, never inside an escape, and *cut says so. The limit is counted as the library
// counts it (the escaped text) and as the spreadsheet does (a character beyond the Basic
// Multilingual Plane takes two).
QByteArray CellText(const QString &text, bool *cut = nullptr) {
    if (cut)
        *cut = false;
    // Most texts need no care at all.
    bool plain = text.size() <= MaxCellText;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'_' || u >= 0xD800) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text.toUtf8();
    QString out;
    out.reserve(std::min(text.size(), MaxCellText) + 16);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        QStringView piece(text.constData() + i, 1);
        qsizetype consumed = 1;
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            piece = QStringView(text.constData() + i, 2);
            consumed = 2;
        }
        static const QString replacement(QChar(0xFFFD));
        static const QString escapedUnderscore = QStringLiteral("_x005F_");
        const bool legal = consumed == 2 || u == 0x9 || u == 0xA || u == 0xD ||
                           (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD);
        if (!legal)
            piece = replacement;
        else if (IsUnderscoreEscape(text, i))
            piece = escapedUnderscore;
        if (out.size() + piece.size() > MaxCellText) {
            if (cut)
                *cut = true;
            break;
        }
        out += piece;
        i += consumed - 1;
    }
    return out.toUtf8();
}

// The library prints numbers with the C library's formatting, which follows the locale: under
// the Polish one 1234.5 would reach the file as "1234,5", which no spreadsheet reads as a number.
// While the workbook is written, this thread formats numbers the C way.
class TCNumericLocale {
public:
    TCNumericLocale() : FC(newlocale(LC_NUMERIC_MASK, "C", duplocale(LC_GLOBAL_LOCALE))) {
        if (FC)
            FPrevious = uselocale(FC);
    }
    ~TCNumericLocale() {
        if (!FC)
            return;
        uselocale(FPrevious);
        freelocale(FC);
    }
    TCNumericLocale(const TCNumericLocale &) = delete;
    TCNumericLocale &operator=(const TCNumericLocale &) = delete;

private:
    locale_t FC;
    locale_t FPrevious = LC_GLOBAL_LOCALE;
};

[[noreturn]] void Fail(const QString &fileName, const QString &reason) {
    throw EOrvelError(QStringLiteral("Nie można zapisać pliku \"%1\": %2")
                          .arg(QDir::toNativeSeparators(fileName), reason));
}

// The bytes free for the user on a folder's file system; -1 when unknown.
qint64 FreeBytes(const QString &folder) {
    struct statvfs fs {};
    if (folder.isEmpty() || statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return -1;
    return static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
}

// Whether a folder's file system has no room left for anyone but the superuser, or none at all.
bool FolderIsFull(const QString &folder) {
    struct statvfs fs {};
    if (folder.isEmpty() || statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return false;
    // Some file systems count no inodes at all (f_files 0): only blocks tell there.
    return fs.f_bavail == 0 || (fs.f_files > 0 && fs.f_favail == 0);
}

// The system's reason for a failure of the library. Its file and ZIP errors come from the system
// (errno tells which, when the library left it set); a folder without room is the likely cause
// when it did not.
QString LibraryReason(lxw_error error, int systemError, const QStringList &folders) {
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return SystemErrorText(ENOMEM);
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        if (systemError != 0)
            return SystemErrorText(systemError);
        for (const QString &folder : folders)
            if (FolderIsFull(folder))
                return SystemErrorText(ENOSPC);
        return SystemErrorText(EIO);
    default:
        return QStringLiteral("błąd biblioteki arkuszy (%1)").arg(static_cast<int>(error));
    }
}

// While the library works, its own lines (English, with internal file names) do not reach the
// user's terminal: the process's standard error goes to a memory file, and what others wrote
// there meanwhile is passed on when it is restored.
class TLibraryErrorsHidden {
public:
    TLibraryErrorsHidden() : FLock(Mutex()) {
        std::fflush(stderr);
        FCapture = memfd_create("orvel-xlsx-stderr", MFD_CLOEXEC);
        FSaved = FCapture >= 0 ? dup(STDERR_FILENO) : -1;
        if (FSaved < 0 || dup2(FCapture, STDERR_FILENO) < 0) {
            Release();
            return;
        }
    }
    ~TLibraryErrorsHidden() {
        if (FSaved < 0) {
            Release();
            return;
        }
        std::fflush(stderr);
        dup2(FSaved, STDERR_FILENO);
        QByteArray text;
        char buffer[4096];
        ssize_t n = 0;
        lseek(FCapture, 0, SEEK_SET);
        while ((n = read(FCapture, buffer, sizeof buffer)) > 0)
            text.append(buffer, n);
        QByteArray others;
        for (const QByteArray &line : text.split('\n'))
            if (!line.isEmpty() && !line.startsWith("[ERROR]") && !line.startsWith("[WARNING]"))
                others += line + '\n';
        if (!others.isEmpty())
            (void)!write(STDERR_FILENO, others.constData(),
                         static_cast<std::size_t>(others.size()));
        Release();
    }
    TLibraryErrorsHidden(const TLibraryErrorsHidden &) = delete;
    TLibraryErrorsHidden &operator=(const TLibraryErrorsHidden &) = delete;

private:
    static std::mutex &Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    void Release() {
        if (FSaved >= 0)
            close(FSaved);
        if (FCapture >= 0)
            close(FCapture);
        FSaved = FCapture = -1;
    }
    std::lock_guard<std::mutex> FLock;
    int FCapture = -1;
    int FSaved = -1;
};

} // namespace

struct TOrvel_DataExport_XLSX::Column {
    enum Kind { Number, Date, Time, Boolean, Text };
    DbField *Field;
    TFieldType Type;
    Kind CellKind;
    QByteArray NumFormat; // empty: none
    lxw_format_alignments Align;
};

// The workbook being written, by the library, into the file that will replace the target: the
// one write rule's own temporary file beside the target; for a target written in place (a
// device), an unnamed scratch file in the system's temporary folder, copied there at the end.
// The library's own temporary files go to the same folder, so there is one place to fill up.
struct TOrvel_DataExport_XLSX::Workbook {
    lxw_workbook *Book = nullptr;
    TOrvel_SafeFileStream Out;
    std::unique_ptr<TOrvel_ScratchFile> Scratch;
    QString Target;
    QString BookPath; // where the library writes the workbook
    QString WorkFolder;
    QByteArray TmpDir;

    explicit Workbook(const QString &target) : Out(target), Target(target) {
        if (Out.InPlace()) {
            WorkFolder = QDir::tempPath();
            Scratch =
                std::make_unique<TOrvel_ScratchFile>(QFile::encodeName(WorkFolder).toStdString());
            if (Scratch->Error() != 0)
                Fail(target, SystemErrorText(Scratch->Error()));
            BookPath = QFile::decodeName(QByteArray::fromStdString(Scratch->Path()));
        } else {
            WorkFolder = Out.Folder();
            BookPath = Out.WorkPath();
        }
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        TmpDir = QFile::encodeName(WorkFolder);
        options.tmpdir = TmpDir.data();
        {
            const TLibraryErrorsHidden hidden;
            errno = 0;
            Book = workbook_new_opt(QFile::encodeName(BookPath).constData(), &options);
        }
        if (!Book)
            Fail(target, errno ? SystemErrorText(errno) : SystemErrorText(ENOMEM));
    }
    ~Workbook() {
        if (Book)
            lxw_workbook_free(Book);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    void Check(lxw_error error) const {
        if (error != LXW_NO_ERROR)
            Fail(Target, LibraryReason(error, 0, {WorkFolder}));
    }

    // Finishes the workbook into its file.
    void Close() {
        lxw_workbook *book = Book;
        Book = nullptr;
        lxw_error error = LXW_NO_ERROR;
        int systemError = 0;
        {
            const TLibraryErrorsHidden hidden;
            errno = 0;
            error = workbook_close(book);
            systemError = errno;
        }
        if (error != LXW_NO_ERROR)
            Fail(Target, LibraryReason(error, systemError, {WorkFolder}));
    }

    // The finished workbook takes the target's place: renamed over it, or copied into a target
    // written in place.
    void Commit(const std::function<void()> &lastCheck) {
        if (Scratch) {
            QFile done(BookPath);
            if (!done.open(QIODevice::ReadOnly))
                Fail(Target, SystemErrorReason(done.errorString()));
            constexpr qint64 Piece = 1 << 20;
            while (!done.atEnd()) {
                const QByteArray bytes = done.read(Piece);
                if (bytes.isEmpty() && done.error() != QFileDevice::NoError)
                    Fail(Target, SystemErrorReason(done.errorString()));
                Out.Write(bytes);
            }
        }
        lastCheck();
        Out.Commit();
    }
};

TOrvel_DataExport_XLSX::TOrvel_DataExport_XLSX(TOrvel_GridColumns &grid, const QString &title)
    : TOrvel_DataExport(TOrvel_ExportKind::ekXLSX, title, grid) {}

TOrvel_DataExport_XLSX::~TOrvel_DataExport_XLSX() = default;

QString TOrvel_DataExport_XLSX::SplitMessage(int sheets) {
    return QStringLiteral("Wynik ma więcej wierszy, niż mieści arkusz: zapisano go na %1 arkuszach")
        .arg(sheets);
}

QString TOrvel_DataExport_XLSX::CutMessage(int cells) {
    // Polish counts: 1 komórkę, 2-4 (not 12-14) komórki, else komórek.
    const int tens = cells % 100, ones = cells % 10;
    const char *noun = cells == 1                                             ? "komórkę"
                       : (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) ? "komórki"
                                                                              : "komórek";
    return QStringLiteral("%1 %2 skrócono do 32 767 znaków (limit arkusza)")
        .arg(cells)
        .arg(QString::fromUtf8(noun));
}

QString TOrvel_DataExport_XLSX::NoticeText() const {
    QStringList notes;
    if (FSheetCount > 1)
        notes << SplitMessage(FSheetCount);
    if (FCutCells > 0)
        notes << CutMessage(FCutCells);
    return notes.join(QStringLiteral("; "));
}

bool TOrvel_DataExport_XLSX::ExportToFile(const QString &fileName) {
    if (!FDataSet || !FDataSet->IsOpen())
        throw EOrvelError(QStringLiteral("Brak otwartego wyniku do zapisania"));
    const TCNumericLocale cNumbers;
    FSheetCount = 0;
    FCutCells = 0;
    FWrittenBytes = 0;
    FRowsWritten = 0;
    FFormats.clear();
    try {
        // The target's folder is tried first: a missing or read-only one fails before any row.
        FBook = std::make_unique<Workbook>(fileName);
        WalkRows();
        // The library copies the rows' markup once more as it closes the workbook.
        const qint64 freeBeforeClose = FreeBytes(FBook->WorkFolder);
        FBook->Close();
        // The library does not tell of every failed write: what it left must be whole before it
        // replaces anything.
        TOrvel_ZipExpectation expected;
        expected.RequiredParts = {
            QStringLiteral("[Content_Types].xml"), QStringLiteral("_rels/.rels"),
            QStringLiteral("docProps/app.xml"),    QStringLiteral("docProps/core.xml"),
            QStringLiteral("xl/workbook.xml"),     QStringLiteral("xl/_rels/workbook.xml.rels"),
            QStringLiteral("xl/styles.xml")};
        for (int sheet = 1; sheet <= FSheetCount; ++sheet) {
            const QString part = QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet);
            expected.RequiredParts << part;
            expected.CountedParts << part;
        }
        expected.CountedParts << QStringLiteral("xl/sharedStrings.xml");
        expected.MinCountedBytes = FWrittenBytes;
        if (const auto broken = CheckZipPackage(FBook->BookPath, expected)) {
            // Short sheets are the library's unreported failed writes; with less room than
            // that copy needed, the room was what failed.
            const bool noRoom = FolderIsFull(FBook->WorkFolder) ||
                                (freeBeforeClose >= 0 && freeBeforeClose < 2 * FWrittenBytes);
            Fail(fileName, noRoom ? SystemErrorText(ENOSPC) : *broken);
        }
        FBook->Commit([this] { CheckStop(); });
    } catch (...) {
        FBook.reset();
        throw;
    }
    FBook.reset();
    return true;
}

void TOrvel_DataExport_XLSX::WriteHeader() {
    TOrvel_DataExport::WriteHeader();
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    FCols.clear();
    for (const int position : ExportedColumns()) {
        DbField *field = ColumnField(position);
        Column column{field, field->DataType(), Column::Text, {}, LXW_ALIGN_LEFT};
        switch (FGrid.Alignment(position)) {
        case TOrvel_Alignment::taRightJustify:
            column.Align = LXW_ALIGN_RIGHT;
            break;
        case TOrvel_Alignment::taCenter:
            column.Align = LXW_ALIGN_CENTER;
            break;
        default:
            break;
        }
        switch (field->Kind()) {
        case TFieldKind::fkNumeric: {
            column.CellKind = Column::Number;
            const auto format = ExcelNumberFormat(field->DisplayFormat);
            column.NumFormat = (format ? *format : ExcelDefaultNumberFormat(column.Type)).toUtf8();
            break;
        }
        case TFieldKind::fkDateTime: {
            column.CellKind = column.Type == TFieldType::ftTime ? Column::Time : Column::Date;
            const auto format = ExcelDateFormat(field->DisplayFormat, column.Type, fs);
            column.NumFormat =
                (format ? *format : ExcelDefaultDateFormat(column.Type, fs)).toUtf8();
            break;
        }
        case TFieldKind::fkBoolean:
            column.CellKind = Column::Boolean;
            break;
        default:
            break;
        }
        if (column.NumFormat == "General")
            column.NumFormat.clear();
        FCols.push_back(column);
    }
    FCellFormats.assign(FCols.size(), {});
    FExactFormats.assign(FCols.size(), {});
    FFormatField = FDataSet->FindField(QStringView(RowFormatFieldName).toString());
    StartSheet();
}

void TOrvel_DataExport_XLSX::StartSheet() {
    ++FSheetCount;
    const QByteArray name = ExcelSheetName(FTitle, FSheetCount).toUtf8();
    FSheet = workbook_add_worksheet(FBook->Book, name.constData());
    if (!FSheet)
        Fail(FBook->Target,
             QStringLiteral("nie można dodać arkusza \"%1\"").arg(QString::fromUtf8(name)));
    const std::vector<int> &positions = ExportedColumns();
    for (std::size_t c = 0; c < FCols.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        FBook->Check(worksheet_set_column(FSheet, col, col,
                                          ExcelColumnWidth(FGrid.Width(positions[c])), nullptr));
        const QString key = QStringLiteral("H|%1").arg(FCols[c].Align);
        lxw_format *&header = FFormats[key];
        if (!header) {
            header = workbook_add_format(FBook->Book);
            if (!header)
                Fail(FBook->Target, SystemErrorText(ENOMEM));
            format_set_bold(header);
            format_set_bg_color(header, 0xDDE4EE);
            format_set_align(header, FCols[c].Align);
        }
        FBook->Check(worksheet_write_string(
            FSheet, 0, col, SheetText(FGrid.Caption(positions[c])).constData(), header));
    }
    worksheet_freeze_panes(FSheet, 1, 0);
    FSheetRow = 1;
}

void TOrvel_DataExport_XLSX::FinishSheet() {
    if (!FSheet || FCols.empty())
        return;
    FBook->Check(worksheet_autofilter(FSheet, 0, 0, static_cast<lxw_row_t>(FSheetRow - 1),
                                      static_cast<lxw_col_t>(FCols.size() - 1)));
}

void TOrvel_DataExport_XLSX::WriteFooter() {
    FinishSheet();
}

// The row's style number: 0 for a plain row; rows with the same format text share one.
int TOrvel_DataExport_XLSX::RowStyleOfCurrentRow() {
    if (!FFormatField || FFormatField->IsNull())
        return 0;
    const QString text = FFormatField->AsString();
    if (text.isEmpty())
        return 0;
    auto found = FRowStyleIds.constFind(text);
    if (found != FRowStyleIds.constEnd())
        return *found;
    const int id = ParseRowFormat(text).IsPlain() ? 0 : static_cast<int>(FRowStyleTexts.size()) + 1;
    if (id)
        FRowStyleTexts.push_back(text);
    FRowStyleIds.insert(text, id);
    return id;
}

lxw_format *TOrvel_DataExport_XLSX::CellFormat(const Column &column, int rowStyle, bool exactText) {
    // The quick way, taken for nearly every cell: this column's format for this row style.
    const auto index = static_cast<std::size_t>(&column - FCols.data());
    auto &known = (exactText ? FExactFormats : FCellFormats)[index];
    const auto style = static_cast<std::size_t>(rowStyle);
    if (style < known.size() && known[style])
        return known[style];
    if (style >= known.size())
        known.resize(style + 1, nullptr);
    return known[style] = MakeCellFormat(column, rowStyle, exactText);
}

lxw_format *TOrvel_DataExport_XLSX::MakeCellFormat(const Column &column, int rowStyle,
                                                   bool exactText) {
    const lxw_format_alignments align = exactText ? LXW_ALIGN_RIGHT : column.Align;
    const QByteArray numFormat = exactText ? QByteArray() : column.NumFormat;
    const QString key =
        QStringLiteral("%1|%2|%3").arg(QString::fromUtf8(numFormat)).arg(align).arg(rowStyle);
    lxw_format *&format = FFormats[key];
    if (format)
        return format;
    format = workbook_add_format(FBook->Book);
    if (!format)
        Fail(FBook->Target, SystemErrorText(ENOMEM));
    if (!numFormat.isEmpty())
        format_set_num_format(format, numFormat.constData());
    format_set_align(format, align);
    if (rowStyle > 0) {
        const TOrvel_RowFormat style = ParseRowFormat(FRowStyleTexts[rowStyle - 1]);
        if (style.Color)
            format_set_bg_color(format, *style.Color);
        if (style.FontColor)
            format_set_font_color(format, *style.FontColor);
        if (style.Bold)
            format_set_bold(format);
        if (style.Italic)
            format_set_italic(format);
        if (style.Underline)
            format_set_underline(format, LXW_UNDERLINE_SINGLE);
        if (style.LineUp) {
            format_set_top(format, LXW_BORDER_THIN);
            format_set_top_color(format, LXW_COLOR_BLACK);
        }
    }
    return format;
}

void TOrvel_DataExport_XLSX::WriteCell(const Column &column, int col, int rowStyle) {
    const auto row = static_cast<lxw_row_t>(FSheetRow);
    const auto c = static_cast<lxw_col_t>(col);
    DbField *field = column.Field;
    lxw_error error = LXW_NO_ERROR;
    if (field->IsNull()) {
        // NULL is an empty cell; a styled row still paints it.
        if (rowStyle > 0) {
            error = worksheet_write_blank(FSheet, row, c, CellFormat(column, rowStyle, false));
            FWrittenBytes += MinCellBytes;
        }
        FBook->Check(error);
        return;
    }
    FWrittenBytes += MinCellBytes;
    auto writeText = [&](const QString &text, bool exact) {
        error = worksheet_write_string(FSheet, row, c, SheetText(text).constData(),
                                       CellFormat(column, rowStyle, exact));
    };
    const QVariant value = field->Value();
    switch (column.CellKind) {
    case Column::Number: {
        if (column.Type == TFieldType::ftBCD || value.typeId() == QMetaType::QString) {
            const QString decimal = value.toString();
            if (DecimalExceedsExcelPrecision(decimal)) {
                // A spreadsheet number keeps 15 digits: the exact value goes as text.
                QString exact = decimal;
                exact.replace(u'.', UserFormatSettings().DecimalSeparator);
                writeText(exact, true);
                break;
            }
            bool ok = false;
            const double number = decimal.toDouble(&ok);
            if (!ok) {
                writeText(field->DisplayText(), false);
                break;
            }
            error =
                worksheet_write_number(FSheet, row, c, number, CellFormat(column, rowStyle, false));
        } else if (value.typeId() == QMetaType::Double) {
            const double number = value.toDouble();
            if (!std::isfinite(number)) {
                writeText(field->DisplayText(), false);
                break;
            }
            error =
                worksheet_write_number(FSheet, row, c, number, CellFormat(column, rowStyle, false));
        } else {
            const qint64 whole = value.toLongLong();
            // Whole numbers past 15 digits would be rounded by the spreadsheet.
            if (whole > 999999999999999LL || whole < -999999999999999LL) {
                writeText(QString::number(whole), true);
                break;
            }
            error = worksheet_write_number(FSheet, row, c, static_cast<double>(whole),
                                           CellFormat(column, rowStyle, false));
        }
        break;
    }
    case Column::Date: {
        QDateTime when;
        if (value.typeId() == QMetaType::QDate)
            when = QDateTime(value.toDate(), QTime(0, 0));
        else
            when = value.toDateTime();
        const auto serial = ExcelSerialDate(when);
        if (!serial) {
            // Before March 1900 the spreadsheet has no date: the grid's text instead.
            writeText(field->DisplayText(), false);
            break;
        }
        error =
            worksheet_write_number(FSheet, row, c, *serial, CellFormat(column, rowStyle, false));
        break;
    }
    case Column::Time: {
        const QTime time =
            value.typeId() == QMetaType::QTime ? value.toTime() : value.toDateTime().time();
        error = worksheet_write_number(FSheet, row, c, time.msecsSinceStartOfDay() / 86400000.0,
                                       CellFormat(column, rowStyle, false));
        break;
    }
    case Column::Boolean:
        error = worksheet_write_boolean(FSheet, row, c, value.toBool() ? 1 : 0,
                                        CellFormat(column, rowStyle, false));
        break;
    case Column::Text:
        writeText(field->AsString(), false);
        break;
    }
    FBook->Check(error);
}

void TOrvel_DataExport_XLSX::WriteRow() {
    // The library keeps the rows in temporary files whose failed writes it does not report: a
    // file system that has filled up ends the export at once, with the reason.
    if (++FRowsWritten % 4096 == 0 && FolderIsFull(FBook->WorkFolder))
        Fail(FBook->Target, SystemErrorText(ENOSPC));
    if (FSheetRow >= RowsPerSheet) {
        FinishSheet();
        StartSheet();
    }
    const int rowStyle = RowStyleOfCurrentRow();
    for (std::size_t c = 0; c < FCols.size(); ++c)
        WriteCell(FCols[c], static_cast<int>(c), rowStyle);
    ++FSheetRow;
}

QByteArray TOrvel_DataExport_XLSX::SheetText(const QString &text) {
    bool cut = false;
    QByteArray bytes = CellText(text, &cut);
    if (cut)
        ++FCutCells;
    FWrittenBytes += bytes.size();
    return bytes;
}
