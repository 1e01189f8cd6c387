#include "queryworker.h"

#include "clientlibrary.h"
#include "connectionrecipe.h"
#include "resultchunk.h"
#include "runchannel.h"
#include "sqlconnection.h"

#include <QStringList>

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

namespace {

std::atomic<int> runningWorkers {0};

// A batch goes over when it is this old or this large, whichever comes first, so the first
// records show at once and a fast result still travels in few, large batches.
constexpr auto batchAge = std::chrono::milliseconds(50);
constexpr int batchRecords = 10000;
constexpr std::size_t batchBytes = 4u << 20;

void postLog(RunChannel &channel, const char *text)
{
    RunOutput line;
    line.kind = RunOutput::Kind::Log;
    line.text = text;
    channel.post(std::move(line));
}

void postRecords(RunChannel &channel, ResultChunkBuilder &batch)
{
    if (batch.recordCount() == 0)
        return;
    RunOutput records;
    records.kind = RunOutput::Kind::Records;
    records.records = batch.finish();
    channel.post(std::move(records));
}

void streamResult(SqlResult &result, RunChannel &channel)
{
    const int columns = result.fieldCount();
    RunOutput header;
    header.kind = RunOutput::Kind::Columns;
    header.names.reserve(columns);
    for (int i = 0; i < columns; ++i)
        header.names.push_back(result.fieldName(i).toStdString());
    channel.post(std::move(header));

    ResultChunkBuilder batch(columns);
    auto batchStart = std::chrono::steady_clock::now();
    try {
        while (!result.eof()) {
            for (int i = 0; i < columns; ++i) {
                const QByteArrayView value = result.value(i);
                batch.appendField(std::string_view(value.data(), size_t(value.size())));
            }
            batch.endRecord();
            if (channel.stopped()) {
                // The run was cancelled and its query is about to be killed on the server.
                // Reading on, keeping nothing, spares the server from waiting on this client
                // until then; the kill ends the result with an error.
                while (!result.eof())
                    result.next();
                return;
            }
            // Checked before the next fetch, which may wait for the server: a record that
            // arrives after a pause goes over at once instead of waiting for the next one.
            const auto now = std::chrono::steady_clock::now();
            if (batch.recordCount() >= batchRecords || batch.byteCount() >= batchBytes
                || now - batchStart >= batchAge) {
                postRecords(channel, batch);
                batchStart = now;
            }
            result.next();
        }
    } catch (...) {
        // Records read before an error still reach the grid, ahead of the run's failure.
        postRecords(channel, batch);
        throw;
    }
    postRecords(channel, batch);
}

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

void runQueryJob(const QueryJob &job, RunChannel &channel)
{
    ClientThreadScope clientThread;
    postLog(channel, WorkerTexts::starting);
    SqlConnection connection;
    try {
        applyRecipe(connection, job.settings);
        connection.open();
        if (connection.connected()) {
            RunOutput id;
            id.kind = RunOutput::Kind::ServerId;
            id.number = connection.serverId();
            channel.post(std::move(id));

            SqlResult result = connection.query(QByteArrayView(job.statement));
            streamResult(result, channel);
            if (channel.stopped()) {
                // A cancelled run ends quietly: no end of run is delivered.
                connection.close();
                return;
            }
            result.close();
        } else {
            channel.postMessageAndWait(WorkerTexts::notRunning);
        }
    } catch (const std::exception &) {
        if (channel.stopped()) {
            connection.close();
            return;
        }
        channel.postMessageAndWait(WorkerTexts::failed);
    }
    connection.close();
    postLog(channel, WorkerTexts::allDone);
    RunOutput end;
    end.kind = RunOutput::Kind::Finished;
    channel.post(std::move(end));
}

TMyThread::TMyThread(QueryJob job, std::shared_ptr<RunChannel> channel)
    : job(std::move(job))
    , channel(std::move(channel))
{ }

void TMyThread::start()
{
    ++runningWorkers;
    std::thread([job = job, channel = channel] {
        runQueryJob(job, *channel);
        --runningWorkers;
    }).detach();
}

int TMyThread::running()
{
    return runningWorkers.load();
}
