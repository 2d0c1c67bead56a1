#pragma once
// The spreadsheet export: the shown result as an XLSX workbook with real cell types (numbers,
// dates, booleans, text that is never a formula), the columns' widths, alignments and display
// formats, and the row-format column's styles. Rows stream to the file in the library's
// constant-memory mode, so a large result needs no more memory than it already has. Past the
// spreadsheet's row limit the rows continue on further sheets, each with the header.
//
//   TOrvel_DataExport_XLSX writer(columns, title);
//   writer.ExportToFile(path);          // throws EOrvelError; a failed export writes nothing
//   if (!writer.NoticeText().isEmpty()) ...  // tell the user the rows were split, cells cut
//
// The workbook is written once, straight into the file that replaces the target by the one write
// rule (renamed, not copied), and is checked before it does: a workbook the library could not
// finish never replaces the old file.
#include "U_DataExport.h"

#include <QHash>

#include <cstdint>

#include <memory>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;
class DbColumn;

class TOrvel_DataExport_XLSX : public TOrvel_DataExport {
public:
    TOrvel_DataExport_XLSX(TOrvel_GridColumns &grid, const QString &title);
    ~TOrvel_DataExport_XLSX() override;

    // Writes the workbook to a temporary file beside the target and replaces the target with it
    // by the one safe-replace rule; returns true.
    bool ExportToFile(const QString &fileName);

    // A result that arrives in blocks, each replacing the rows of the same query in place
    // (DbQuery::ReplaceRows), all on one thread: BeginWorkbook starts the workbook and writes the
    // header, WriteBlockRows writes the rows the query holds now, FinishWorkbook ends the last
    // sheet, sets the columns' widths as the columns have them then, and replaces the file. The
    // workbook is the one ExportToFile writes for all the blocks' rows at once; the sheet split
    // goes on across blocks. Without FinishWorkbook (a failure, a cancel) the old file stays as
    // it was and nothing is left beside it.
    void BeginWorkbook(const QString &fileName);
    void WriteBlockRows();
    void FinishWorkbook();

    // The sheets the last export wrote.
    int SheetCount() const { return FSheetCount; }
    // Texts the last export cut to the spreadsheet's cell limit.
    int CutCells() const { return FCutCells; }
    // What the user is told after an export: the sheet split, the cut cells; "" when nothing.
    QString NoticeText() const;
    // Rows a sheet holds, the header included: the spreadsheet's own limit. A test may lower it.
    static constexpr int SheetRowLimit = 1048576;
    int RowsPerSheet = SheetRowLimit;

    // The text of a sheet split for the user: how many sheets the rows took.
    static QString SplitMessage(int sheets);
    // The text of cells cut to the spreadsheet's limit.
    static QString CutMessage(int cells);

protected:
    void WriteHeader() override;
    // Writes the row at RowPosition() of the result's current order.
    void WriteRow() override;
    void WriteFooter() override;
    int RowPosition() const { return FRow; }

private:
    struct Column;
    struct Workbook;
    class RowStyles;
    lxw_format *CellFormat(const Column &column, int rowStyle, bool exactText);
    lxw_format *MakeCellFormat(const Column &column, int rowStyle, bool exactText);
    int RowStyleOfRow(std::size_t storedRow);
    void StartSheet();
    void FinishSheet();
    void SetColumnWidths();
    void WriteCell(const Column &column, int col, std::size_t storedRow, int rowStyle);
    void WriteText(QStringView text, std::uint32_t row, std::uint16_t col, lxw_format *format);
    // A text as a cell holds it (in FText, ended by a zero byte), counted among the cut cells
    // and the bytes written.
    const char *SheetText(QStringView text);
    void Abandon();

    std::unique_ptr<Workbook> FBook;
    std::vector<Column> FCols;
    std::vector<lxw_worksheet *> FSheets;
    lxw_worksheet *FSheet = nullptr;
    DbField *FFormatField = nullptr;
    const DbColumn *FFormatTexts = nullptr; // the format field's stored texts, read in place
    std::unique_ptr<RowStyles> FRowStyles;
    std::vector<QString> FRowStyleTexts;   // style number - 1: the format text
    QHash<QString, lxw_format *> FFormats; // made once per distinct combination
    // Per column and row style: the format of a cell, and of a cell written as exact text.
    std::vector<std::vector<lxw_format *>> FCellFormats, FExactFormats;
    QByteArray FText;           // the cell text being written, as UTF-8
    TOrvel_TextBuffer FScratch; // a cell's display text
    int FRow = 0;               // the row being written, in the result's current order
    int FSheetCount = 0;
    int FSheetRow = 0; // the next row of the current sheet
    int FCutCells = 0;
    qint64 FRowsWritten = 0;
    qint64 FWrittenBytes = 0; // the least the sheets' markup must hold
};
