#include "run/queryworker.h"

#include "common/backgroundthread.h"
#include "common/groupthousands.h"
#include "common/sharedtexts.h"
#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "run/runchannel.h"
#include "store/recordbatch.h"
#include "store/recordfile.h"
#include "store/resultfolder.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace {

std::atomic<bool> usePreparedRows {true};
// How much lower than the window's thread the worker's claim to a processor is: a weight of
// about a third.
constexpr int workerNiceness = 5;

// A batch goes over when it is old enough or large enough, whichever comes first. The first
// batch of a result goes small and soon, so the first records show at once. Each later one may
// grow twice as old and as large as the one before, up to the limits: a fast result travels in
// few, large batches, and the window lays out and repaints its grid for each batch a few times
// a second rather than a hundred.
struct BatchLimits
{
    std::chrono::nanoseconds age;
    int records;
    std::size_t bytes;
};
constexpr BatchLimits firstBatch {std::chrono::milliseconds(5), 1000, std::size_t(64) << 10};
constexpr BatchLimits largestBatch {std::chrono::milliseconds(100), 100000, std::size_t(16) << 20};

BatchLimits nextLimits(const BatchLimits &limits)
{
    return {std::min(limits.age * 2, largestBatch.age),
            std::min(limits.records * 2, largestBatch.records),
            std::min(limits.bytes * 2, largestBatch.bytes)};
}

// Tells the builder how large the next batch will be at most, from the records so far: room
// made at once for a whole batch is written without growing, and room left unwritten (a batch
// sent early) costs no memory.
void expectBatch(RecordBatchBuilder &batch, const BatchLimits &limits, std::size_t recordsSoFar,
                 std::size_t bytesSoFar)
{
    if (recordsSoFar == 0) {
        batch.expect(limits.records, limits.bytes);
        return;
    }
    const std::size_t perRecord = std::max<std::size_t>(bytesSoFar / recordsSoFar, 1);
    const std::size_t records =
        std::min(static_cast<std::size_t>(limits.records), limits.bytes / perRecord + 1) + 1;
    const std::size_t bytes = records * perRecord;
    batch.expect(static_cast<int>(records), bytes + bytes / 16 + 4096);
}

// The clock for the batch ages, read once per record: the coarse monotonic clock costs a few
// nanoseconds where the precise one costs some thirty, and its steps of a few milliseconds
// are fine enough for ages of 5 to 100 ms.
std::chrono::nanoseconds batchClock()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The worker gives way to the window's thread when both want a processor, so painting and input
// go on while a large result streams in: on a machine of two processors the server, the worker
// and the window compete during a run. The worker still runs whenever a processor is free.
void lowerThisThreadsPriority()
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), workerNiceness);
}

void postLog(RunChannel &channel, const char *text)
{
    RunOutput line;
    line.kind = RunOutput::Kind::Log;
    line.text = text;
    channel.post(std::move(line));
}

// Where a run's batches are kept: a file of the program's temporary folder, made with the first
// batch, so that the result costs disk rather than memory. The space left on that disk is looked
// at before each batch is written. Once a batch cannot be written there (the disk is full, or
// below its floor, or the write fails), it is handed over from memory, and failure() tells why
// the run is to stop: nothing read is lost, and memory holds that one batch only.
class BatchKeeper
{
public:
    explicit BatchKeeper(std::shared_ptr<ResultFolder> folder)
        : folder(std::move(folder))
    { }

    std::shared_ptr<const RecordBatch> keep(RecordBatchBuilder &batch)
    {
        if (!failed) {
            try {
                if (!folder)
                    throw RecordFileError(ResultFolder::lastError().toStdString(), false);
                const ResultFolder::Space space = folder->space();
                if (space.known && space.available < ResultFolder::floor(space))
                    throw RecordFileError("below the floor", true);
                if (!file)
                    file = std::make_shared<RecordFile>(folder->newFilePath("records"));
                return batch.finish(file);
            } catch (const RecordFileError &error) {
                failed = error;
            }
        }
        return batch.finish();
    }
    const std::optional<RecordFileError> &failure() const { return failed; }
    QString folderPath() const { return folder ? folder->path() : ResultFolder::baseFolder(); }
    const std::shared_ptr<ResultFolder> &resultFolder() const { return folder; }

private:
    std::shared_ptr<ResultFolder> folder;
    std::shared_ptr<RecordFile> file;
    std::optional<RecordFileError> failed;
};

