// Rows read through prepared statements (binary protocol) against the same rows read through
// plain statements (text protocol), on the test server: every cell must be the same text, NULL
// where the plain statement gives NULL. On the sample database's tables, on a table of extreme
// values of every kind the driver writes itself, on expressions, and on many random numbers;
// the statements that must take the plain way do so and still give the same rows; and the
// faster way takes the prepared one only for floating-point columns.
#include "common/connectionsettings.h"
#include "db/connectionrecipe.h"
#include "db/dberror.h"
#include "db/servertext.h"
#include "db/sqlconnection.h"
#include "tests/clientlibraryenvironment.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Cell = std::optional<std::string>; // nothing for NULL

struct Rows
{
    RowProtocol protocol = RowProtocol::Text;
    std::vector<std::string> names;
    std::vector<std::vector<Cell>> rows;
};

Rows readAll(SqlResult result)
{
    Rows read;
    read.protocol = result.protocol();
    for (int i = 0; i < result.fieldCount(); ++i)
        read.names.push_back(result.fieldName(i).toStdString());
    for (; !result.eof(); result.next()) {
        std::vector<Cell> row;
        std::string joined;
        for (int i = 0; i < result.fieldCount(); ++i) {
            if (result.isNull(i)) {
                row.emplace_back();
            } else {
                const QByteArrayView value = result.value(i);
                row.emplace_back(std::string(value.data(), static_cast<std::size_t>(value.size())));
                joined += *row.back();
            }
        }
        // The row's bytes in one piece, where the result has them so: the fields joined.
        if (const char *bytes = result.rowBytes()) {
            EXPECT_EQ(std::string(bytes, joined.size()), joined) << "row " << read.rows.size();
        } else {
            EXPECT_EQ(read.protocol, RowProtocol::Text);
        }
        read.rows.push_back(std::move(row));
    }
    return read;
}

std::string shown(const Cell &cell)
{
    return cell ? '"' + *cell + '"' : std::string("NULL");
}

std::unique_ptr<SqlConnection> openConnection()
{
    auto connection = std::make_unique<SqlConnection>();
    applyRecipe(*connection, ConnectionSettings());
    connection->open();
    return connection;
}

// Both ways agree cell by cell; the failure names the first cell that differs.
void expectSameRows(const Rows &plain, const Rows &prepared)
{
    ASSERT_EQ(plain.names, prepared.names);
    ASSERT_EQ(plain.rows.size(), prepared.rows.size());
    int differences = 0;
    for (std::size_t r = 0; r < plain.rows.size(); ++r) {
        for (std::size_t c = 0; c < plain.names.size(); ++c) {
            if (plain.rows[r][c] != prepared.rows[r][c] && ++differences <= 20) {
                ADD_FAILURE() << "row " << r << ", column " << plain.names[c] << ": plain "
                              << shown(plain.rows[r][c]) << ", prepared "
                              << shown(prepared.rows[r][c]);
            }
        }
    }
    EXPECT_EQ(differences, 0);
}

// ---- The table of extreme values ----

const char *const extremesTable = R"(CREATE TABLE rowprotocol_extremes (
    id INT NOT NULL PRIMARY KEY,
    ti TINYINT, tu TINYINT UNSIGNED, si SMALLINT, su SMALLINT UNSIGNED,
    mi MEDIUMINT, mu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED, bi BIGINT, bu BIGINT UNSIGNED,
    tz TINYINT(3) ZEROFILL, iz INT(7) ZEROFILL, bz BIGINT(20) ZEROFILL, b1 BOOLEAN,
    f FLOAT, d DOUBLE, f72 FLOAT(7,2), d103 DOUBLE(10,3), d3020 DOUBLE(30,20), f2015 FLOAT(20,15),
    dec1 DECIMAL(4,1), dec65 DECIMAL(65,30), dec0 DECIMAL(20,0), decz DECIMAL(8,3) ZEROFILL,
    dt DATE, dtm DATETIME, dtm3 DATETIME(3), dtm6 DATETIME(6), ts TIMESTAMP NULL,
    ts6 TIMESTAMP(6) NULL, tm TIME, tm1 TIME(1), tm6 TIME(6), y YEAR,
    bt BIT(10), b64 BIT(64), e ENUM('CLR','FEW','SCT'), st SET('RA','SN','BR'),
    vc VARCHAR(40), ch CHAR(5), bin VARBINARY(12), bl BLOB, tx TEXT, js JSON,
    ip INET6, uu UUID)
    ENGINE=InnoDB DEFAULT CHARSET=utf8mb4)";

