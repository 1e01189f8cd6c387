// The server readings made away from the window's thread (the run's baseline and estimate, the
// progress ticks' counter), against the private test server and against servers that cannot be
// reached.

#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "run/progresstext.h"
#include "run/servercounters.h"
#include "run/serverreading.h"
#include "tests/clientlibraryenvironment.h"

#include <gtest/gtest.h>

namespace {

ConnectionSettings withHost(const QString &host)
{
    ConnectionSettings settings;
    settings.host = host;
    return settings;
}

ServerReading readCounter(const ConnectionSettings &settings)
{
    return readServerListing(settings, ServerCounters::statusStatement,
                             ServerCounters::rowReadCounter, 1);
}

} // namespace

TEST(ServerReading, ReadsTheServersCounterThenTheClock)
{
    const double before = currentLocalDays();
    const ServerReading reading = readCounter(ConnectionSettings {});
    EXPECT_FALSE(reading.failed);
    EXPECT_GT(reading.value, 0);
    EXPECT_GE(reading.nowDays, before);
    EXPECT_LE(reading.nowDays, currentLocalDays());
    EXPECT_GE(readCounter(ConnectionSettings {}).value, reading.value);

    const ServerReading rows = readServerListing(
        ConnectionSettings {}, ServerCounters::tableStatusStatement, "surfaceshort", 4);
    EXPECT_FALSE(rows.failed);
    EXPECT_GT(rows.value, 200000);
}

// A server that cannot be reached gives a failed reading, never an exception; each row is a
// different way of not getting there.
TEST(ServerReading, UnreachableServerGivesAFailedReading)
{
    ConnectionSettings wrongPassword;
    wrongPassword.password = QStringLiteral("wrong");
    ConnectionSettings unknownDatabase;
    unknownDatabase.database = QStringLiteral("no_such_database");
    for (const ConnectionSettings &settings :
         {withHost(QStringLiteral("/nonexistent/orvex/mysqld.sock")), wrongPassword,
          unknownDatabase}) {
        SCOPED_TRACE(settings.host.toStdString() + " " + settings.password.toStdString() + " "
                     + settings.database.toStdString());
        const ServerReading reading = readCounter(settings);
        EXPECT_TRUE(reading.failed);
        EXPECT_EQ(reading.value, 0);
        EXPECT_GT(reading.nowDays, 0);
    }
}

// The row count comes from the last table the server lists whose name contains the one asked
// for.
TEST(ServerReading, RowCountOfTheLastTableWhoseNameContainsTheOneAskedFor)
{
    {
        SqlConnection root;
        applyRecipe(root, ConnectionSettings());
        root.open();
        for (const char *statement :
             {"DROP DATABASE IF EXISTS orvex_counts", "CREATE DATABASE orvex_counts",
              "CREATE TABLE orvex_counts.surface (a INT) ENGINE=MyISAM",
              "CREATE TABLE orvex_counts.surfaceshort (a INT) ENGINE=MyISAM",
              "CREATE TABLE orvex_counts.surfaceshortz (a INT) ENGINE=MyISAM",
              "INSERT INTO orvex_counts.surface VALUES (1)",
              "INSERT INTO orvex_counts.surfaceshort VALUES (1),(2),(3)",
              "INSERT INTO orvex_counts.surfaceshortz VALUES (1),(2),(3),(4),(5),(6),(7)"})
            root.execute(QString::fromLatin1(statement));
    }
    ConnectionSettings counts;
    counts.database = QStringLiteral("orvex_counts");
    const struct
    {
        const char *name;
        std::int64_t rows;
    } cases[] = {{"surfaceshort", 7}, {"surface", 7}, {"shortz", 7}, {"nothing", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const ServerReading reading =
            readServerListing(counts, ServerCounters::tableStatusStatement, c.name, 4);
        EXPECT_FALSE(reading.failed);
        EXPECT_EQ(reading.value, c.rows);
    }
    SqlConnection root;
    applyRecipe(root, ConnectionSettings());
    root.open();
    root.execute(QStringLiteral("DROP DATABASE orvex_counts"));
}