// What the worker does with a result: hands every record over, or has stopped keeping them.
enum class Streamed { Whole, StoppedForDisk };

void postBatch(RunChannel &channel, RecordBatchBuilder &batch, BatchKeeper &keeper)
{
    if (batch.recordCount() == 0)
        return;
    RunOutput output;
    output.kind = RunOutput::Kind::Batch;
    output.batch = keeper.keep(batch);
    channel.post(std::move(output));
}

// Tells the window that the records can no longer be kept, with how many were.
void postDiskFull(RunChannel &channel, const BatchKeeper &keeper, std::size_t recordsKept)
{
    const RecordFileError &failure = *keeper.failure();
    RunOutput full;
    full.kind = RunOutput::Kind::DiskFull;
    full.text = KeepFailureText(keeper.folderPath(), recordsKept, failure.diskFull(),
                                QString::fromLocal8Bit(failure.what()))
                    .toStdString();
    channel.post(std::move(full));
}

Streamed streamResult(SqlResult &result, RunChannel &channel, BatchKeeper &keeper)
{
    const int columns = result.fieldCount();
    RunOutput header;
    header.kind = RunOutput::Kind::Columns;
    header.names.reserve(columns);
    for (int i = 0; i < columns; ++i)
        header.names.push_back(result.fieldName(i).toStdString());
    channel.post(std::move(header));

    RecordBatchBuilder batch(columns);
    BatchLimits limits = firstBatch;
    std::size_t recordsSent = 0;
    std::size_t bytesSent = 0;
    expectBatch(batch, limits, recordsSent, bytesSent);
    auto batchStart = batchClock();
    try {
        while (!result.eof()) {
            if (const char *bytes = result.rowBytes())
                batch.appendRecord(bytes, result.rowFields(), result.rowLengths());
            else
                batch.appendRecord(result.rowFields(), result.rowLengths());
            if (channel.stopped()) {
                // The run was cancelled and its query is about to be killed on the server.
                // Reading on, keeping nothing, spares the server from waiting on this client
                // until then; the kill ends the result with an error.
                while (!result.eof())
                    result.next();
                return Streamed::Whole;
            }
            // Checked before the next fetch, which may wait for the server: a record that
            // arrives after a pause goes over at once instead of waiting for the next one.
            const auto now = batchClock();
            if (batch.recordCount() >= limits.records || batch.byteCount() >= limits.bytes
                || now - batchStart >= limits.age) {
                recordsSent += static_cast<std::size_t>(batch.recordCount());
                bytesSent += batch.byteCount();
                postBatch(channel, batch, keeper);
                if (keeper.failure()) {
                    // The window stops the run as a cancel does and kills its query; until
                    // then the rows are read on and nothing is kept.
                    postDiskFull(channel, keeper, recordsSent);
                    result.next();
                    while (!result.eof())
                        result.next();
                    return Streamed::StoppedForDisk;
                }
                batchStart = now;
                limits = nextLimits(limits);
                expectBatch(batch, limits, recordsSent, bytesSent);
            }
            result.next();
        }
    } catch (...) {
        // Records read before an error still reach the grid, ahead of the run's failure.
        postBatch(channel, batch, keeper);
        throw;
    }
    recordsSent += static_cast<std::size_t>(batch.recordCount());
    postBatch(channel, batch, keeper);
    if (keeper.failure()) {
        postDiskFull(channel, keeper, recordsSent);
        return Streamed::StoppedForDisk;
    }
    return Streamed::Whole;
}

// Why a run cannot start for lack of room for its records, if it cannot.
std::optional<QString> startRefusal(const BatchKeeper &keeper);

} // namespace

QString statementFromMemoText(const QString &memoText)
{
    QString joined;
    joined.reserve(memoText.size() + 16);
    for (const QStringView line : QStringView(memoText).split(QLatin1Char('\n'))) {
        joined += QLatin1Char(' ');
        joined += line;
    }
    qsizetype begin = 0;
    qsizetype end = joined.size();
    while (begin < end && joined.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && joined.at(end - 1).unicode() <= 32)
        --end;
    return joined.mid(begin, end - begin);
}

QString KeepFailureText(const QString &folder, std::uint64_t recordsKept, bool diskFull,
                        const QString &reason)
{
    const QString kept = GroupThousands(QString::number(recordsKept));
    if (diskFull) {
        return QStringLiteral("The disk that holds the temporary folder %1 is full. The query was "
                              "stopped; the %2 records read until then are kept.")
            .arg(folder, kept);
    }
    return QStringLiteral("The records could not be written to the temporary folder %1 (%2). The "
                          "query was stopped; the %3 records read until then are kept.")
        .arg(folder, reason, kept);
}

