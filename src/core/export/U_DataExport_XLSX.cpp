#include "U_DataExport_XLSX.h"

#include "U_ExcelFormat.h"
#include "U_RowFormat.h"
#include "U_SafeFile.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <clocale>
#include <cmath>
#include <locale.h>

namespace {

// The spreadsheet's longest cell text.
constexpr qsizetype MaxCellText = 32767;

// Text as the spreadsheet's XML can carry it: characters XML cannot hold become U+FFFD, as in
// our XML export, and a literal "_xHHHH_" is escaped so that the spreadsheet does not read it as
// its own character escape.
QByteArray CellText(const QString &text) {
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
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        const bool legal = u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) ||
                           (u >= 0xE000 && u <= 0xFFFD);
        if (!legal) {
            out += QChar(0xFFFD);
            continue;
        }
        if (u == u'_' && i + 6 < n && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
            text[i + 6] == u'_') {
            bool hex = true;
            for (qsizetype k = i + 2; k < i + 6; ++k)
                hex = hex && isxdigit(text[k].unicode()) && text[k].unicode() < 0x80;
            if (hex) {
                out += QStringLiteral("_x005F_"); // the underscore itself, escaped
                continue;
            }
        }
        out += c;
    }
    if (out.size() > MaxCellText) {
        out.truncate(MaxCellText);
        if (out.back().isHighSurrogate())
            out.chop(1);
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
    throw EOrvelError(QStringLiteral("Nie można zapisać pliku \"%1\": %2").arg(fileName, reason));
}

void Check(lxw_error error, const QString &fileName) {
    if (error != LXW_NO_ERROR)
        Fail(fileName, QString::fromUtf8(lxw_strerror(error)));
}

} // namespace

struct TOrvel_DataExport_XLSX::Column {
    enum Kind { Number, Date, Time, Boolean, Text };
    DbField *Field;
    TFieldType Type;
    Kind CellKind;
    QByteArray NumFormat; // empty: none
    lxw_format_alignments Align;
};

// The workbook being written: a temporary file that the library writes, released (without a
// file) on every path that does not finish it.
struct TOrvel_DataExport_XLSX::Workbook {
    lxw_workbook *Book = nullptr;
    QTemporaryFile Temp;
    QString Target;

    explicit Workbook(const QString &target) : Target(target) {
        // Beside the target, so the finished file is replaced within one file system; where the
        // target's folder takes no new files (a device), the system's temporary folder.
        const QFileInfo info(target);
        Temp.setFileTemplate(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                             QStringLiteral(".XXXXXX"));
        if (!Temp.open()) {
            Temp.setFileTemplate(QDir::tempPath() + QStringLiteral("/orvel-xlsx.XXXXXX"));
            if (!Temp.open())
                Fail(target, Temp.errorString());
        }
        Temp.close(); // the library opens the file by name
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        const QByteArray tmpdir = QFile::encodeName(QDir::tempPath());
        options.tmpdir = const_cast<char *>(tmpdir.constData());
        Book = workbook_new_opt(QFile::encodeName(Temp.fileName()).constData(), &options);
        if (!Book)
            Fail(target, QStringLiteral("nie można utworzyć skoroszytu"));
    }
    ~Workbook() {
        if (Book)
            lxw_workbook_free(Book);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    // Finishes the workbook into the temporary file.
    void Close() {
        lxw_workbook *book = Book;
        Book = nullptr;
        Check(workbook_close(book), Target);
    }
};

TOrvel_DataExport_XLSX::TOrvel_DataExport_XLSX(TOrvel_GridColumns &grid, const QString &title)
    : TOrvel_DataExport(TOrvel_ExportKind::ekXLSX, title, grid) {}

TOrvel_DataExport_XLSX::~TOrvel_DataExport_XLSX() = default;

QString TOrvel_DataExport_XLSX::SplitMessage(int sheets) {
    return QStringLiteral("Wynik ma więcej wierszy, niż mieści arkusz: zapisano go na %1 arkuszach")
        .arg(sheets);
}

bool TOrvel_DataExport_XLSX::ExportToFile(const QString &fileName) {
    if (!FDataSet || !FDataSet->IsOpen())
        throw EOrvelError(QStringLiteral("Brak otwartego wyniku do zapisania"));
    const TCNumericLocale cNumbers;
    FBook = std::make_unique<Workbook>(fileName);
    FSheetCount = 0;
    FFormats.clear();
    try {
        WalkRows();
        FBook->Close();
        // The finished file replaces the target by the one safe-replace rule.
        QFile done(FBook->Temp.fileName());
        if (!done.open(QIODevice::ReadOnly))
            Fail(fileName, done.errorString());
        TOrvel_SafeFileStream out(fileName);
        constexpr qint64 Piece = 1 << 20;
        while (!done.atEnd()) {
            const QByteArray bytes = done.read(Piece);
            if (bytes.isEmpty() && done.error() != QFileDevice::NoError)
                Fail(fileName, done.errorString());
            out.Write(bytes);
        }
        CheckStop();
        out.Commit();
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
        Check(worksheet_set_column(FSheet, col, col, ExcelColumnWidth(FGrid.Width(positions[c])),
                                   nullptr),
              FBook->Target);
        const QString key = QStringLiteral("H|%1").arg(FCols[c].Align);
        lxw_format *&header = FFormats[key];
        if (!header) {
            header = workbook_add_format(FBook->Book);
            format_set_bold(header);
            format_set_bg_color(header, 0xDDE4EE);
            format_set_align(header, FCols[c].Align);
        }
        Check(worksheet_write_string(FSheet, 0, col,
                                     CellText(FGrid.Caption(positions[c])).constData(), header),
              FBook->Target);
    }
    worksheet_freeze_panes(FSheet, 1, 0);
    FSheetRow = 1;
}

void TOrvel_DataExport_XLSX::FinishSheet() {
    if (!FSheet || FCols.empty())
        return;
    Check(worksheet_autofilter(FSheet, 0, 0, static_cast<lxw_row_t>(FSheetRow - 1),
                               static_cast<lxw_col_t>(FCols.size() - 1)),
          FBook->Target);
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
        if (rowStyle > 0)
            error = worksheet_write_blank(FSheet, row, c, CellFormat(column, rowStyle, false));
        Check(error, FBook->Target);
        return;
    }
    auto writeText = [&](const QString &text, bool exact) {
        error = worksheet_write_string(FSheet, row, c, CellText(text).constData(),
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
    Check(error, FBook->Target);
}

void TOrvel_DataExport_XLSX::WriteRow() {
    if (FSheetRow >= RowsPerSheet) {
        FinishSheet();
        StartSheet();
    }
    const int rowStyle = RowStyleOfCurrentRow();
    for (std::size_t c = 0; c < FCols.size(); ++c)
        WriteCell(FCols[c], static_cast<int>(c), rowStyle);
    ++FSheetRow;
}
