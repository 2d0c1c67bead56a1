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

#include <memory>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class TOrvel_DataExport_XLSX : public TOrvel_DataExport {
public:
    TOrvel_DataExport_XLSX(TOrvel_GridColumns &grid, const QString &title);
    ~TOrvel_DataExport_XLSX() override;

    // Writes the workbook to a temporary file beside the target and replaces the target with it
    // by the one safe-replace rule; returns true.
    bool ExportToFile(const QString &fileName);

    // The sheets the last export wrote.
    int SheetCount() const { return FSheetCount; }
    // Texts the last export cut to the spreadsheet's cell limit.
    int CutCells() const { return FCutCells; }
    // What the user is told after an export: the sheet split, the cut cells; "" when nothing.
    QString NoticeText() const;
    // Rows a sheet holds, the header included: the spreadsheet's own limit. A test may lower it.
    int RowsPerSheet = 1048576;

    // The text of a sheet split for the user: how many sheets the rows took.
    static QString SplitMessage(int sheets);
    // The text of cells cut to the spreadsheet's limit.
    static QString CutMessage(int cells);

protected:
    void WriteHeader() override;
    void WriteRow() override;
    void WriteFooter() override;

private:
    struct Column;
    struct Workbook;
    lxw_format *CellFormat(const Column &column, int rowStyle, bool exactText);
    lxw_format *MakeCellFormat(const Column &column, int rowStyle, bool exactText);
    int RowStyleOfCurrentRow();
    void StartSheet();
    void FinishSheet();
    void WriteCell(const Column &column, int col, int rowStyle);
    // A text as a cell holds it, counted among the cut cells and the bytes written.
    QByteArray SheetText(const QString &text);

    std::unique_ptr<Workbook> FBook;
    std::vector<Column> FCols;
    lxw_worksheet *FSheet = nullptr;
    lxw_format *FHeaderFormat = nullptr;
    DbField *FFormatField = nullptr;
    QHash<QString, int> FRowStyleIds;      // a row's format text: its style number
    std::vector<QString> FRowStyleTexts;   // style number - 1: the format text
    QHash<QString, lxw_format *> FFormats; // made once per distinct combination
    // Per column and row style: the format of a cell, and of a cell written as exact text.
    std::vector<std::vector<lxw_format *>> FCellFormats, FExactFormats;
    int FSheetCount = 0;
    int FSheetRow = 0; // the next row of the current sheet
    int FCutCells = 0;
    qint64 FRowsWritten = 0;
    qint64 FWrittenBytes = 0; // the least the sheets' markup must hold
};
