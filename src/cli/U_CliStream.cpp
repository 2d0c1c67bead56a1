#include "U_CliStream.h"

#include "U_ColumnFit.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_DbResult.h"
#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"
#include "U_error.h"

#include <QByteArray>
#include <QScopeGuard>

TOrvel_BlockQueue::TOrvel_BlockQueue(std::size_t blockRows, std::size_t capacity)
    : FBlockRows(std::max<std::size_t>(blockRows, 1)),
      FCapacity(std::max<std::size_t>(capacity, 1)) {}

void TOrvel_BlockQueue::TakeBlock(std::unique_ptr<DbResult> rows) {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FAbandoned || FBlocks.size() < FCapacity; });
    if (FAbandoned)
        return; // dropped outside the lock, as the block goes out of scope
    FRowsPut += rows ? rows->RowCount() : 0;
    FBlocks.push_back(std::move(rows));
    FChanged.notify_all();
}

void TOrvel_BlockQueue::PutLast(std::unique_ptr<DbResult> rows) {
    const std::lock_guard lock(FLock);
    if (FAbandoned)
        return;
    FRowsPut += rows ? rows->RowCount() : 0;
    FBlocks.push_back(std::move(rows));
    FLastPut = true;
    FChanged.notify_all();
}

std::unique_ptr<DbResult> TOrvel_BlockQueue::Next(bool &last) {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FAbandoned || !FBlocks.empty(); });
    last = false;
    if (FAbandoned)
        return nullptr;
    std::unique_ptr<DbResult> rows = std::move(FBlocks.front());
    FBlocks.pop_front();
    last = FLastPut && FBlocks.empty();
    FChanged.notify_all();
    return rows;
}

qint64 TOrvel_BlockQueue::RowsPut() const {
    const std::lock_guard lock(FLock);
    return FRowsPut;
}

void TOrvel_BlockQueue::Abandon() {
    std::deque<std::unique_ptr<DbResult>> dropped;
    {
        const std::lock_guard lock(FLock);
        FAbandoned = true;
        dropped.swap(FBlocks);
        FChanged.notify_all();
    }
}

TOrvel_ExportBlockWriter::TOrvel_ExportBlockWriter(std::unique_ptr<TOrvel_DataExport> writer,
                                                   const QString &fileName)
    : FWriter(std::move(writer)), FFileName(fileName) {}

TOrvel_ExportBlockWriter::~TOrvel_ExportBlockWriter() = default;

void TOrvel_ExportBlockWriter::Begin() {
    FWriter->BeginStream(FFileName);
}

void TOrvel_ExportBlockWriter::Rows() {
    FWriter->StreamRows();
}

void TOrvel_ExportBlockWriter::End() {
    FWriter->EndStream();
}

TOrvel_XlsxBlockWriter::TOrvel_XlsxBlockWriter(TOrvel_GridColumns &columns, const QString &title,
                                               const QString &fileName,
                                               const std::function<bool()> &stop, int rowsPerSheet,
                                               std::shared_ptr<Notice> notice)
    : FColumns(columns), FWriter(std::make_unique<TOrvel_DataExport_XLSX>(columns, title)),
      FFileName(fileName), FNotice(std::move(notice)) {
    FWriter->Stop = stop;
    FWriter->RowsPerSheet = rowsPerSheet;
}

TOrvel_XlsxBlockWriter::~TOrvel_XlsxBlockWriter() = default;

void TOrvel_XlsxBlockWriter::Begin() {
    FWidest.assign(static_cast<std::size_t>(FColumns.Count()), 0);
    FWriter->BeginWorkbook(FFileName);
}

// Each block is fitted as the whole result would be (the measure of a result held at once):
// the values that decide the whole result's width are among those that decide a block's, so
// the widest of the blocks' fits is the whole result's.
void TOrvel_XlsxBlockWriter::Rows() {
    const auto fit = EstimatedFitMeasure(FColumns);
    for (int p = 0; p < FColumns.Count(); ++p)
        if (FFitted.count(FColumns.Field(p)->Index()))
            FWidest[static_cast<std::size_t>(p)] =
                std::max(FWidest[static_cast<std::size_t>(p)], fit(p));
    FWriter->WriteBlockRows();
}

