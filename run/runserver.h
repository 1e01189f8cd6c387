#pragma once

#include "common/backgroundthread.h"
#include "common/connectionsettings.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class RunChannel;
class StatusConnection;
struct QueryJob;
struct ServerReading;

// Everything the run controller asks of the server: the counter readings and the worker, which
// run away from the window's thread, and the cancel's process list and kill on the status
// connection. The controller knows the server only through this, so that its states can be
// driven by a stand-in as well as by a real server.
class RunServer
{
public:
    virtual ~RunServer() = default;

    // Reads a listing value as readServerListing does, away from the window's thread; done
    // follows on the window's thread with the reading, unless the server is gone by then. The
    // statement must stay valid until then (the program's are constants). Throws
    // std::system_error, calling nothing, when no thread can be made.
    virtual void readListing(const ConnectionSettings &settings, std::string_view statement,
                             std::string key, int valueColumn,
                             std::function<void(const ServerReading &)> done) = 0;
    // Starts the job's worker, which hands its output to the channel. Throws
    // std::system_error when no thread can be made.
    virtual void startWorker(const QueryJob &job, std::shared_ptr<RunChannel> channel) = 0;
    // The server's process list, each row's fields as texts. Throws on the server's errors.
    virtual QList<QStringList> processList(const ConnectionSettings &settings) = 0;
    // Kills the statement of the process. Throws on the server's errors.
    virtual void kill(const ConnectionSettings &settings, const QString &processId) = 0;
};

// The real server: readings and workers on background threads, the process list and the kill
// on the window's status connection. Readings still out when it is destroyed hand nothing back.
class ConnectionRunServer : public RunServer
{
public:
    // The status connection must outlive the server. Threads are started by starter; tests
    // make one fail, or hold one back.
    explicit ConnectionRunServer(StatusConnection &status,
                                 JobRunner::ThreadStarter starter = startBackgroundThread);

    void readListing(const ConnectionSettings &settings, std::string_view statement,
                     std::string key, int valueColumn,
                     std::function<void(const ServerReading &)> done) override;
    void startWorker(const QueryJob &job, std::shared_ptr<RunChannel> channel) override;
    QList<QStringList> processList(const ConnectionSettings &settings) override;
    void kill(const ConnectionSettings &settings, const QString &processId) override;

private:
    StatusConnection &status;
    // The readings' results come back as calls on this object's thread, the window's; declared
    // before the runner, so the runner is closed before the object goes.
    QObject receiver;
    JobRunner jobs;
};
