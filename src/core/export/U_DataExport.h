#pragma once
// The export writers: the shown result saved as CSV, XML or an XHTML page. A writer exports what
// the columns show, not the raw query: the columns in their current order, the visible ones only
// and never the row-format column, with their captions and each value's display text; all rows,
// in the result's current (possibly sorted) order, without moving the current row.
//
// A writer is made for one export:
//   TOrvel_DataExport_CSV(columns, u';', title).ExportToFile(path);
// Errors (a file that cannot be written, a result that is not open) throw EOrvelError after the
// result's current row and attached views have been restored; a failed export writes nothing.
// The rows go to the file encoded, in pieces, as they are walked: the writer never holds the
// whole output. Each column's display format is compiled once; the rows are formatted and encoded
// in slices on several threads, each slice into its own piece, and the pieces are written in
// order, so the bytes are those of a serial walk.
#include "U_ExportDocument.h"
#include "U_GridColumns.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

enum class TOrvel_ExportKind { ekXHTML, ekXML, ekCSV, ekXLSX, ekPDF };

class TOrvel_DataExport {
public:
    virtual ~TOrvel_DataExport();
    TOrvel_DataExport(const TOrvel_DataExport &) = delete;
    TOrvel_DataExport &operator=(const TOrvel_DataExport &) = delete;

    // Writes the whole result to the file (replacing it safely) and returns true.
    bool ExportToFile(const QString &fileName);
    // The bytes of the file as ExportToFile writes them (encoded, CR LF line ends), made in
    // memory; after an export, dated as that export was.
    QByteArray GetOutputBytes();

    // A result that arrives in blocks, each replacing the rows of the same query in place
    // (DbQuery::ReplaceRows): BeginStream starts the file and writes the header, StreamRows
    // writes the rows the query holds now, EndStream writes the rest and replaces the file. The
    // bytes are those ExportToFile writes for all the blocks' rows at once. A header that tells
    // the row count (XML, XHTML) is known only at the end: the rows then wait in a spool file
    // beside the target, written by the same rule and never kept. Without EndStream (a failure,
    // a cancel) the old file stays as it was, and no spool file is left. Only for the writers
    // that write rows by position (StreamsRows).
    bool StreamsRows() const { return RowsByPosition(); }
    void BeginStream(const QString &fileName);
    void StreamRows();
    void EndStream();

    TOrvel_ExportKind Kind() const { return FKind; }
    const QString &StyleSheetHref() const { return FStyleSheetHref; }

    // Asked before every row and before the file replaces the old one (from the exporting
    // thread): true stops the export with EOrvelError "Zapis przerwany", and nothing is written.
    std::function<bool()> Stop;
    // Told the rows written so far and all rows (from the exporting thread), once per block of
    // ProgressRows rows and when the last row is written.
    std::function<void(int written, int total)> Progress;
    static constexpr int ProgressRows = 1024;
    // Told (from the exporting thread) when the walk over the rows has ended and the result is
    // no longer read: what is left is finishing the file.
    std::function<void()> RowsDone;

    // The clock that dates the documents; replaceable so that a test sees fixed text.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // The address of the program's web page, linked from the XHTML footer.
    static const QString ProductPage;

    // Threads that format the rows (0: one per core; 1: a serial walk) and rows per slice. The
    // bytes written do not depend on them; at most two slices per thread are in flight.
    int Threads = 0;
    int SliceRows = 4096;

protected:
    // Raises "Zapis przerwany" when Stop says so.
    void CheckStop() const;
    void ReportProgress(int written, int total) const {
        if (Progress)
            Progress(written, total);
    }
    TOrvel_DataExport(TOrvel_ExportKind kind, const QString &title, TOrvel_GridColumns &grid);

