#include "U_DataExport.h"

#include "U_DisplayFormat.h"
#include "U_RowFormat.h"
#include "U_TextCodec.h"
#include "U_XML_util.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QList>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <stdexcept>

const QString TOrvel_DataExport::ProductPage = GetProductWebAddress();

namespace {

// Keeps the grid away from the walk over the rows and puts it back on the row it showed, on
// every path out of the walk.
class TRowWalkGuard {
public:
    explicit TRowWalkGuard(DbQuery *query) : FQuery(query) {
        FQuery->DisableControls();
        FBookmark = FQuery->Bookmark();
    }
    ~TRowWalkGuard() {
        try {
            FQuery->GotoBookmark(FBookmark);
        } catch (...) {
            // The walk's own error, if any, is the one the user must see.
        }
        FQuery->EnableControls();
    }
    TRowWalkGuard(const TRowWalkGuard &) = delete;
    TRowWalkGuard &operator=(const TRowWalkGuard &) = delete;

private:
    DbQuery *FQuery;
    int FBookmark = 0;
};

QString AlignClass(TOrvel_Alignment alignment) {
    switch (alignment) {
    case TOrvel_Alignment::taCenter:
        return QStringLiteral("align_C");
    case TOrvel_Alignment::taRightJustify:
        return QStringLiteral("align_R");
    default:
        return QStringLiteral("align_L");
    }
}

// "#RRGGBB" of a row-format colour value; empty when the value names no colour.
QString CssColor(const QString &value) {
    const auto rgb = ParseRowFormatColor(value);
    if (!rgb)
        return {};
    return u'#' + QStringLiteral("%1").arg(*rgb, 6, 16, QChar(u'0')).toUpper();
}

QString EscapeCode(char32_t code) {
    return QStringLiteral("_x%1_")
        .arg(static_cast<uint>(code), 4, 16, QChar(u'0'))
        .toUpper()
        .replace(QStringLiteral("_X"), QStringLiteral("_x"));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The framework

TOrvel_DataExport::TOrvel_DataExport(TOrvel_ExportKind kind, const QString &title,
                                     TOrvel_GridColumns &grid)
    : FKind(kind), FGrid(grid), FDataSet(grid.Query()), FTitle(title),
      FStyleSheetHref(
          QUrl::fromLocalFile(GetDataFolder() + QStringLiteral("export.css")).toString()),
      FCharset(kind == TOrvel_ExportKind::ekCSV ? TOrvel_ExportOutput::Charset::Windows1250
                                                : TOrvel_ExportOutput::Charset::Iso88592) {}

TOrvel_DataExport::~TOrvel_DataExport() = default;

void TOrvel_DataExport::WriteHeader() {
    FDocument.reset();
    if (FKind == TOrvel_ExportKind::ekXML || FKind == TOrvel_ExportKind::ekXHTML)
        FDocument = std::make_unique<TOrvel_ExportDocument>();
    FColumns.clear();
    FCellFormats.clear();
    for (int i = 0; i < FGrid.Count(); ++i) {
        if (FGrid.Visible(i) && !IsRowFormatFieldName(FGrid.Field(i)->FieldName())) {
            FColumns.push_back(i);
            FCellFormats.emplace_back(*FGrid.Field(i));
        }
    }
}

TOrvel_ExportNode *TOrvel_DataExport::AppendTextElement(TOrvel_ExportNode *parent,
                                                        const QString &name, const QString &text,
                                                        const QString &classText) {
    TOrvel_ExportNode *element = parent->AppendElement(name);
    element->AppendText(text);
    if (!classText.isEmpty())
        element->SetAttribute(QStringLiteral("class"), classText);
    return element;
}

void TOrvel_DataExport::CheckResult() const {
    if (!FDataSet || !FDataSet->IsOpen())
        throw EOrvelError(QStringLiteral("Brak otwartego wyniku do zapisania"));
}

TOrvel_ExportOutput::Charset TOrvel_DataExport::Charset() const {
    return FCharset;
}

void TOrvel_DataExport::Walk(TOrvel_ExportOutput &out) {
    CheckResult();
    TRowWalkGuard guard(FDataSet);
    FOut = &out;
    FRowsBefore = 0;
    FStreamedRows = -1;
    const auto detach = qScopeGuard([this] { FOut = nullptr; });
    const bool byPosition = RowsByPosition();
    if (!byPosition)
        FDataSet->First();
    WriteHeader();
    if (FDocument)
        FDocument->WriteBeforeRows(out);
    if (byPosition) {
        WriteRows(out);
    } else {
        const int rows = FDataSet->RecordCount();
        int written = 0;
        while (!FDataSet->Eof()) {
            CheckStop();
            WriteRow();
            FDataSet->Next();
            if (++written % ProgressRows == 0)
                ReportProgress(written, rows);
        }
        ReportProgress(written, rows);
    }
    WriteFooter();
    if (FDocument)
        FDocument->WriteAfterRows(out);
    out.Finish();
}

void TOrvel_DataExport::WriteRowAt(int, TOrvel_ExportOutput &, TOrvel_TextBuffer &) const {}

void TOrvel_DataExport::WalkRows() {
    TOrvel_ExportOutput unused(Charset());
    Walk(unused);
    if (RowsDone)
        RowsDone();
}

// The rows are read by position, without moving the current row. A slice of rows is formatted
// and encoded into its own piece on a pool thread; the pieces go to the output in order, the
// oldest first, while later slices are still being made.
void TOrvel_DataExport::WriteRows(TOrvel_ExportOutput &out) const {
    const int rows = FDataSet->RecordCount();
    const int slice = std::max(1, SliceRows);
    const int threads = Threads > 0 ? Threads : std::max(1, QThread::idealThreadCount());
    if (threads == 1 || rows <= slice) {
        TOrvel_TextBuffer scratch;
        for (int row = 0; row < rows; ++row) {
            CheckStop();
            WriteRowAt(row, out, scratch);
            if ((row + 1) % ProgressRows == 0)
                ReportProgress(row + 1, rows);
        }
        ReportProgress(rows, rows);
        return;
    }
    const TOrvel_ExportOutput::Charset charset = Charset();
    // Pieces already written are handed back for later slices to fill again: their memory is
    // in place, so a slice neither maps fresh pages nor grows its piece by doubling.
    std::mutex spareLock;
    std::vector<QByteArray> spare;
    auto writeSlice = [this, charset, rows, slice, &spareLock, &spare](int from) {
        TOrvel_ExportOutput piece(charset);
        {
            const std::lock_guard lock(spareLock);
            if (!spare.empty()) {
                piece.ReuseBuffer(std::move(spare.back()));
                spare.pop_back();
            }
        }
        TOrvel_TextBuffer scratch;
        const int to = std::min(rows, from + slice);
        for (int row = from; row < to; ++row)
            WriteRowAt(row, piece, scratch);
        return piece.TakeBytes();
    };
    // Declared first, so destroyed last: the pool waits for every slice still running before
    // anything they use goes, also when writing a piece fails.
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    std::deque<QFuture<QByteArray>> inFlight;
    const auto dropQueued = qScopeGuard([&pool] { pool.clear(); });
    const std::size_t limit = 2 * static_cast<std::size_t>(threads);
    int next = 0;
    int written = 0;
    while (next < rows || !inFlight.empty()) {
        while (next < rows && inFlight.size() < limit) {
            inFlight.push_back(QtConcurrent::run(&pool, writeSlice, next));
            next += slice;
        }
        // The stop is asked here, on the exporting thread, once per slice written.
        CheckStop();
        QByteArray piece = inFlight.front().takeResult(); // moved out: not shared with the future
        inFlight.pop_front();
        out.AppendPiece(piece);
        written = std::min(rows, written + slice);
        ReportProgress(written, rows);
        const std::lock_guard lock(spareLock);
        spare.push_back(std::move(piece));
    }
}

QByteArray TOrvel_DataExport::GetOutputBytes() {
    if (!FTime.isValid())
        FTime = Now();
    TOrvel_ExportOutput out(Charset());
    Walk(out);
    return out.Bytes();
}

void TOrvel_DataExport::CheckStop() const {
    if (Stop && Stop())
        throw EOrvelError(QStringLiteral("Zapis przerwany"));
}

bool TOrvel_DataExport::ExportToFile(const QString &fileName) {
    CheckResult(); // before the file is touched: the missing result is the error to report
    FTime = Now();
    TOrvel_SafeFileStream file(fileName);
    TOrvel_ExportOutput out(Charset(), &file);
    Walk(out);
    if (RowsDone)
        RowsDone();
    CheckStop();
    file.Commit();
    return true;
}

void TOrvel_DataExport::BeginStream(const QString &fileName) {
    if (!StreamsRows())
        throw std::logic_error("this writer cannot write a result in blocks");
    CheckResult();
    FTime = Now();
    FRowsBefore = 0;
    FStreamedRows = -1;
    FOut = nullptr;
    FStreamOut.reset();
    FSpool.reset();
    // The target is opened first: a file that cannot be written fails before any row.
    FStreamFile = std::make_unique<TOrvel_SafeFileStream>(fileName);
    if (HeaderCountsRows()) {
        const QString folder = FStreamFile->InPlace() ? QDir::tempPath() : FStreamFile->Folder();
        FSpool = std::make_unique<TOrvel_SafeFileStream>(folder + QStringLiteral("/.orvel-rows-") +
                                                         QFileInfo(fileName).fileName());
        FStreamOut = std::make_unique<TOrvel_ExportOutput>(Charset(), FSpool.get());
    } else {
        FStreamOut = std::make_unique<TOrvel_ExportOutput>(Charset(), FStreamFile.get());
    }
    FOut = FStreamOut.get();
    WriteHeader(); // prepares the rows' markup; with a spool, the header itself comes at the end
    if (!FSpool && FDocument)
        FDocument->WriteBeforeRows(*FOut);
}

void TOrvel_DataExport::StreamRows() {
    if (!FOut)
        throw std::logic_error("StreamRows before BeginStream");
    WriteRows(*FOut);
    FRowsBefore += FDataSet->RecordCount();
}

void TOrvel_DataExport::EndStream() {
    if (!FOut)
        throw std::logic_error("EndStream before BeginStream");
    const auto done = qScopeGuard([this] {
        FOut = nullptr;
        FStreamOut.reset();
        FSpool.reset();
        FStreamFile.reset();
    });
    if (!FSpool) {
        WriteFooter();
        if (FDocument)
            FDocument->WriteAfterRows(*FOut);
        FOut->Finish();
        CheckStop();
        FStreamFile->Commit();
        return;
    }
    FOut->Finish(); // the spool holds every row
    TOrvel_ExportOutput out(Charset(), FStreamFile.get());
    FOut = &out;
    FStreamedRows = FRowsBefore;
    WriteHeader(); // again, now that the row count is known
    FDocument->WriteBeforeRows(out);
    QFile rows(FSpool->WorkPath());
    if (!rows.open(QIODevice::ReadOnly))
        throw EOrvelError(QStringLiteral("Nie można odczytać pliku \"%1\": %2")
                              .arg(rows.fileName(), SystemErrorReason(rows.errorString())));
    QByteArray piece;
    for (;;) {
        CheckStop();
        piece = rows.read(qint64(1) << 20);
        if (piece.isEmpty())
            break;
        out.AppendPiece(piece);
    }
    if (rows.error() != QFileDevice::NoError)
        throw EOrvelError(QStringLiteral("Nie można odczytać pliku \"%1\": %2")
                              .arg(rows.fileName(), SystemErrorReason(rows.errorString())));
    WriteFooter();
    FDocument->WriteAfterRows(out);
    out.Finish();
    CheckStop();
    FStreamFile->Commit();
}

int TOrvel_DataExport::ExportRowCount() const {
    return FStreamedRows >= 0 ? FStreamedRows : FDataSet->RecordCount();
}

// ---------------------------------------------------------------------------------------------
// CSV

bool IsValidCsvSeparator(QChar separator) {
    return separator != u'"' && separator != u'\r' && separator != u'\n';
}

QString CsvEncodingName(TOrvel_CsvEncoding encoding) {
    switch (encoding) {
    case TOrvel_CsvEncoding::Utf8:
        return QStringLiteral("utf-8");
    case TOrvel_CsvEncoding::Utf8Bom:
        return QStringLiteral("utf-8-bom");
    case TOrvel_CsvEncoding::Windows1250:
        break;
    }
    return QStringLiteral("windows-1250");
}

std::optional<TOrvel_CsvEncoding> CsvEncodingFromName(const QString &name) {
    for (const auto encoding :
         {TOrvel_CsvEncoding::Windows1250, TOrvel_CsvEncoding::Utf8, TOrvel_CsvEncoding::Utf8Bom}) {
        if (name.compare(CsvEncodingName(encoding), Qt::CaseInsensitive) == 0)
            return encoding;
    }
    return std::nullopt;
}

TOrvel_CsvEncoding CsvEncodingFromPreference(const QString &preference) {
    return CsvEncodingFromName(preference.trimmed()).value_or(TOrvel_CsvEncoding::Windows1250);
}

TOrvel_DataExport_CSV::TOrvel_DataExport_CSV(TOrvel_GridColumns &grid, QChar separator,
                                             const QString &title, TOrvel_CsvEncoding encoding)
    : TOrvel_DataExport(TOrvel_ExportKind::ekCSV, title, grid), FSeparator(separator),
      FByteOrderMark(encoding == TOrvel_CsvEncoding::Utf8Bom) {
    if (encoding != TOrvel_CsvEncoding::Windows1250)
        FCharset = TOrvel_ExportOutput::Charset::Utf8;
}

// A line: the values quoted, a double quote in a value doubled, the separator between them; every
// line break, in a value or as the separator, written as CR LF.
void TOrvel_DataExport_CSV::WriteValue(TOrvel_ExportOutput &out, bool first,
                                       QStringView value) const {
    if (!first)
        out.AppendBytes(FSeparatorBytes);
    out.AppendAscii("\"");
    out.AppendCsvText(value);
    out.AppendAscii("\"");
}

void TOrvel_DataExport_CSV::WriteHeader() {
    TOrvel_DataExport::WriteHeader();
    FSeparatorBytes = FSeparator == u'\r' || FSeparator == u'\n'
                          ? QByteArray("\r\n")
                          : Out().Encode(QStringView(&FSeparator, 1));
    if (FByteOrderMark)
        Out().AppendAscii("\xEF\xBB\xBF");
    bool first = true;
    for (const int position : ExportedColumns()) {
        WriteValue(Out(), first, FGrid.Caption(position));
        first = false;
    }
    Out().AppendAscii("\r\n");
}

void TOrvel_DataExport_CSV::WriteRowAt(int row, TOrvel_ExportOutput &out,
                                       TOrvel_TextBuffer &scratch) const {
    const std::size_t stored = StoredRow(row);
    const std::size_t count = ExportedColumns().size();
    for (std::size_t i = 0; i < count; ++i)
        WriteValue(out, i == 0, ExportedCell(i, stored, scratch));
    out.AppendAscii("\r\n");
}

// ---------------------------------------------------------------------------------------------
// XML

TOrvel_DataExport_XML::TOrvel_DataExport_XML(TOrvel_GridColumns &grid, const QString &title)
    : TOrvel_DataExport(TOrvel_ExportKind::ekXML, title, grid) {}

QString TOrvel_DataExport_XML::ExportElementName(const QString &fieldName) {
    if (fieldName.isEmpty())
        return QStringLiteral("_"); // an expression without an alias
    const QString encoded = EncodeElementName(fieldName);
    if (IsXmlNCName(encoded) &&
        ReplaceUnencodable(encoded, QStringLiteral("iso-8859-2")) == encoded)
        return encoded;
    // A character reference cannot stand in a name: escape what the file's encoding lacks.
    QString name;
    for (const uint code : encoded.toUcs4()) {
        QString c;
        AppendCodePoint(c, code);
        const bool encodable = ReplaceUnencodable(c, QStringLiteral("iso-8859-2")) == c;
        if (code == u':' || !encodable)
            name += EscapeCode(code);
        else
            name += c;
    }
    return name;
}

void TOrvel_DataExport_XML::WriteHeader() {
    TOrvel_DataExport::WriteHeader();
    FBeforeCell.clear();
    QByteArray endTag = "<item>";
    for (const int position : ExportedColumns()) {
        const QString name = ExportElementName(ColumnField(position)->FieldName());
        if (!IsXmlNCName(name))
            throw EOrvelError(QStringLiteral("Nieprawidłowa nazwa elementu XML: \"%1\"").arg(name));
        FBeforeCell.append(endTag + Out().Encode(u'<' + name + u'>'));
        endTag = Out().Encode(QStringLiteral("</") + name + u'>');
    }
    FAfterRow = endTag + "</item>";

    FRoot = FDocument->CreateRoot(QStringLiteral("Zestawnik"));
    AppendTextElement(FRoot, QStringLiteral("title"), FTitle);
    AppendTextElement(FRoot, QStringLiteral("rowcount"), QString::number(ExportRowCount()));
    AppendTextElement(FRoot, QStringLiteral("date"),
                      FormatDateTime(QStringLiteral("c"), ExportTime(), UserFormatSettings()));
    FRows = AppendTextElement(FRoot, QStringLiteral("rows"), QString());
    FRows->AppendRowsPoint();
}

void TOrvel_DataExport_XML::WriteRowAt(int row, TOrvel_ExportOutput &out,
                                       TOrvel_TextBuffer &scratch) const {
    // <item><NAME>text</NAME>...</item>
    const std::size_t stored = StoredRow(row);
    const std::size_t count = ExportedColumns().size();
    for (std::size_t i = 0; i < count; ++i) {
        out.AppendBytes(FBeforeCell[static_cast<qsizetype>(i)]);
        out.AppendXmlText(ExportedCell(i, stored, scratch));
    }
    out.AppendBytes(FAfterRow);
}

// ---------------------------------------------------------------------------------------------
// XHTML

namespace {

// The markup around the data cells of a row in one row style, encoded: before each cell
// «</td><td class="align_X" style="...">» (closing the number cell or the cell before).
struct TXhtmlRowMarkup {
    QString Format;
    std::vector<QByteArray> BeforeCell;
};

// The markup of the last few row formats met, kept by each thread for the export whose header
// made it: a result mostly repeats a handful of formats, often alternating row by row.
struct TXhtmlRowMarkupCache {
    static constexpr std::size_t kSize = 8;
    quint64 HeaderSerial = 0;
    std::array<TXhtmlRowMarkup, kSize> Entries;
    std::size_t Used = 0;
    std::size_t Next = 0; // the entry a new format replaces, the oldest made

    template <typename Make>
    const TXhtmlRowMarkup &Find(quint64 serial, QStringView format, Make make) {
        if (HeaderSerial != serial) {
            HeaderSerial = serial;
            Used = Next = 0;
        }
        for (std::size_t i = 0; i < Used; ++i) {
            if (Entries[i].Format == format)
                return Entries[i];
        }
        TXhtmlRowMarkup &entry = Entries[Next];
        Next = (Next + 1) % kSize;
        Used = std::max(Used, Next == 0 ? kSize : Next);
        entry.Format = format.toString();
        entry.BeforeCell = make(entry.Format);
        return entry;
    }
};

std::atomic<quint64> NextXhtmlHeaderSerial{1};

} // namespace

TOrvel_DataExport_XHTML::TOrvel_DataExport_XHTML(TOrvel_GridColumns &grid, const QString &title)
    : TOrvel_DataExport(TOrvel_ExportKind::ekXHTML, title, grid) {}

void TOrvel_DataExport_XHTML::WriteHeader() {
    TOrvel_DataExport::WriteHeader();
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    const QDateTime &now = ExportTime();

    FDocument->SetDocType(QStringLiteral("html"), QStringLiteral("-//W3C//DTD XHTML 1.1//EN"),
                          QStringLiteral("http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd"));
    FHtml = FDocument->CreateRoot(QStringLiteral("html"));
    FHtml->SetAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.w3.org/1999/xhtml"));
    FHead = FHtml->AppendElement(QStringLiteral("head"));
    AppendTextElement(FHead, QStringLiteral("title"), FTitle);
    FLink = FHead->AppendElement(QStringLiteral("link"));
    FLink->SetAttribute(QStringLiteral("href"), FStyleSheetHref);
    FLink->SetAttribute(QStringLiteral("type"), QStringLiteral("text/css"));
    FLink->SetAttribute(QStringLiteral("rel"), QStringLiteral("stylesheet"));
    FLink->SetAttribute(QStringLiteral("media"), QStringLiteral("all"));
    FBody = FHtml->AppendElement(QStringLiteral("body"));
    FBody->SetAttribute(QStringLiteral("xml:lang"), QStringLiteral("pl"));
    AppendTextElement(FBody, QStringLiteral("p"), FTitle, QStringLiteral("title"));
    AppendTextElement(FBody, QStringLiteral("p"),
                      QStringLiteral("Pozycji: ") + QString::number(ExportRowCount()) +
                          QStringLiteral(". Data utworzenia: ") + FormatDateOnly(now.date(), fs) +
                          QStringLiteral(", godzina: ") + FormatTimeOnly(now.time(), fs));
    FTable = AppendTextElement(FBody, QStringLiteral("table"), QString());
    AppendTextElement(FTable, QStringLiteral("caption"), QStringLiteral("Lista pozycji"));
    FTableBody = AppendTextElement(FTable, QStringLiteral("tbody"), QString());

    TOrvel_ExportNode *tr = AppendTextElement(FTableBody, QStringLiteral("tr"), QString());
    AppendTextElement(tr, QStringLiteral("th"), QStringLiteral("Nr"));
    for (const int position : ExportedColumns())
        AppendTextElement(tr, QStringLiteral("th"), FGrid.Caption(position));

    FTableBody->AppendRowsPoint();

    FCellStarts.clear();
    for (const int position : ExportedColumns())
        FCellStarts.append(Out().Encode(QStringLiteral("<td class=\"") +
                                        AlignClass(FGrid.Alignment(position)) + u'"'));
    FHeaderSerial = NextXhtmlHeaderSerial++;
    FFormatField = FDataSet->FindField(QStringView(RowFormatFieldName).toString());
    FFormatCell.reset();
    if (FFormatField && FFormatField->Kind() == TFieldKind::fkText)
        FFormatCell = std::make_unique<DbDisplayFormat>(*FFormatField);
}

QString TOrvel_DataExport_XHTML::GetRowStyle() const {
    const DbField *field =
        FDataSet ? FDataSet->FindField(QStringView(RowFormatFieldName).toString()) : nullptr;
    const QString format = field ? field->AsString() : QString();
    return format.isEmpty() ? QString() : RowStyle(SplitRowFormatEntries(format));
}

QString TOrvel_DataExport_XHTML::RowStyle(const QStringList &rowFormat) {
    if (rowFormat.isEmpty())
        return {};
    QString style;
    auto declare = [&style](const QString &property, const QString &value) {
        style += property + QStringLiteral(": ") + value + u';';
    };
    const auto color = RowFormatValue(rowFormat, QStringLiteral("color"));
    const auto fontColor = RowFormatValue(rowFormat, QStringLiteral("fontcolor"));
    const auto fontStyle = RowFormatValue(rowFormat, QStringLiteral("fontstyle"));
    const auto line = RowFormatValue(rowFormat, QStringLiteral("line"));
    // A colour that names none (not hexadecimal, above FFFFFF) is left out.
    if (color && !color->isEmpty() && !CssColor(*color).isEmpty())
        declare(QStringLiteral("background-color"), CssColor(*color));
    if (fontColor && !fontColor->isEmpty() && !CssColor(*fontColor).isEmpty())
        declare(QStringLiteral("color"), CssColor(*fontColor));
    if (fontStyle && fontStyle->contains(u'U'))
        declare(QStringLiteral("text-decoration"), QStringLiteral("underline"));
    if (fontStyle && fontStyle->contains(u'B'))
        declare(QStringLiteral("font-weight"), QStringLiteral("bold"));
    if (fontStyle && fontStyle->contains(u'I'))
        declare(QStringLiteral("font-style"), QStringLiteral("italic"));
    if (line && *line == QStringLiteral("up"))
        declare(QStringLiteral("border-top"), QStringLiteral("#000000 1px solid"));
    return style;
}

void TOrvel_DataExport_XHTML::WriteRowAt(int row, TOrvel_ExportOutput &out,
                                         TOrvel_TextBuffer &scratch) const {
    const std::size_t stored = StoredRow(row);
    QStringView format;
    QString formatText;
    if (FFormatCell) {
        format = FFormatCell->Cell(stored, scratch);
    } else if (FFormatField) {
        formatText = FFormatField->AsStringAt(row);
        format = formatText;
    }
    const std::size_t count = ExportedColumns().size();
    thread_local TXhtmlRowMarkupCache cache;
    const TXhtmlRowMarkup &markup = cache.Find(FHeaderSerial, format, [&](const QString &text) {
        // Every data cell of the row carries the same style.
        const QString style = text.isEmpty() ? QString() : RowStyle(SplitRowFormatEntries(text));
        TOrvel_ExportOutput attribute(TOrvel_ExportOutput::Charset::Iso88592);
        if (!style.isEmpty()) {
            attribute.AppendAscii(" style=\"");
            attribute.AppendXmlText(style, true);
            attribute.AppendAscii("\"");
        }
        const QByteArray styleBytes = attribute.TakeBytes();
        std::vector<QByteArray> beforeCell;
        beforeCell.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            beforeCell.push_back("</td>" + FCellStarts[static_cast<qsizetype>(i)] + styleBytes +
                                 '>');
        return beforeCell;
    });
    // <tr><td class="align_R">N</td><td class="..." style="...">text</td>...</tr>
    out.AppendAscii("<tr><td class=\"align_R\">");
    out.AppendNumber(RowsBefore() + row + 1);
    for (std::size_t i = 0; i < count; ++i) {
        out.AppendBytes(markup.BeforeCell[i]);
        out.AppendXmlText(ExportedCell(i, stored, scratch));
    }
    out.AppendAscii("</td></tr>");
}

void TOrvel_DataExport_XHTML::WriteFooter() {
    TOrvel_ExportNode *p = FBody->AppendElement(QStringLiteral("p"));
    p->SetAttribute(QStringLiteral("style"), QStringLiteral("font-size: smaller"));
    p->AppendText(QStringLiteral("Wygenerowane programem "));
    TOrvel_ExportNode *a = p->AppendElement(QStringLiteral("a"));
    a->AppendText(QStringLiteral("Orvel-Zestawnik"));
    // Without a public page the name stays an anchor that leads nowhere.
    if (!ProductPage.isEmpty())
        a->SetAttribute(QStringLiteral("href"), ProductPage);
    p->AppendText(QStringLiteral(" ") + GetVersionString() + QStringLiteral(". "));
}
