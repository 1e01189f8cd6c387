#pragma once

#include "common/connectionsettings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class JobRunner;
class RunChannel;

// The statement a run executes, from the SQL memo's text: each of its lines (as typed, split at
// its line breaks) preceded by one blank, all joined, and trimmed of characters with codes up to
// 32 at both ends.
QString statementFromMemoText(const QString &memoText);

namespace WorkerTexts {
inline constexpr const char *starting = "Starting...";
inline constexpr const char *allDone = "All done!";
inline constexpr const char *failed = "Failed";
} // namespace WorkerTexts

// The message of a run stopped because its records could no longer be kept in the temporary
// folder: the disk full, or a write that failed for the reason given.
QString KeepFailureText(const QString &folder, std::uint64_t recordsKept, bool diskFull,
                        const QString &reason);
// The message of a run that was not started: no temporary folder could be made (for the reason
// given), or its disk has less than the floor free.
QString StartRefusalText(const QString &folder, std::uint64_t available, bool noFolder,
                         const QString &reason);

// What a worker needs, taken when the run starts: it reads nothing else while it runs.
struct QueryJob
{
    QByteArray statement; // UTF-8
    ConnectionSettings settings;
};

// How workers read a result's rows: through a prepared statement where the database layer gives
// the same texts that way, faster (the default; see SqlConnection::queryRows), or always as a
// plain statement. For measuring one way against the other; set it before a run starts.
void setPreparedRows(bool use);
bool preparedRows();

// The worker's run, on its own thread: connects by the recipe, runs the statement and hands the
// column names, the records in batches, its log lines, at most one message and its end to the
// channel. Returns early, quietly, once the channel is stopped.
void runQueryJob(const QueryJob &job, RunChannel &channel);

// The worker thread of one run. It is made, then started; it frees itself when its run has
// returned, so nobody ever waits for it: a stopped run's worker ends by itself once its query
// is killed, and a run still going when the program ends does not hold it up.
class TMyThread
{
public:
    TMyThread(QueryJob job, std::shared_ptr<RunChannel> channel);
    // Starts the run on a thread of the runner's; throws std::system_error when none can be
    // made.
    void start(JobRunner &runner);

private:
    QueryJob job;
    std::shared_ptr<RunChannel> channel;
};
