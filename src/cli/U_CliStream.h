#pragma once
// A run's result written while it is still being fetched: the fetching thread hands the rows over
// in blocks, a writer thread writes each block as the next one is fetched, and at most a few
// blocks are held at a time, whatever the row count. The file is replaced only when the run has
// ended well; a failure or a cancel leaves the old file as it was and nothing beside it.
#include "U_Db.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class TOrvel_DataExport;
class TOrvel_DataExport_XLSX;
class TOrvel_GridColumns;
class TOrvel_ReportSettings;

// The blocks between the fetching thread and the writer: the fetch waits while the queue is full,
// the writer while it is empty. Once abandoned, blocks are dropped and nobody waits.
class TOrvel_BlockQueue : public DbRowSink {
public:
    TOrvel_BlockQueue(std::size_t blockRows, std::size_t capacity);

    std::size_t BlockRows() const override { return FBlockRows; }
    void TakeBlock(std::unique_ptr<DbResult> rows) override;
    // The last block: the rows the run left in its result (possibly none).
    void PutLast(std::unique_ptr<DbResult> rows);
    // The next block, and whether it is the last; null once abandoned.
    std::unique_ptr<DbResult> Next(bool &last);
    void Abandon();
    // The rows of all the blocks put so far.
    qint64 RowsPut() const;

private:
    const std::size_t FBlockRows;
    const std::size_t FCapacity;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    qint64 FRowsPut = 0;
    std::deque<std::unique_ptr<DbResult>> FBlocks;
    bool FLastPut = false;
    bool FAbandoned = false;
};

// What writes a result that arrives in blocks: Begin once the first block has shaped the
// columns, Rows for each block as the columns' query holds it, End after the last.
class TOrvel_BlockWriter {
public:
    virtual ~TOrvel_BlockWriter() = default;
    virtual void Begin() = 0;
    virtual void Rows() = 0;
    virtual void End() = 0;
    // Before Begin: the result columns (by their index in the result) whose widths the column
    // settings fitted to the content of the first block.
    virtual void ColumnsFitted(std::set<int> resultColumns) { (void)resultColumns; }
};

// An export writer's file, written block by block (TOrvel_DataExport::BeginStream).
class TOrvel_ExportBlockWriter : public TOrvel_BlockWriter {
public:
    TOrvel_ExportBlockWriter(std::unique_ptr<TOrvel_DataExport> writer, const QString &fileName);
    ~TOrvel_ExportBlockWriter() override;
    void Begin() override;
    void Rows() override;
    void End() override;
    TOrvel_DataExport &Writer() { return *FWriter; }

private:
    std::unique_ptr<TOrvel_DataExport> FWriter;
    QString FFileName;
};

// The spreadsheet's workbook, written block by block (TOrvel_DataExport_XLSX::BeginWorkbook).
// The widths the settings fitted to the content fit every row of every block, as they would fit
// the whole result; they go into the sheets at the end.
class TOrvel_XlsxBlockWriter : public TOrvel_BlockWriter {
public:
    // What the export tells at its end: the sheets it took and the cells it cut.
    struct Notice {
        int Sheets = 0;
        int CutCells = 0;
    };
    // `notice` is filled in by End, on the writer's thread.
    TOrvel_XlsxBlockWriter(TOrvel_GridColumns &columns, const QString &title,
                           const QString &fileName, const std::function<bool()> &stop,
                           int rowsPerSheet, std::shared_ptr<Notice> notice);
    ~TOrvel_XlsxBlockWriter() override;
    void Begin() override;
    void Rows() override;
    void End() override;
    void ColumnsFitted(std::set<int> resultColumns) override { FFitted = std::move(resultColumns); }

private:
    TOrvel_GridColumns &FColumns;
    std::unique_ptr<TOrvel_DataExport_XLSX> FWriter;
    std::set<int> FFitted;
    QString FFileName;
    std::shared_ptr<Notice> FNotice;
    std::vector<int> FWidest; // per column position: the widest fit of the blocks so far
};

class TOrvel_StreamedExport {
public:
    // Makes the writer for the columns, once the first block tells what the columns are; `stop`
    // is asked between rows and stops the writer when true.
    using WriterFactory = std::function<std::unique_ptr<TOrvel_BlockWriter>(
        TOrvel_GridColumns &columns, const std::function<bool()> &stop)>;

    // The report's column settings shape the columns as they shape the grid; they must not
    // change until the export has ended.
    TOrvel_StreamedExport(TOrvel_ReportSettings &settings, WriterFactory makeWriter,
                          std::size_t blockRows);
    ~TOrvel_StreamedExport(); // abandons an export that has not ended
    TOrvel_StreamedExport(const TOrvel_StreamedExport &) = delete;
    TOrvel_StreamedExport &operator=(const TOrvel_StreamedExport &) = delete;

    DbRowSink *Sink() { return &FQueue; }
    // Called on the writer thread when writing fails, so that the fetch can be cancelled.
    std::function<void()> OnFailure;
    // Asked by the writer between rows: true stops it (a cancel).
    std::function<bool()> Stop;

    void Start();
    // The run ended well and left these rows in its result: they are written, the file is
    // replaced, and this returns once it is. Raises EOrvelError with the writer's error.
    // While the rest is written, `waiting` is told the rows written so far and all the rows, about
    // every `intervalMs` and once more at the end.
    void Finish(std::unique_ptr<DbResult> rest,
                const std::function<void(qint64 written, qint64 total)> &waiting = {},
                int intervalMs = 200);
    // The run failed or was cancelled: the writer stops and the old file stays.
    void Abandon();
    // The writer's error, when writing failed; empty otherwise.
    QString Error() const;

private:
    void Write();

    TOrvel_ReportSettings &FSettings;
    WriterFactory FMakeWriter;
    TOrvel_BlockQueue FQueue;
    mutable std::mutex FErrorLock;
    QString FError;
    std::thread FWriter;
    std::atomic<qint64> FRowsWritten{0};
    std::mutex FDoneLock;
    std::condition_variable FDoneChanged;
    bool FDone = false; // the writer thread has ended
};

// Rows per block of a streamed run: ORVEL_CLI_BLOCK_ROWS when set to a positive number (a
// smaller block for tests, a larger one for tuning), else 32768.
std::size_t StreamBlockRows();
// Rows a sheet of a streamed workbook holds, the header included: ORVEL_CLI_SHEET_ROWS when set
// to a number above 1 (a small sheet for tests), else the spreadsheet's own limit.
int StreamSheetRows();