void TOrvel_XlsxBlockWriter::End() {
    for (int p = 0; p < FColumns.Count(); ++p)
        if (FFitted.count(FColumns.Field(p)->Index()))
            FColumns.SetWidth(p, FWidest[static_cast<std::size_t>(p)]);
    FWriter->FinishWorkbook();
    if (FNotice) {
        FNotice->Sheets = FWriter->SheetCount();
        FNotice->CutCells = FWriter->CutCells();
    }
}

// Two blocks wait in the queue while one is being fetched and one written.
TOrvel_StreamedExport::TOrvel_StreamedExport(TOrvel_ReportSettings &settings,
                                             WriterFactory makeWriter, std::size_t blockRows)
    : FSettings(settings), FMakeWriter(std::move(makeWriter)), FQueue(blockRows, 2) {}

TOrvel_StreamedExport::~TOrvel_StreamedExport() {
    Abandon();
}

void TOrvel_StreamedExport::Start() {
    FWriter = std::thread([this] { Write(); });
}

void TOrvel_StreamedExport::Finish(std::unique_ptr<DbResult> rest,
                                   const std::function<void(qint64, qint64)> &waiting,
                                   int intervalMs) {
    FQueue.PutLast(std::move(rest));
    const qint64 total = FQueue.RowsPut();
    if (FWriter.joinable() && waiting) {
        std::unique_lock lock(FDoneLock);
        while (!FDoneChanged.wait_for(lock, std::chrono::milliseconds(intervalMs),
                                      [this] { return FDone; }))
            waiting(FRowsWritten.load(), total);
    }
    if (FWriter.joinable())
        FWriter.join();
    if (waiting && Error().isEmpty())
        waiting(FRowsWritten.load(), total);
    const QString error = Error();
    if (!error.isEmpty())
        throw EOrvelError(error);
}

void TOrvel_StreamedExport::Abandon() {
    FQueue.Abandon();
    if (FWriter.joinable())
        FWriter.join();
}

QString TOrvel_StreamedExport::Error() const {
    const std::lock_guard lock(FErrorLock);
    return FError;
}

// The blocks are put, one after another, into one query that the writer reads: its fields, and
// the column settings applied to them, stay from the first block on.
void TOrvel_StreamedExport::Write() {
    // Whichever way the writer ends, the one waiting for it hears of it.
    const auto done = qScopeGuard([this] {
        const std::lock_guard lock(FDoneLock);
        FDone = true;
        FDoneChanged.notify_all();
    });
    QString error;
    try {
        DbQuery rows(nullptr);
        TOrvel_GridColumns columns;
        std::unique_ptr<TOrvel_BlockWriter> writer;
        for (;;) {
            bool last = false;
            std::unique_ptr<DbResult> block = FQueue.Next(last);
            if (!block)
                return; // abandoned: the writer goes, and its unfinished file with it
            rows.ReplaceRows(std::move(block));
            if (!writer) {
                columns.SetQuery(&rows);
                // As the whole result's export does; only a spreadsheet's widths would read it.
                // The columns it is asked for are those the settings fit to the content.
                std::set<int> fitted;
                columns.SetFitMeasure(
                    [&columns, &fitted, measure = EstimatedFitMeasure(columns)](int position) {
                        fitted.insert(columns.Field(position)->Index());
                        return measure(position);
                    });
                FSettings.ApplyColumns(columns);
                columns.SetFitMeasure(EstimatedFitMeasure(columns));
                writer = FMakeWriter(columns, Stop);
                writer->ColumnsFitted(std::move(fitted));
                writer->Begin();
            }
            writer->Rows();
            FRowsWritten += rows.RecordCount();
            if (last) {
                writer->End();
                return;
            }
        }
    } catch (const EOrvelError &e) {
        error = e.message();
    } catch (const std::exception &e) {
        error = QString::fromLocal8Bit(e.what());
    }
    {
        const std::lock_guard lock(FErrorLock);
        FError = error;
    }
    FQueue.Abandon(); // the fetch must not wait for a writer that is gone
    if (OnFailure)
        OnFailure();
}

std::size_t StreamBlockRows() {
    bool ok = false;
    const qlonglong rows = qEnvironmentVariableIntValue("ORVEL_CLI_BLOCK_ROWS", &ok);
    return ok && rows > 0 ? static_cast<std::size_t>(rows) : 32768;
}

int StreamSheetRows() {
    bool ok = false;
    const int rows = qEnvironmentVariableIntValue("ORVEL_CLI_SHEET_ROWS", &ok);
    return ok && rows > 1 ? rows : TOrvel_DataExport_XLSX::SheetRowLimit;
}