    // The steps of the walk; the header and footer write to Out(). The XML kinds' header builds
    // the document up to its rows point, which the walk writes before the first row; the rest of
    // the document is written after the footer.
    virtual void WriteHeader();
    // Writes the row at the given position of the current order (from 0) to `out`. Called from
    // several threads at once, for different rows: it changes nothing of the writer. The text
    // writers write their rows this way (RowsByPosition).
    virtual void WriteRowAt(int row, TOrvel_ExportOutput &out, TOrvel_TextBuffer &scratch) const;
    virtual bool RowsByPosition() const { return false; }
    // The header tells how many rows follow.
    virtual bool HeaderCountsRows() const { return false; }
    // Rows written by the blocks before the one being written (a streamed export), so that a
    // writer that numbers its rows goes on counting.
    int RowsBefore() const { return FRowsBefore; }
    // The rows the export holds: the result's, or all the blocks' of a streamed export.
    int ExportRowCount() const;
    // Otherwise the walk moves the result's current row over every row, on one thread, and
    // writes each here (a writer whose output keeps state from row to row: the spreadsheet).
    virtual void WriteRow() {}
    virtual void WriteFooter() {}
    TOrvel_ExportOutput &Out() const { return *FOut; }
    // The walk for a writer that makes its file itself (the spreadsheet): the same steps over the
    // same rows, with the result's current row and views restored on every path.
    void WalkRows();
    // The time the export is dated with.
    const QDateTime &ExportTime() const { return FTime; }

    // A new element `name` holding the text (a text node even when it is empty), with the
    // attribute "class" when classText is not empty, appended as the parent's last child.
    TOrvel_ExportNode *AppendTextElement(TOrvel_ExportNode *parent, const QString &name,
                                         const QString &text, const QString &classText = {});

    // The exported columns' positions, fixed by WriteHeader: visible, not the row-format column,
    // in display order.
    const std::vector<int> &ExportedColumns() const { return FColumns; }
    DbField *ColumnField(int position) const { return FGrid.Field(position); }
    // The display text of the i-th exported column at a row of the stored result (see
    // DbDisplayFormat::Cell).
    QStringView ExportedCell(std::size_t i, std::size_t storedRow,
                             TOrvel_TextBuffer &scratch) const {
        return FCellFormats[i].Cell(storedRow, scratch);
    }
    std::size_t StoredRow(int row) const {
        return static_cast<std::size_t>(FDataSet->StoredRow(row));
    }

    TOrvel_ExportKind FKind;
    TOrvel_GridColumns &FGrid;
    DbQuery *FDataSet;
    QString FTitle;
    QString FStyleSheetHref;
    std::unique_ptr<TOrvel_ExportDocument> FDocument; // none for CSV
    // The XML kinds write ISO-8859-2; CSV writes the encoding chosen for it.
    TOrvel_ExportOutput::Charset FCharset;

private:
    void CheckResult() const;
    void Walk(TOrvel_ExportOutput &out);
    void WriteRows(TOrvel_ExportOutput &out) const;
    TOrvel_ExportOutput::Charset Charset() const;
    std::vector<int> FColumns;
    std::vector<DbDisplayFormat> FCellFormats; // of the exported columns, in their order
    TOrvel_ExportOutput *FOut = nullptr;       // during a walk
    QDateTime FTime;
    // During a streamed export: the file and its output, and the rows already written.
    std::unique_ptr<TOrvel_SafeFileStream> FStreamFile;
    std::unique_ptr<TOrvel_SafeFileStream> FSpool; // the rows, where the header waits for them
    std::unique_ptr<TOrvel_ExportOutput> FStreamOut;
    int FRowsBefore = 0;
    int FStreamedRows = -1; // all the rows of a streamed export, once known
};

// Whether a character can separate CSV values so that the file reads back: not the double quote
// that quotes values, and not CR or LF, which end a row.
bool IsValidCsvSeparator(QChar separator);