QString StartRefusalText(const QString &folder, std::uint64_t available, bool noFolder,
                         const QString &reason)
{
    if (noFolder) {
        return QStringLiteral("No temporary folder for the records could be made in %1 (%2), so "
                              "the query was not run.")
            .arg(folder, reason);
    }
    return QStringLiteral("The disk that holds the temporary folder %1 has only %2 MB free, so "
                          "the query was not run. Free some space on it and try again.")
        .arg(folder, GroupThousands(QString::number(available >> 20)));
}

namespace {

std::optional<QString> startRefusal(const BatchKeeper &keeper)
{
    const std::shared_ptr<ResultFolder> &folder = keeper.resultFolder();
    if (!folder)
        return StartRefusalText(keeper.folderPath(), 0, true, ResultFolder::lastError());
    const ResultFolder::Space space = folder->space();
    if (space.known && space.available < ResultFolder::floor(space))
        return StartRefusalText(folder->path(), space.available, false, QString());
    return std::nullopt;
}

} // namespace

void runQueryJob(const QueryJob &job, RunChannel &channel)
{
    ClientThreadScope clientThread;
    postLog(channel, WorkerTexts::starting);
    BatchKeeper keeper(ResultFolder::instance());
    if (const std::optional<QString> refusal = startRefusal(keeper)) {
        // Nothing is sent to the server when there is no room for the result.
        channel.postMessageAndWait(refusal->toStdString());
        postLog(channel, WorkerTexts::allDone);
        RunOutput end;
        end.kind = RunOutput::Kind::Finished;
        channel.post(std::move(end));
        return;
    }
    SqlConnection connection;
    // The main thread may cut the connection while it is open (a cancel does, once it has
    // killed the query): that way is taken back before the connection closes, here and on any
    // way out.
    struct CutTakenBack
    {
        RunChannel &channel;
        ~CutTakenBack() { channel.clearConnectionCut(); }
    } cutTakenBack {channel};
    const auto closeConnection = [&] {
        channel.clearConnectionCut();
        connection.close();
    };
    // A stopped run ends quietly: no end of run is delivered. Its connection stays open until
    // the cancel has sent its kill, which names this connection.
    const auto endStopped = [&] {
        channel.awaitConnectionRelease();
        closeConnection();
    };
    try {
        applyRecipe(connection, job.settings);
        connection.open();
        if (connection.connected()) {
            channel.setConnectionCut([&connection] { connection.interrupt(); });
            // The id is told before the stop is looked at: a cancel that finds no id yet has
            // stopped the run before this check, so no statement runs.
            channel.setServerId(connection.serverId());
            if (channel.stopped()) {
                endStopped();
                return;
            }
            const QByteArrayView statement(job.statement);
            SqlResult result =
                preparedRows() ? connection.queryRows(statement) : connection.query(statement);
            if (streamResult(result, channel, keeper) == Streamed::StoppedForDisk) {
                // The window stops the run and kills its query, which names this connection.
                channel.awaitStop();
                endStopped();
                return;
            }
            // From here a cancel no longer stops the run for a kill: the connection goes, and
            // the run ends as the finished run it is.
            if (!channel.finishRun()) {
                endStopped();
                return;
            }
            result.close();
        } else {
            channel.postMessageAndWait(SharedTexts::notRunning);
        }
    } catch (const std::exception &) {
        // The statement failed by itself (a killed one finds the run stopped): the failure is
        // told, and a cancel meanwhile has nothing to kill.
        if (!channel.finishRun()) {
            endStopped();
            return;
        }
        channel.postMessageAndWait(WorkerTexts::failed);
    }
    closeConnection();
    postLog(channel, WorkerTexts::allDone);
    RunOutput end;
    end.kind = RunOutput::Kind::Finished;
    channel.post(std::move(end));
}

void setPreparedRows(bool use)
{
    usePreparedRows.store(use);
}

bool preparedRows()
{
    return usePreparedRows.load();
}

TMyThread::TMyThread(QueryJob job, std::shared_ptr<RunChannel> channel)
    : job(std::move(job))
    , channel(std::move(channel))
{ }

void TMyThread::start(JobRunner &runner)
{
    runner.start([job = job, channel = channel] {
        lowerThisThreadsPriority();
        runQueryJob(job, *channel);
    });
}
