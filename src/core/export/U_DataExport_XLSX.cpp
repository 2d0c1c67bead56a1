#include "U_DataExport_XLSX.h"

#include "U_DbResult.h"
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

#include <array>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>
#include <mutex>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// The spreadsheet's longest cell text.
constexpr qsizetype MaxCellText = 32767;
// The fewest bytes of markup a written cell takes in the sheet («<c r="A1"...»).
constexpr qint64 MinCellBytes = 8;

bool IsUnderscoreEscape(QStringView text, qsizetype i) {
    if (text[i] != u'_' || i + 6 >= text.size() || (text[i + 1] != u'x' && text[i + 1] != u'X') ||
        text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (text[k].unicode() >= 0x80 || !isxdigit(text[k].unicode()))
            return false;
    return true;
}

// Characters below U+D800 as UTF-8, appended to `out` (which the caller has made room in).
char *AppendUtf8(QStringView text, char *to) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *to++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *to++ = static_cast<char>(0xC0 | (u >> 6));
            *to++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *to++ = static_cast<char>(0xE0 | (u >> 12));
            *to++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *to++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return to;
}

// Text as the spreadsheet's XML can carry it, as UTF-8 into `out`: characters XML cannot hold
// become U+FFFD, as in our XML export, and a literal "_xHHHH_" is escaped so that the spreadsheet
// does not read it as its own character escape. A text longer than a cell holds is cut at a whole
// character before the limit, never inside an escape, and *cut says so. The limit is counted as
// the library counts it (the escaped text) and as the spreadsheet does (a character beyond the
// Basic Multilingual Plane takes two).
void CellText(QStringView text, QByteArray &out, bool *cut) {
    *cut = false;
    // Most texts need no care at all: they are encoded straight into the buffer.
    bool plain = text.size() <= MaxCellText;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'_' || u >= 0xD800) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out.resize(3 * text.size());
        out.truncate(AppendUtf8(text, out.data()) - out.data());
        return;
    }
    QString escaped;
    escaped.reserve(std::min(text.size(), MaxCellText) + 16);
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
        if (escaped.size() + piece.size() > MaxCellText) {
            *cut = true;
            break;
        }
        escaped += piece;
        i += consumed - 1;
    }
    out = escaped.toUtf8();
}

// A decimal text of the result ("-1234.50") as a number, as QString::toDouble reads it: plain
// digit texts without a string on the way, anything else through it.
bool DecimalValue(QStringView text, double *value) {
    char digits[64];
    const qsizetype n = text.size();
    bool simple = n > 0 && n < qsizetype(sizeof digits);
    for (qsizetype i = 0; simple && i < n; ++i) {
        const char16_t u = text[i].unicode();
        simple = (u >= u'0' && u <= u'9') || u == u'.' || (u == u'-' && i == 0);
        digits[i] = static_cast<char>(u);
    }
    if (simple) {
        const auto [end, error] = std::from_chars(digits, digits + n, *value);
        if (error == std::errc() && end == digits + n)
            return true;
    }
    bool ok = false;
    *value = text.toString().toDouble(&ok);
    return ok;
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
    // How a number is held: whole, floating point, or the exact text of a decimal.
    enum Storage { Whole, Real, Decimal };
    const DbColumn *Data; // the stored values, read in place
    TFieldType Type;
    Kind CellKind;
    Storage NumberStorage;
    QByteArray NumFormat; // empty: none
    lxw_format_alignments Align;
};

// The row styles met so far: a row's format text gives its style number, 0 for a plain row,
// and rows with the same text share one. A result mostly repeats a handful of formats, often
// alternating row by row: the last few are looked at before the table.
class TOrvel_DataExport_XLSX::RowStyles {
public:
    explicit RowStyles(std::vector<QString> &texts) : FTexts(texts) {}

    int Of(QStringView text) {
        if (text.isEmpty())
            return 0;
        for (const Recent &r : FRecent)
            if (r.Style >= 0 && r.Text == text)
                return r.Style;
        const QString key = text.toString();
        auto found = FIds.constFind(key);
        int id = 0;
        if (found != FIds.constEnd()) {
            id = *found;
        } else {
            id = ParseRowFormat(key).IsPlain() ? 0 : static_cast<int>(FTexts.size()) + 1;
            if (id)
                FTexts.push_back(key);
            FIds.insert(key, id);
        }
        FRecent[FNext] = {key, id};
        FNext = (FNext + 1) % FRecent.size();
        return id;
    }

private:
    struct Recent {
        QString Text;
        int Style = -1; // -1: unused
    };
    std::vector<QString> &FTexts;
    QHash<QString, int> FIds;
    std::array<Recent, 4> FRecent;
    std::size_t FNext = 0;
};

struct TOrvel_DataExport_XLSX::Workbook {
    // First made and last gone: the library prints numbers until its workbook is freed.
    TCNumericLocale CNumbers;
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
    BeginWorkbook(fileName);
    try {
        WriteBlockRows();
        if (RowsDone)
            RowsDone();
    } catch (...) {
        Abandon();
        throw;
    }
    FinishWorkbook();
    return true;
}

