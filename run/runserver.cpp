#include "run/runserver.h"

#include "db/statusconnection.h"
#include "run/queryworker.h"
#include "run/serverreading.h"

#include <utility>

ConnectionRunServer::ConnectionRunServer(StatusConnection &status, JobRunner::ThreadStarter starter)
    : status(status)
    , jobs(&receiver, std::move(starter))
{ }

void ConnectionRunServer::readListing(const ConnectionSettings &settings,
                                      std::string_view statement, std::string key, int valueColumn,
                                      std::function<void(const ServerReading &)> done)
{
    jobs.run<ServerReading>(
        [settings, statement, key = std::move(key), valueColumn] {
            return readServerListing(settings, statement, key, valueColumn);
        },
        std::move(done));
}

void ConnectionRunServer::startWorker(const QueryJob &job, std::shared_ptr<RunChannel> channel)
{
    TMyThread(job, std::move(channel)).start(jobs);
}

QList<QStringList> ConnectionRunServer::processList(const ConnectionSettings &settings)
{
    return status.processList(settings);
}

void ConnectionRunServer::kill(const ConnectionSettings &settings, const QString &processId)
{
    status.kill(settings, processId);
}
