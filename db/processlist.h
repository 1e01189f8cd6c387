#pragma once

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

class SqlQuery;

// A query is found in the server's process list by the server id of the connection that runs
// it, then killed from another connection: the cancel of a run and the station check do so.
namespace ProcessList {
inline constexpr QLatin1String statement("SHOW PROCESSLIST;");
} // namespace ProcessList

// The columns of "SHOW PROCESSLIST;" read here: the process's id, and the statement it runs
// (NULL, read as empty, when it is idle).
namespace ProcessListColumns {
inline constexpr int id = 0;
inline constexpr int statement = 7;
} // namespace ProcessListColumns

// True for the process-list row of the worker's connection while it runs a statement: its id
// is the decimal text of workerServerId and its statement is not empty. A server id of 0 (the
// worker has not connected yet) matches no row, since the server numbers its processes from 1.
bool isWorkerProcess(const QString &id, const QString &statement, std::uint64_t workerServerId);

// The id text of the process whose query a cancellation kills: the row of rows (as the server
// lists them, NULL read as empty) for which isWorkerProcess holds; empty when there is none, in
// which case nothing is stopped or killed. Rows too short to hold a statement are passed over.
QString workerProcessId(const QList<QStringList> &rows, std::uint64_t workerServerId);

// Runs "SHOW PROCESSLIST;" with the query on its connection and returns its rows, each field as
// text (NULL read as empty). The result is closed again; the connection is left as it was.
// Throws DbError on the server's errors.
QList<QStringList> readProcessList(SqlQuery &query);

// "KILL QUERY <id>;": ends the process's running statement and leaves its connection open.
QString killStatement(const QString &processId);
