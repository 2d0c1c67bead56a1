#include "U_DataExport_PDF.h"

#include "U_Db.h"

TOrvel_DataExport_PDF::TOrvel_DataExport_PDF(TOrvel_GridColumns &grid, TOrvel_PrintInfo info)
    : TOrvel_DataExport(TOrvel_ExportKind::ekPDF, info.Title, grid), FInfo(std::move(info)) {}

bool TOrvel_DataExport_PDF::ExportToFile(const QString &fileName) {
    FPageCount = 0;
    // Made on the exporting thread: its fonts and metrics belong to the thread that draws.
    TOrvel_PrintDocument document(FGrid, FInfo);
    document.PageSize = PageSize;
    document.Orientation = Orientation;
    document.Now = Now;
    document.Stop = Stop;
    document.Layout();
    const int rows = FDataSet && FDataSet->IsOpen() ? FDataSet->RecordCount() : 0;
    document.Progress = [this, &document, rows](int done, int pages) {
        const TOrvel_PrintPage &page = document.Page(done - 1);
        ReportProgress(page.FirstRow + page.RowCount, rows);
        // The last page is drawn: what is left is finishing the file, without the result.
        if (done == pages && RowsDone)
            RowsDone();
    };
    document.WritePdf(fileName);
    FPageCount = document.PageCount();
    return true;
}
