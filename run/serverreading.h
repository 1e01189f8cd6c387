#pragma once

#include "common/connectionsettings.h"

#include <cstdint>
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

// A reading made away from the window's thread: the value read, whether it failed, and the
// local clock just after it (see currentLocalDays), so a progress tick's time covers at least
// the rows counted.
struct ServerReading
{
    std::int64_t value = 0; // 0 when failed
    bool failed = false;
    double nowDays = 0;
};

// Reads as readListingOnOwnConnection does on the calling thread, which it sets up for the
// client library, then reads the clock.
ServerReading readServerListing(const ConnectionSettings &settings, std::string_view statement,
                                std::string_view key, int valueColumn);