// Each row sets some columns; the others stay NULL. Row 1 is all NULL.
const char *const extremesRows[] = {
    "(1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL)",
    // Smallest values, empty texts, zero dates.
    "(2, -128, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0, 0, 0, 0, 0, "
    "-3.40282e38, -1.7976931348623157e308, -99999.99, -9999999.999, -0.1, -0.000099999997474, "
    "-999.9, -99999999999999999999999999999999999.999999999999999999999999999999, "
    "-99999999999999999999, 0, '0000-00-00', '0000-00-00 00:00:00', '0000-00-00 00:00:00.000', "
    "'0000-00-00 00:00:00.000000', '0000-00-00 00:00:00', '0000-00-00 00:00:00.000000', "
    "'-838:59:59', '-838:59:59.9', '-838:59:59.999999', 0, b'0', b'0', '', '', '', '', '', "
    "'', '', '[]', '::', '00000000-0000-0000-0000-000000000000')",
    // Largest values.
    "(3, 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295, "
    "9223372036854775807, 18446744073709551615, 255, 9999999, 18446744073709551615, 1, "
    "3.40282e38, 1.7976931348623157e308, 99999.99, 9999999.999, 9999999999.99999999999999999999, "
    "99999.999999999999999, 999.9, "
    "99999999999999999999999999999999999.999999999999999999999999999999, 99999999999999999999, "
    "99999.999, '9999-12-31', '9999-12-31 23:59:59', '9999-12-31 23:59:59.999', "
    "'9999-12-31 23:59:59.999999', '2038-01-19 03:14:07', '2038-01-19 03:14:07.999999', "
    "'838:59:59', '838:59:59.9', '838:59:59.999999', 2155, b'1111111111', "
    "b'1111111111111111111111111111111111111111111111111111111111111111', 'SCT', 'RA,SN,BR', "
    "'Z\xc3\xbcrich 93\xc2\xb0"
    "F, \"quoted\"\\ttab', 'KSWF', X'00FF0A0D2C22', REPEAT('b', 70000), "
    "REPEAT('t', 300), '{\"a\": [1, 2.5, null]}', "
    "'ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff', 'ffffffff-ffff-ffff-ffff-ffffffffffff')",
    // Small magnitudes, minus one, dates and times of the sample's kind.
    "(4, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, 1, 42, 7, 0, 1.17549e-38, 2.2250738585072014e-308, "
    "0.01, 0.001, 0.00000000000000000001, 0.000000000000001, 0.1, "
    "0.000000000000000000000000000001, 1, 0.001, '1000-01-01', '1995-07-15 12:00:00', "
    "'1995-07-15 12:00:00.5', '1995-07-15 12:00:00.000001', '1970-01-01 00:00:01', "
    "'1995-07-15 12:00:00.000001', '00:00:00', '00:00:00.1', '-00:00:00.000001', 1901, b'1', "
    "b'1', 'CLR', 'RA', ' blank ', 'a', X'00', 'x', 'y', '{}', '::1', "
    "'123e4567-e89b-12d3-a456-426614174000')",
    // Subnormal numbers, values whose shortest form is long, exponents at the form's edges.
    "(5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1e-45, 5e-324, 0.005, 0.0005, 0.1, 0.1, "
    "-0.5, 0.5, -0.5, 0.5, '2012-10-30', '2012-10-30 23:59:59', '2012-02-29 00:00:00.010', "
    "'2012-02-29 00:00:00.123456', '2012-10-30 00:00:00', '2012-10-30 00:00:00.5', "
    "'-00:00:01', '-12:34:56.7', '100:00:00.000100', 2012, b'1010101010', b'0', 'FEW', 'SN,BR', "
    "'\xe2\x80\x94', 'ab', X'FF', '', '', '\"text\"', '2001:db8::8a2e:370:7334', "
    "'00000000-0000-0000-0000-000000000001')",
    // Exponents where the plain form turns to the exponent form, and integers of many digits.
    "(6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-5, 1e-15, 0, 0, 0, 0, 0, 0, 0, 0, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL)",
    "(7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-4, 1e-14, 0, 0, 0, 0, 0, 0, 0, 0, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL)",
    "(8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16777217, 1e15, 0, 0, 0, 0, 0, 0, 0, 0, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL)",
    "(9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1234565, 123456789012345678, 0, 0, 0, 0, 0, "
    "0, 0, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
    "(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 999999.5, 999999999999999.9, 0, 0, 0, 0, 0, "
    "0, 0, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
    "(11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100000, 1e16, 0, 0, 0, 0, 0, 0, 0, 0, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL)",
    "(12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.1, 0.30000000000000004, 0, 0, 0, 0, 0, 0, "
    "0, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
    "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
};

