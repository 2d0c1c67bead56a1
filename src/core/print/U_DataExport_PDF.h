#pragma once
// The printed result as an export: the PDF file written as every other export is, from an
// export's own thread. The pages are laid out and drawn on that thread too, so a large result
// never holds up the window. The progress counts the rows on the pages drawn so far; a stop is
// asked while the rows are measured and before every page, and a stopped or failed export leaves
// the old file as it was and no temporary file.
//
//   TOrvel_DataExport_PDF writer(columns, info);
//   writer.ExportToFile(path);   // throws EOrvelError
//   writer.PageCount();          // the pages written
#include "U_DataExport.h"
#include "U_PrintDocument.h"

class TOrvel_DataExport_PDF : public TOrvel_DataExport {
public:
    // The title of the document is the info's.
    TOrvel_DataExport_PDF(TOrvel_GridColumns &grid, TOrvel_PrintInfo info);

    QPageSize PageSize{QPageSize::A4};
    TOrvel_PageOrientation Orientation = TOrvel_PageOrientation::poAuto;

    // Lays the pages out and writes the PDF by the one write rule; returns true.
    bool ExportToFile(const QString &fileName);
    int PageCount() const { return FPageCount; }

private:
    TOrvel_PrintInfo FInfo;
    int FPageCount = 0;
};