void TOrvel_DataExport_XLSX::BeginWorkbook(const QString &fileName) {
    if (!FDataSet || !FDataSet->IsOpen())
        throw EOrvelError(QStringLiteral("Brak otwartego wyniku do zapisania"));
    FSheetCount = 0;
    FCutCells = 0;
    FWrittenBytes = 0;
    FRowsWritten = 0;
    FFormats.clear();
    FSheets.clear();
    FRowStyleTexts.clear();
    FRowStyles = std::make_unique<RowStyles>(FRowStyleTexts);
    try {
        // The target's folder is tried first: a missing or read-only one fails before any row.
        FBook = std::make_unique<Workbook>(fileName);
        WriteHeader();
    } catch (...) {
        Abandon();
        throw;
    }
}

// The rows are read by position from the stored result, without moving its current row.
void TOrvel_DataExport_XLSX::WriteBlockRows() {
    if (!FBook)
        throw std::logic_error("WriteBlockRows before BeginWorkbook");
    try {
        const int rows = FDataSet->RecordCount();
        for (int row = 0; row < rows; ++row) {
            CheckStop();
            FRow = row;
            WriteRow();
            if ((row + 1) % ProgressRows == 0)
                ReportProgress(row + 1, rows);
        }
        ReportProgress(rows, rows);
    } catch (...) {
        Abandon();
        throw;
    }
}

void TOrvel_DataExport_XLSX::FinishWorkbook() {
    if (!FBook)
        throw std::logic_error("FinishWorkbook before BeginWorkbook");
    try {
        WriteFooter();
        SetColumnWidths();
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
            Fail(FBook->Target, noRoom ? SystemErrorText(ENOSPC) : *broken);
        }
        FBook->Commit([this] { CheckStop(); });
    } catch (...) {
        Abandon();
        throw;
    }
    Abandon(); // the finished workbook's objects go
}

void TOrvel_DataExport_XLSX::Abandon() {
    FBook.reset();
    FSheet = nullptr;
    FSheets.clear();
}

