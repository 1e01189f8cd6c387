#pragma once

#include "common/connectionsettings.h"

#include <QString>

#include <atomic>
#include <cstdint>

// "Check the database": how many rows a table holds for one station, and its first and last
// hour, read on a connection of its own away from the window.

// Shared by the window and the thread of one check: the check's connection id on the server,
// and whether the check has been stopped.
class StationCheckTicket
{
public:
    // The server's id of the check's connection, 0 until it has connected.
    std::uint64_t serverId() const { return serverId_.load(); }
    void setServerId(std::uint64_t id) { serverId_.store(id); }
    bool stopped() const { return stopped_.load(); }
    // Stops the check: a check that has not sent its statement yet sends none. Returns the
    // connection id to kill the statement on, 0 when there is nothing to kill yet.
    std::uint64_t stop()
    {
        stopped_.store(true);
        return serverId_.load();
    }

private:
    std::atomic<std::uint64_t> serverId_ {0};
    std::atomic<bool> stopped_ {false};
};

struct StationCheckResult
{
    bool failed = false; // the server could not be reached or refused the statement
    bool stopped = false; // stopped before it was done; nothing else is set
    std::int64_t rows = 0;
    // The first and last hour as yyyymmddhh, 0 when there are no rows.
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// "SELECT COUNT(*), MIN(...), MAX(...) FROM `table` WHERE icao = 'ID';": the table name quoted
// as a name, the id as a text, so neither can change what the statement does.
QString stationCheckStatement(const QString &table, const QString &icao);

// Runs the check on the calling thread, which it sets up for the client library. The server id
// of its connection goes into the ticket before the statement is sent; once the ticket is
// stopped, the check sends nothing more and its result says so.
StationCheckResult runStationCheck(const ConnectionSettings &settings, const QString &table,
                                   const QString &icao, StationCheckTicket &ticket);

// Kills the statement that the connection of this id runs, on a connection of its own, when the
// server's process list shows that connection running one; any other connection's statement is
// never touched. Failures are passed over: the check's result is dropped anyway.
void killStationCheck(const ConnectionSettings &settings, std::uint64_t serverId);

// The result for the user, e.g. "surfaceshort holds 840 rows for KSWF, from 1995-07-01 00:00
// to 2012-11-02 23:00 UTC."; empty for a failed or stopped check.
QString stationCheckText(const QString &icao, const QString &table,
                         const StationCheckResult &result);