// The encodings a CSV file can be written in: the Polish ANSI code page, as always by default, or
// UTF-8 without or with the byte-order mark some spreadsheets need to read it as UTF-8.
enum class TOrvel_CsvEncoding { Windows1250, Utf8, Utf8Bom };
// The names the preference and the runner use: "windows-1250", "utf-8", "utf-8-bom".
QString CsvEncodingName(TOrvel_CsvEncoding encoding);
// The encoding of a name (ASCII case ignored); none for an unknown name.
std::optional<TOrvel_CsvEncoding> CsvEncodingFromName(const QString &name);
// The encoding a stored preference asks for: Windows-1250 when it is empty or unknown.
TOrvel_CsvEncoding CsvEncodingFromPreference(const QString &preference);

class TOrvel_DataExport_CSV : public TOrvel_DataExport {
public:
    TOrvel_DataExport_CSV(TOrvel_GridColumns &grid, QChar separator, const QString &title,
                          TOrvel_CsvEncoding encoding = TOrvel_CsvEncoding::Windows1250);

protected:
    void WriteHeader() override;
    void WriteRowAt(int row, TOrvel_ExportOutput &out, TOrvel_TextBuffer &scratch) const override;
    bool RowsByPosition() const override { return true; }
    void WriteFooter() override {}

private:
    void WriteValue(TOrvel_ExportOutput &out, bool first, QStringView value) const;
    QChar FSeparator;
    bool FByteOrderMark;
    QByteArray FSeparatorBytes;
};

class TOrvel_DataExport_XML : public TOrvel_DataExport {
public:
    TOrvel_DataExport_XML(TOrvel_GridColumns &grid, const QString &title);

    // The element name a field is exported under: the name itself when it is an XML name that
    // ISO-8859-2 can carry; otherwise the XML helper's escaped form ("Nazwa klienta" as
    // "Nazwa_x0020_klienta"), with a colon and characters ISO-8859-2 lacks escaped the same way;
    // "_" for a field without a name.
    static QString ExportElementName(const QString &fieldName);

protected:
    void WriteHeader() override;
    void WriteRowAt(int row, TOrvel_ExportOutput &out, TOrvel_TextBuffer &scratch) const override;
    bool RowsByPosition() const override { return true; }
    bool HeaderCountsRows() const override { return true; }
    void WriteFooter() override {}

private:
    TOrvel_ExportNode *FRoot = nullptr;
    TOrvel_ExportNode *FRows = nullptr;
    // The markup before each exported column's text: «<item><NAME>» for the first, «</PREVIOUS>
    // <NAME>» for the others; and «</LAST></item>» after the last (or «<item></item>» alone).
    QList<QByteArray> FBeforeCell;
    QByteArray FAfterRow;
};

class TOrvel_DataExport_XHTML : public TOrvel_DataExport {
public:
    TOrvel_DataExport_XHTML(TOrvel_GridColumns &grid, const QString &title);

    // The CSS declarations of the current row's format; empty when the row has none.
    QString GetRowStyle() const;
    // The CSS declarations of a row format's entries.
    static QString RowStyle(const QStringList &rowFormat);

protected:
    void WriteHeader() override;
    void WriteRowAt(int row, TOrvel_ExportOutput &out, TOrvel_TextBuffer &scratch) const override;
    bool RowsByPosition() const override { return true; }
    bool HeaderCountsRows() const override { return true; }
    void WriteFooter() override;

private:
    TOrvel_ExportNode *FHtml = nullptr;
    TOrvel_ExportNode *FHead = nullptr;
    TOrvel_ExportNode *FLink = nullptr;
    TOrvel_ExportNode *FBody = nullptr;
    TOrvel_ExportNode *FTable = nullptr;
    TOrvel_ExportNode *FTableBody = nullptr;
    DbField *FFormatField = nullptr;
    std::unique_ptr<DbDisplayFormat> FFormatCell; // the format field's texts, read in place
    QList<QByteArray> FCellStarts;                // «<td class="align_X"» of each exported column
    quint64 FHeaderSerial = 0; // tells this export's row markup from an earlier one's
};
