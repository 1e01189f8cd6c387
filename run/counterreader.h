#pragma once

#include "connectionsettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class SqlQuery;

// Runs a listing statement on the query's connection and returns column valueColumn, read as an
// integer, of the last row whose column 0 contains key; 0 when no row does. The result is
// closed again; the connection is left as it was. Throws DbError on the server's errors.
std::int64_t readListingValue(SqlQuery &query, std::string_view statement, std::string_view key,
                              int valueColumn);

// Reads one listing value as readListingValue does, on a connection of its own by the settings,
// opened and closed around it. When the server cannot be reached or refuses the statement,
// failed is set and the value is 0.
std::int64_t readListingOnOwnConnection(const ConnectionSettings &settings,
                                        std::string_view statement, std::string_view key,
                                        int valueColumn, bool &failed);

// One reading for a progress tick: the server's row-read counter, then the local clock.
struct CounterReading
{
    std::uint64_t runId = 0; // the run the reading was asked for
    bool failed = false; // the server could not be reached, or refused the status statement
    std::int64_t counter = 0; // the raw counter; 0 when failed
    double nowDays = 0; // the clock just after the counter was read (see currentLocalDays)
};

// Reads the row-read counter for the progress ticks away from the window's thread, so that a
// busy or distant server never holds the window up for the round trips of connecting and
// asking. Each reading opens a connection of its own by the settings it is given, reads the
// global status, closes, reads the clock and hands the reading over. One reading is out at a
// time: asking again before it is back does nothing.
class CounterReader
{
public:
    // deliver is called on the reading's thread with the reader locked; it must only post a call
    // to the window's thread.
    explicit CounterReader(std::function<void(const CounterReading &)> deliver);
    // A reading still out is not waited for; it hands nothing over.
    ~CounterReader();
    CounterReader(const CounterReader &) = delete;
    CounterReader &operator=(const CounterReader &) = delete;

    // Starts a reading for the run unless one is still out; returns whether it started.
    bool read(const ConnectionSettings &settings, std::uint64_t runId);
    // Whether a reading is out.
    bool busy() const;

private:
    struct Shared;
    // The reading's thread: reads, then hands the reading over unless the reader is gone.
    static void readAndDeliver(Shared &shared, const ConnectionSettings &settings,
                               std::uint64_t runId);

    std::shared_ptr<Shared> shared;
};