// Negative zero cannot be written as a literal the server keeps; these make it.
const char *const negativeZeroUpdate =
    "UPDATE rowprotocol_extremes SET f = -1e-30 * 1e-30, d = -1e-300 * 1e-300, "
    "f72 = -1e-300 * 1e-300, d103 = -1e-300 * 1e-300 WHERE id = 6";

// Random numbers of every magnitude: DOUBLE and FLOAT from random bits (no infinities or
// NaNs), and fixed-decimal columns from random values in their range.
const char *const randomTable =
    "CREATE TABLE rowprotocol_random (id INT NOT NULL PRIMARY KEY, d DOUBLE, f FLOAT, "
    "d52 DOUBLE(12,5), f31 FLOAT(6,1), d2010 DOUBLE(30,10)) ENGINE=InnoDB";

struct Random
{
    std::uint64_t state = 0x9e3779b97f4a7c15u;
    std::uint64_t next()
    {
        state += 0x9e3779b97f4a7c15u;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
};

std::string literal(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void fillRandomTable(SqlConnection &connection, int rows)
{
    Random random;
    std::string insert;
    for (int id = 1; id <= rows; ++id) {
        double d;
        do {
            const std::uint64_t bits = random.next();
            std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        float f;
        do {
            const auto bits = static_cast<std::uint32_t>(random.next());
            std::memcpy(&f, &bits, sizeof f);
        } while (!std::isfinite(f));
        // Every tenth value is one of few digits, as measurements are.
        if (id % 10 == 0) {
            d = static_cast<double>(static_cast<std::int64_t>(random.next() % 200001) - 100000)
                / 100;
            f = static_cast<float>(d);
        }
        const double unit = static_cast<double>(random.next() % 1000000001) / 1e9;
        insert += insert.empty() ? "INSERT INTO rowprotocol_random VALUES " : ", ";
        insert += "(" + std::to_string(id) + ", " + literal(d) + ", " + literal(f) + ", "
            + literal((unit - 0.5) * 1.9e7) + ", " + literal((unit - 0.5) * 1.9e5) + ", "
            + literal((unit - 0.5) * 1e19) + ")";
        if (id % 500 == 0 || id == rows) {
            connection.execute(QByteArrayView(insert.data(), qsizetype(insert.size())));
            insert.clear();
        }
    }
}

class RowProtocolTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        auto connection = openConnection();
        // Zero dates and the largest values go in as given.
        connection->execute(QStringLiteral("SET SESSION sql_mode = ''"));
        connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_extremes"));
        connection->execute(QString::fromUtf8(extremesTable));
        for (const char *row : extremesRows) {
            const std::string insert =
                std::string("INSERT INTO rowprotocol_extremes VALUES ") + row;
            connection->execute(QByteArrayView(insert.data(), qsizetype(insert.size())));
        }
        connection->execute(QString::fromUtf8(negativeZeroUpdate));
        connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_random"));
        connection->execute(QString::fromUtf8(randomTable));
        fillRandomTable(*connection, 5000);
        connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_year2"));
        connection->execute(QStringLiteral("DROP PROCEDURE IF EXISTS rowprotocol_call"));
        connection->execute(QStringLiteral(
            "CREATE PROCEDURE rowprotocol_call() SELECT id, d, dtm6 FROM rowprotocol_extremes"));
    }

    static void TearDownTestSuite()
    {
        auto connection = openConnection();
        connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_extremes"));
        connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_random"));
        connection->execute(QStringLiteral("DROP PROCEDURE IF EXISTS rowprotocol_call"));
    }
};

struct StatementCase
{
    const char *name;
    const char *sql;
    RowProtocol protocol; // the way queryRows must take
    std::size_t leastRows; // the rows the statement must give at least
};

void PrintTo(const StatementCase &c, std::ostream *out)
{
    *out << c.name;
}

class SameRows : public RowProtocolTest, public testing::WithParamInterface<StatementCase>
{
};

TEST_P(SameRows, EveryCellAsThePlainStatementGivesIt)
{
    const StatementCase &c = GetParam();
    auto connection = openConnection();
    const QByteArrayView sql(c.sql);
    const Rows plain = readAll(connection->query(sql));
    const Rows prepared =
        readAll(connection->queryRows(sql, SqlConnection::Prepare::WherePossible));
    EXPECT_EQ(plain.protocol, RowProtocol::Text);
    EXPECT_EQ(prepared.protocol, c.protocol)
        << (c.protocol == RowProtocol::Binary ? "expected the prepared way"
                                              : "expected the plain way");
    EXPECT_GE(plain.rows.size(), c.leastRows);
    expectSameRows(plain, prepared);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SameRows,
    testing::Values(
        StatementCase {"extremes", "SELECT * FROM rowprotocol_extremes ORDER BY id",
                       RowProtocol::Binary, 12},
        StatementCase {"random_numbers", "SELECT * FROM rowprotocol_random ORDER BY id",
                       RowProtocol::Binary, 5000},
        StatementCase {"sample_surfaceshort", "SELECT * FROM surfaceshort", RowProtocol::Binary,
                       1000},
        StatementCase {"sample_surface", "SELECT * FROM surface", RowProtocol::Binary, 1000},
        StatementCase {"sample_upper", "SELECT * FROM upper", RowProtocol::Binary, 100},
        StatementCase {"window_statement",
                       "SELECT * FROM surfaceshort WHERE icao = 'KSWF' AND year = 1995 AND "
                       "month = 7 AND day >= 15 AND day <= 16 ORDER BY year, month, day, hour",
                       RowProtocol::Binary, 1},
        StatementCase {"aggregates",
                       "SELECT icao, COUNT(*), AVG(temp), SUM(temp), MIN(lat), MAX(lon), "
                       "STD(temp), VARIANCE(dewpt), AVG(1e0 * temp), SUM(wspd), AVG(wspd), "
                       "GROUP_CONCAT(DISTINCT skyc) FROM surfaceshort GROUP BY icao",
                       RowProtocol::Binary, 10},
        StatementCase {"number_expressions",
                       "SELECT 1e0 / 3, ROUND(1e0 / 3, 2), ROUND(1e0 / 3, 20), -1e-300 * 1e-300, "
                       "1e300 * 10, 1e-15, 1e-14, 1e15, 1e16, 123456789012345678e0, 2.5e0, "
                       "CAST(0.1 AS FLOAT), CAST(16777217 AS FLOAT), CAST(1e-40 AS FLOAT), "
                       "CAST(1e300 AS DOUBLE(65, 2)), CAST(0.4e0 AS DOUBLE(10, 0)), "
                       "CAST(2.5e0 AS DOUBLE(10, 0)), PI(), SQRT(2), EXP(700), LN(2), "
                       "1 / 3, 10 DIV 3, -7 % 3, 18446744073709551615 + 0, "
                       "CAST(-1 AS UNSIGNED), TRUE, NULL, '', 0x41, b'101'",
                       RowProtocol::Binary, 1},
        StatementCase {"temporal_expressions",
                       "SELECT DATE('2012-10-30'), CAST('2012-10-30 12:34:56.789' AS "
                       "DATETIME(3)), CAST('-838:59:59.5' AS TIME(1)), SEC_TO_TIME(3600), "
                       "SEC_TO_TIME(-3600.5), MAKEDATE(2012, 300), MAKETIME(100, 2, 3), "
                       "TIMEDIFF('2012-01-01 00:00:00', '2011-12-31 00:00:00'), "
                       "ADDTIME('2012-10-30 23:59:59', '00:00:01.25'), "
                       "FROM_UNIXTIME(0), FROM_UNIXTIME(1351555200.123456), "
                       "CAST(NULL AS DATE), YEAR('2012-10-30')",
                       RowProtocol::Binary, 1},
        StatementCase {"no_rows", "SELECT * FROM rowprotocol_extremes WHERE id < 0",
                       RowProtocol::Binary, 0},
        StatementCase {"show_tables", "SHOW TABLES", RowProtocol::Binary, 3},
        // What the driver does not write itself takes the plain way, with the same rows.
        StatementCase {"float_zerofill",
                       "SELECT id, CAST(f AS DOUBLE) AS d FROM rowprotocol_extremes UNION ALL "
                       "SELECT 0, NULL",
                       RowProtocol::Binary, 13},
        StatementCase {"procedure_call", "CALL rowprotocol_call()", RowProtocol::Text, 12},
        StatementCase {"statement_without_rows", "DO 1", RowProtocol::Text, 0}),
    [](const testing::TestParamInfo<StatementCase> &info) { return std::string(info.param.name); });

// Columns the driver does not write itself: the statement takes the plain way.
TEST_F(RowProtocolTest, ColumnsNotWrittenByTheDriverTakeThePlainWay)
{
    auto connection = openConnection();
    connection->execute(QStringLiteral("DROP TABLE IF EXISTS rowprotocol_plain"));
    connection->execute(QStringLiteral(
        "CREATE TABLE rowprotocol_plain (id INT, fz FLOAT ZEROFILL, dz DOUBLE(9,2) ZEROFILL)"));
    connection->execute(
        QStringLiteral("INSERT INTO rowprotocol_plain VALUES (1, 1.5, 2.25), (2, NULL, 0)"));
    const QByteArrayView sql("SELECT * FROM rowprotocol_plain ORDER BY id");
    const Rows plain = readAll(connection->query(sql));
    const Rows prepared =
        readAll(connection->queryRows(sql, SqlConnection::Prepare::WherePossible));
    connection->execute(QStringLiteral("DROP TABLE rowprotocol_plain"));
    EXPECT_EQ(prepared.protocol, RowProtocol::Text);
    expectSameRows(plain, prepared);
}

// A statement that fails fails the same way.
struct FailureCase
{
    const char *name;
    const char *sql;
};

void PrintTo(const FailureCase &c, std::ostream *out)
{
    *out << c.name;
}

class SameFailure : public RowProtocolTest, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(SameFailure, SameErrorBothWays)
{
    auto connection = openConnection();
    const QByteArrayView sql(GetParam().sql);
    const auto failure = [&](bool prepared) -> std::string {
        try {
            readAll(prepared ? connection->queryRows(sql, SqlConnection::Prepare::WherePossible)
                             : connection->query(sql));
        } catch (const DbError &error) {
            return std::to_string(error.number()) + " " + error.what();
        }
        return {};
    };
    const std::string plain = failure(false);
    EXPECT_FALSE(plain.empty());
    EXPECT_EQ(failure(true), plain);
    // The connection takes the next statement.
    EXPECT_EQ(readAll(connection->queryRows("SELECT 1")).rows.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SameFailure,
    testing::Values(FailureCase {"no_such_table", "SELECT * FROM rowprotocol_missing"},
                    FailureCase {"syntax", "SELEKT 1"}, FailureCase {"parameter_mark", "SELECT ?"},
                    FailureCase {"error_while_reading",
                                 "SELECT id, (SELECT id FROM rowprotocol_extremes AS inner_rows "
                                 "WHERE inner_rows.id <= outer_rows.id - 10) FROM "
                                 "rowprotocol_extremes AS outer_rows ORDER BY id"}),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

// A result left half read: closing it reads the rest, closing the connection does not, and
// either way the next statement runs.
TEST_F(RowProtocolTest, HalfReadResultsEndCleanly)
{
    auto connection = openConnection();
    {
        SqlResult result = connection->queryRows("SELECT * FROM surfaceshort",
                                                 SqlConnection::Prepare::WherePossible);
        ASSERT_EQ(result.protocol(), RowProtocol::Binary);
        result.next();
        result.close();
    }
    EXPECT_EQ(readAll(connection->queryRows("SELECT 2")).rows.at(0).at(0), Cell("2"));
    SqlResult open =
        connection->queryRows("SELECT * FROM surfaceshort", SqlConnection::Prepare::WherePossible);
    ASSERT_EQ(open.protocol(), RowProtocol::Binary);
    ASSERT_FALSE(open.eof());
    connection->close();
    EXPECT_FALSE(open.isOpen());
    connection->open();
    EXPECT_EQ(readAll(connection->queryRows("SELECT 3")).rows.at(0).at(0), Cell("3"));
    // A new statement while a result is open ends that result first.
    SqlResult first = connection->queryRows("SELECT temp * 1e0 FROM surfaceshort",
                                            SqlConnection::Prepare::WherePossible);
    ASSERT_EQ(first.protocol(), RowProtocol::Binary);
    EXPECT_EQ(readAll(connection->queryRows("SELECT 4")).rows.at(0).at(0), Cell("4"));
    EXPECT_FALSE(first.isOpen());
}

// The faster way: prepared only where the result has FLOAT or DOUBLE columns, whose texts the
// server is slow to write; the rows are the same either way.
class FasterWay : public RowProtocolTest, public testing::WithParamInterface<StatementCase>
{
};

TEST_P(FasterWay, PreparedOnlyForFloatingPointColumns)
{
    const StatementCase &c = GetParam();
    auto connection = openConnection();
    const QByteArrayView sql(c.sql);
    const Rows plain = readAll(connection->query(sql));
    const Rows faster = readAll(connection->queryRows(sql));
    EXPECT_EQ(faster.protocol, c.protocol);
    EXPECT_GE(plain.rows.size(), c.leastRows);
    expectSameRows(plain, faster);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, FasterWay,
    testing::Values(StatementCase {"sample_surfaceshort", "SELECT * FROM surfaceshort",
                                   RowProtocol::Text, 1000},
                    StatementCase {"integers_and_texts",
                                   "SELECT id, icao, wmo, year FROM surfaceshort",
                                   RowProtocol::Text, 1000},
                    StatementCase {"doubles",
                                   "SELECT id, temp * 1e0, lat / 3 * 1e0 FROM surfaceshort",
                                   RowProtocol::Binary, 1000},
                    StatementCase {"extremes", "SELECT * FROM rowprotocol_extremes ORDER BY id",
                                   RowProtocol::Binary, 12},
                    StatementCase {"floats", "SELECT f FROM rowprotocol_random ORDER BY id",
                                   RowProtocol::Binary, 5000}),
    [](const testing::TestParamInfo<StatementCase> &info) { return std::string(info.param.name); });

// ---- The writing on its own ----

struct NumberCase
{
    const char *name;
    double value;
    bool isFloat;
    unsigned decimals;
    const char *expected;
};

void PrintTo(const NumberCase &c, std::ostream *out)
{
    *out << c.name;
}

class NumberText : public testing::TestWithParam<NumberCase>
{
};

// The forms the server writes, as read from it.
TEST_P(NumberText, AsTheServerWritesIt)
{
    const NumberCase &c = GetParam();
    std::string out;
    if (c.isFloat)
        ServerText::appendFloat(out, static_cast<float>(c.value), c.decimals);
    else
        ServerText::appendDouble(out, c.value, c.decimals);
    EXPECT_EQ(out, c.expected);
}

constexpr unsigned general = ServerText::notFixedDecimals;

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberText,
    testing::Values(
        NumberCase {"third", 1.0 / 3, false, general, "0.3333333333333333"},
        NumberCase {"third_2", 1.0 / 3, false, 2, "0.33"},
        NumberCase {"third_20", 1.0 / 3, false, 20, "0.33333333333333330000"},
        NumberCase {"tenth_20", 0.1, false, 20, "0.10000000000000000000"},
        NumberCase {"negative_zero", -0.0, false, general, "0"},
        NumberCase {"negative_zero_2", -0.0, false, 2, "0.00"},
        NumberCase {"e15", 1e15, false, general, "1e15"},
        NumberCase {"e16", 1e16, false, general, "1e16"},
        NumberCase {"e_minus_15", 1e-15, false, general, "0.000000000000001"},
        NumberCase {"e_minus_16", 1e-16, false, general, "1e-16"},
        NumberCase {"long_integer", 123456789012345678.0, false, general, "1.2345678901234568e17"},
        NumberCase {"almost_1e15", 999999999999999.0, false, general, "999999999999999"},
        NumberCase {"e301", 1e301, false, general, "1e301"},
        NumberCase {"smallest", 5e-324, false, general, "5e-324"},
        NumberCase {"largest", -1.7976931348623157e308, false, general, "-1.7976931348623157e308"},
        NumberCase {"float_tenth", 0.1, true, general, "0.1"},
        NumberCase {"float_e_minus_5", 1e-5, true, general, "0.00001"},
        NumberCase {"float_2_pow_24_plus_1", 16777217.0, true, general, "16777200"},
        NumberCase {"float_tie_to_even", 1234565.0, true, general, "1234560"},
        NumberCase {"float_largest", 3.402823466e38, true, general, "3.40282e38"},
        NumberCase {"float_subnormal", 1e-40, true, general, "9.99995e-41"},
        NumberCase {"float_15", 0.1, true, 15, "0.100000001490116"},
        NumberCase {"float_negative_15", -0.0001, true, 15, "-0.000099999997474"},
        NumberCase {"clamped_65_2", 1e63, false, 2,
                    "1000000000000000000000000000000000000000000000000000000000000000"
                    ".00"}),
    [](const testing::TestParamInfo<NumberCase> &info) { return std::string(info.param.name); });

} // namespace
