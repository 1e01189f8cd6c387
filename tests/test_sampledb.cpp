// The sample database that the demo and the test suite load: the statements the main window
// builds from its initial values and from its other defaults find observations in it.
#include "query/statementbuilder.h"
#include "tests/scriptedmessages.h"

#include <gtest/gtest.h>
#include <mysql.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct MysqlCloser
{
    void operator()(MYSQL *m) const { mysql_close(m); }
};
struct ResultFreer
{
    void operator()(MYSQL_RES *r) const { mysql_free_result(r); }
};

using Rows = std::vector<std::vector<std::string>>;

class SampleDatabase : public testing::Test
{
protected:
    void SetUp() override
    {
        conn.reset(mysql_init(nullptr));
        ASSERT_TRUE(conn);
        // Host "localhost" reaches the private server through MYSQL_UNIX_PORT, as the program does.
        ASSERT_TRUE(
            mysql_real_connect(conn.get(), "localhost", "root", "qxzv", "orvex", 0, nullptr, 0))
            << mysql_error(conn.get());
    }

    Rows query(const QString &statement)
    {
        const QByteArray sql = statement.toUtf8();
        Rows rows;
        if (mysql_real_query(conn.get(), sql.constData(), sql.size()) != 0) {
            ADD_FAILURE() << mysql_error(conn.get()) << " in " << sql.constData();
            return rows;
        }
        std::unique_ptr<MYSQL_RES, ResultFreer> result(mysql_store_result(conn.get()));
        if (!result)
            return rows;
        const unsigned columns = mysql_num_fields(result.get());
        while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
            std::vector<std::string> cells;
            for (unsigned i = 0; i < columns; ++i)
                cells.emplace_back(row[i] ? row[i] : "");
            rows.push_back(std::move(cells));
        }
        return rows;
    }

    std::unique_ptr<MYSQL, MysqlCloser> conn;
};

SearchConstraints initialWindow()
{
    SearchConstraints c;
    c.dateRange = true;
    c.yearLo = c.yearHi = QStringLiteral("1995");
    c.monthLo = c.monthHi = QStringLiteral("07");
    c.dayLo = QStringLiteral("15");
    c.dayHi = QStringLiteral("16");
    c.stationEquals = true;
    c.station = QStringLiteral("KSWF");
    c.latLo = QStringLiteral("34.2");
    c.latHi = QStringLiteral("38.5");
    c.lonLo = QStringLiteral("-117.0");
    c.lonHi = QStringLiteral("-114.5");
    c.paramLo = QStringLiteral("85");
    c.paramHi = QStringLiteral("93");
    c.table = QStringLiteral("surfaceshort");
    return c;
}

QString build(const SearchConstraints &c)
{
    ScriptedMessages messages;
    const QString statement = buildStatement(c, messages);
    EXPECT_TRUE(messages.shown.isEmpty());
    return statement;
}

TEST_F(SampleDatabase, InitialSearchFindsTwoDaysOfHourlyObservations)
{
    const Rows rows = query(build(initialWindow()));
    ASSERT_EQ(rows.size(), 48u);
    EXPECT_EQ(rows.front().size(), 25u);
    // Columns 1 to 6: year, month, day, hour, faa, icao; in date and time order.
    EXPECT_EQ(rows.front()[1], "1995");
    EXPECT_EQ(rows.front()[2], "7");
    EXPECT_EQ(rows.front()[3], "15");
    EXPECT_EQ(rows.front()[4], "0");
    EXPECT_EQ(rows.back()[3], "16");
    EXPECT_EQ(rows.back()[4], "23");
    for (const auto &row : rows)
        EXPECT_EQ(row[6], "KSWF");
}

TEST_F(SampleDatabase, LatitudeLongitudeBoxAndTemperatureRangeFindRows)
{
    SearchConstraints c = initialWindow();
    c.stationEquals = false;
    c.latRange = true;
    c.lonRange = true;
    c.paramRange = true;
    c.paramColumn = QStringLiteral("temp");
    c.paramType = QStringLiteral("decimal(4,1)");
    const Rows rows = query(build(c));
    ASSERT_FALSE(rows.empty());
    for (const auto &row : rows) {
        EXPECT_GE(std::stod(row[8]), 34.2);
        EXPECT_LE(std::stod(row[8]), 38.5);
        EXPECT_GE(std::stod(row[9]), -117.0);
        EXPECT_LE(std::stod(row[9]), -114.5);
        EXPECT_GE(std::stod(row[10]), 85.0);
        EXPECT_LE(std::stod(row[10]), 93.0);
    }
}

TEST_F(SampleDatabase, EveryTableAnswersItsOrderClause)
{
    for (const char *table : {"surfaceshort", "surface", "upper"}) {
        SearchConstraints c = initialWindow();
        c.table = QString::fromLatin1(table);
        const Rows rows = query(build(c));
        EXPECT_FALSE(rows.empty()) << table;
    }
}

TEST_F(SampleDatabase, StationKindsByLengthAllMatch)
{
    // The same station by its FAA, ICAO and WMO identifiers.
    const Rows station = query(
        QStringLiteral("SELECT faa, icao, wmo FROM surfaceshort WHERE icao = 'KSWF' LIMIT 1;"));
    ASSERT_EQ(station.size(), 1u);
    for (const std::string &identifier : station.front()) {
        ASSERT_FALSE(identifier.empty());
        SearchConstraints c = initialWindow();
        c.station = QString::fromStdString(identifier);
        EXPECT_EQ(query(build(c)).size(), 48u) << identifier;
    }
}

TEST_F(SampleDatabase, ColumnTypesTellCharacterColumns)
{
    const Rows columns = query(QStringLiteral("DESCRIBE surfaceshort;"));
    ASSERT_GE(columns.size(), 22u);
    const std::vector<std::string> firstTen = {"id",  "year", "month", "day", "hour",
                                               "faa", "icao", "wmo",   "lat", "lon"};
    for (size_t i = 0; i < firstTen.size(); ++i)
        EXPECT_EQ(columns[i][0], firstTen[i]);
    EXPECT_NE(columns[6][1].find("char"), std::string::npos);
    EXPECT_EQ(columns[10][1].find("char"), std::string::npos);
}

} // namespace