void TOrvel_DataExport_XLSX::WriteHeader() {
    TOrvel_DataExport::WriteHeader();
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    const DbResult *result = FDataSet->Result();
    FCols.clear();
    for (const int position : ExportedColumns()) {
        DbField *field = ColumnField(position);
        Column column{&result->Column(field->Index()),
                      field->DataType(),
                      Column::Text,
                      Column::Decimal,
                      {},
                      LXW_ALIGN_LEFT};
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
            if (IsIntegerFieldType(column.Type))
                column.NumberStorage = Column::Whole;
            else if (column.Type == TFieldType::ftFloat || column.Type == TFieldType::ftCurrency)
                column.NumberStorage = Column::Real;
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
    FFormatTexts = FFormatField && FFormatField->Kind() == TFieldKind::fkText
                       ? &result->Column(FFormatField->Index())
                       : nullptr;
    StartSheet();
}

void TOrvel_DataExport_XLSX::StartSheet() {
    ++FSheetCount;
    const QByteArray name = ExcelSheetName(FTitle, FSheetCount).toUtf8();
    FSheet = workbook_add_worksheet(FBook->Book, name.constData());
    if (!FSheet)
        Fail(FBook->Target,
             QStringLiteral("nie można dodać arkusza \"%1\"").arg(QString::fromUtf8(name)));
    FSheets.push_back(FSheet);
    const std::vector<int> &positions = ExportedColumns();
    for (std::size_t c = 0; c < FCols.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
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
        FBook->Check(
            worksheet_write_string(FSheet, 0, col, SheetText(FGrid.Caption(positions[c])), header));
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

// The widths go into the sheets as the library closes them, so they are set last: a result that
// arrives in blocks has its widths only once every row has passed.
void TOrvel_DataExport_XLSX::SetColumnWidths() {
    const std::vector<int> &positions = ExportedColumns();
    for (lxw_worksheet *sheet : FSheets) {
        for (std::size_t c = 0; c < FCols.size(); ++c) {
            const auto col = static_cast<lxw_col_t>(c);
            FBook->Check(worksheet_set_column(
                sheet, col, col, ExcelColumnWidth(FGrid.Width(positions[c])), nullptr));
        }
    }
}

int TOrvel_DataExport_XLSX::RowStyleOfRow(std::size_t storedRow) {
    if (FFormatTexts)
        return FFormatTexts->IsNull(storedRow) ? 0 : FRowStyles->Of(FFormatTexts->Text(storedRow));
    if (!FFormatField || FFormatField->IsNullAt(FRow))
        return 0;
    return FRowStyles->Of(FFormatField->AsStringAt(FRow));
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

void TOrvel_DataExport_XLSX::WriteText(QStringView text, std::uint32_t row, std::uint16_t col,
                                       lxw_format *format) {
    FBook->Check(worksheet_write_string(FSheet, row, col, SheetText(text), format));
}

namespace {

// The spreadsheet's day numbers (days since 1899-12-30) of the first and the last day it holds
// a date for: before March 1900 its calendar counts a day that never was.
const qint64 kFirstSerialDay = QDate(1899, 12, 30).daysTo(QDate(1900, 3, 1));
const qint64 kLastSerialDay = QDate(1899, 12, 30).daysTo(QDate(9999, 12, 31));
const qint64 kSerialDayOfEpoch = QDate(1899, 12, 30).daysTo(QDate(1970, 1, 1));
constexpr std::int64_t kMSecsPerDay = 86400000;

// A stored date-time (milliseconds since 1970 of a wall-clock time) as the spreadsheet's serial
// number, as ExcelSerialDate gives it; false where the spreadsheet has no date. A date column
// holds days only.
bool SerialDate(std::int64_t msecs, bool dateOnly, double *serial) {
    std::int64_t days = msecs / kMSecsPerDay;
    std::int64_t rest = msecs % kMSecsPerDay;
    if (rest < 0) {
        rest += kMSecsPerDay;
        --days;
    }
    const std::int64_t serialDay = days + kSerialDayOfEpoch;
    if (serialDay < kFirstSerialDay || serialDay > kLastSerialDay)
        return false;
    const double fraction = dateOnly ? 0.0 : static_cast<double>(rest) / 86400000.0;
    *serial = static_cast<double>(serialDay) + fraction;
    return true;
}

} // namespace

void TOrvel_DataExport_XLSX::WriteCell(const Column &column, int col, std::size_t storedRow,
                                       int rowStyle) {
    const auto row = static_cast<lxw_row_t>(FSheetRow);
    const auto c = static_cast<lxw_col_t>(col);
    const DbColumn &data = *column.Data;
    if (data.IsNull(storedRow)) {
        // NULL is an empty cell; a styled row still paints it.
        if (rowStyle > 0) {
            FBook->Check(
                worksheet_write_blank(FSheet, row, c, CellFormat(column, rowStyle, false)));
            FWrittenBytes += MinCellBytes;
        }
        return;
    }
    FWrittenBytes += MinCellBytes;
    // The grid's text of the cell, where the spreadsheet cannot hold the value as it is.
    const auto displayText = [&] {
        WriteText(ExportedCell(static_cast<std::size_t>(col), storedRow, FScratch), row, c,
                  CellFormat(column, rowStyle, false));
    };
    const auto number = [&](double value) {
        FBook->Check(
            worksheet_write_number(FSheet, row, c, value, CellFormat(column, rowStyle, false)));
    };
    switch (column.CellKind) {
    case Column::Number:
        switch (column.NumberStorage) {
        case Column::Decimal: {
            const QStringView decimal = data.Text(storedRow);
            if (DecimalExceedsExcelPrecision(decimal)) {
                // A spreadsheet number keeps 15 digits: the exact value goes as text.
                QString exact = decimal.toString();
                exact.replace(u'.', UserFormatSettings().DecimalSeparator);
                WriteText(exact, row, c, CellFormat(column, rowStyle, true));
                break;
            }
            double value = 0;
            if (DecimalValue(decimal, &value))
                number(value);
            else
                displayText();
            break;
        }
        case Column::Real: {
            const double value = data.Real(storedRow);
            if (std::isfinite(value))
                number(value);
            else
                displayText();
            break;
        }
        case Column::Whole: {
            const std::int64_t whole = data.Int(storedRow);
            // Whole numbers past 15 digits would be rounded by the spreadsheet.
            if (whole > 999999999999999LL || whole < -999999999999999LL) {
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
                WriteText(QString::fromLatin1(digits, end - digits), row, c,
                          CellFormat(column, rowStyle, true));
                break;
            }
            number(static_cast<double>(whole));
            break;
        }
        }
        break;
    case Column::Date: {
        double serial = 0;
        if (SerialDate(data.Int(storedRow), column.Type == TFieldType::ftDate, &serial))
            number(serial);
        else
            displayText(); // before March 1900 the spreadsheet has no date: the grid's text
        break;
    }
    case Column::Time: {
        // As a time of day reads it: outside one day, none (midnight).
        const int msecs = static_cast<int>(data.Int(storedRow));
        number((msecs >= 0 && msecs < kMSecsPerDay ? msecs : 0) / 86400000.0);
        break;
    }
    case Column::Boolean:
        FBook->Check(worksheet_write_boolean(FSheet, row, c, data.Int(storedRow) != 0 ? 1 : 0,
                                             CellFormat(column, rowStyle, false)));
        break;
    case Column::Text:
        WriteText(data.Text(storedRow), row, c, CellFormat(column, rowStyle, false));
        break;
    }
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
    const std::size_t stored = StoredRow(FRow);
    const int rowStyle = RowStyleOfRow(stored);
    for (std::size_t c = 0; c < FCols.size(); ++c)
        WriteCell(FCols[c], static_cast<int>(c), stored, rowStyle);
    ++FSheetRow;
}

const char *TOrvel_DataExport_XLSX::SheetText(QStringView text) {
    bool cut = false;
    CellText(text, FText, &cut);
    if (cut)
        ++FCutCells;
    FWrittenBytes += FText.size();
    return FText.constData(); // a QByteArray always ends with a zero byte
}
