// The driver layer against the private test server with the sample database. The client
// library reaches the server's socket through MYSQL_UNIX_PORT for host "localhost".

#include "common/connectionsettings.h"
#include "db/connectionrecipe.h"
#include "db/dberror.h"
#include "db/sqlconnection.h"
#include "db/sqlquery.h"
#include "db/statusconnection.h"
#include "tests/clientlibraryenvironment.h"
#include "tests/testserver.h"

#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

// Failures show texts as text, not as arrays of code units.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString q(const char *text)
{
    return QString::fromUtf8(text);
}

ConnectionSettings withHost(const QString &host)
{
    ConnectionSettings settings;
    settings.host = host;
    return settings;
}

// An open connection with the default settings (host "localhost": the test server).
std::unique_ptr<SqlConnection> openConnection(const ConnectionSettings &settings = {})
{
    auto connection = std::make_unique<SqlConnection>();
    applyRecipe(*connection, settings);
    connection->open();
    return connection;
}

QString firstValue(SqlConnection &connection, const char *sql)
{
    SqlResult rows = connection.query(q(sql));
    if (rows.eof())
        return QString();
    return rows.text(0);
}

// A counter of "SHOW SESSION STATUS;" on that connection.
qint64 sessionCounter(SqlConnection &connection, const char *name)
{
    SqlResult rows = connection.query(q("SHOW SESSION STATUS LIKE '%1';").arg(q(name)));
    return rows.eof() ? -1 : rows.text(1).toLongLong();
}

// Bytes this thread has read so far, from files and sockets alike ("rchar").
qint64 bytesReadByThisThread()
{
    QFile io(q("/proc/thread-self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Server id → column 2 (Host) of "SHOW PROCESSLIST;".
QMap<QString, QString> processHosts(SqlConnection &connection)
{
    QMap<QString, QString> hosts;
    for (SqlResult rows = connection.query(q("SHOW PROCESSLIST;")); !rows.eof(); rows.next())
        hosts.insert(rows.text(0), rows.text(2));
    return hosts;
}

class DbServer : public testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("ORVEX_TESTDB_DIR"))
            GTEST_SKIP() << "no test server (run through ctest)";
    }
};

// ---- Open and close ----

TEST_F(DbServer, OpensClosesAndOpensAgain)
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings {});
    EXPECT_FALSE(connection.connected());
    connection.open();
    ASSERT_TRUE(connection.connected());
    const std::uint64_t first = connection.serverId();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(firstValue(connection, "SELECT DATABASE();"), q("orvex"));

    connection.close();
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(connection.serverId(), 0u);
    connection.close();
    EXPECT_FALSE(connection.connected());

    connection.open();
    ASSERT_TRUE(connection.connected());
    EXPECT_NE(connection.serverId(), first);
    EXPECT_EQ(firstValue(connection, "SELECT 1;"), q("1"));
}

TEST_F(DbServer, OpenOfAnOpenConnectionKeepsIt)
{
    auto connection = openConnection();
    const std::uint64_t id = connection->serverId();
    connection->open();
    EXPECT_TRUE(connection->connected());
    EXPECT_EQ(connection->serverId(), id);
}

TEST_F(DbServer, ServerIdIsTheProcessListId)
{
    auto connection = openConnection();
    const QString id = QString::number(connection->serverId());
    EXPECT_EQ(firstValue(*connection, "SELECT CONNECTION_ID();"), id);

    // The process that runs the listing is this connection.
    QString listingId;
    for (SqlResult rows = connection->query(q("SHOW PROCESSLIST;")); !rows.eof(); rows.next()) {
        if (rows.text(7).startsWith(q("SHOW PROCESSLIST")))
            listingId = rows.text(0);
    }
    EXPECT_EQ(listingId, id);

    // Another connection sees it under the same id.
    auto other = openConnection();
    EXPECT_TRUE(processHosts(*other).contains(id));
}

struct RefusedOpenCase
{
    const char *name;
    ConnectionSettings settings;
    unsigned int number;
    const char *messagePart;
    // A failing case shows as its name.
    friend void PrintTo(const RefusedOpenCase &c, std::ostream *out) { *out << c.name; }
};

class RefusedOpen : public DbServer, public testing::WithParamInterface<RefusedOpenCase>
{
};

TEST_P(RefusedOpen, ThrowsTheServersError)
{
    const RefusedOpenCase &c = GetParam();
    SqlConnection connection;
    applyRecipe(connection, c.settings);
    try {
        connection.open();
        FAIL() << "open() succeeded";
    } catch (const DbError &error) {
        EXPECT_EQ(error.number(), c.number) << error.what();
        EXPECT_TRUE(error.text().contains(q(c.messagePart))) << error.what();
    }
    EXPECT_FALSE(connection.connected());

    // The same connection opens once the values are right.
    applyRecipe(connection, ConnectionSettings {});
    connection.open();
    EXPECT_TRUE(connection.connected());
}

INSTANTIATE_TEST_SUITE_P(
    SqlConnection, RefusedOpen,
    testing::Values(RefusedOpenCase {"WrongPassword",
                                     {q("localhost"), q("orvex"), q("root"), q("wrong")},
                                     1045,
                                     "Access denied for user 'root'@'localhost'"},
                    RefusedOpenCase {"EmptyPassword",
                                     {q("localhost"), q("orvex"), q("root"), QString()},
                                     1045,
                                     "Access denied"},
                    RefusedOpenCase {"UnknownUser",
                                     {q("localhost"), q("orvex"), q("nobody"), q("qxzv")},
                                     1045,
                                     "Access denied for user 'nobody'"},
                    RefusedOpenCase {"UnknownDatabase",
                                     {q("localhost"), q("no_such_db"), q("root"), q("qxzv")},
                                     1049,
                                     "Unknown database 'no_such_db'"},
                    RefusedOpenCase {"EmptyDatabase",
                                     {q("localhost"), QString(), q("root"), q("qxzv")},
                                     0,
                                     "No database name"},
                    RefusedOpenCase {
                        "MissingSocket",
                        {q("/nonexistent/orvex/mysqld.sock"), q("orvex"), q("root"), q("qxzv")},
                        2002,
                        "/nonexistent/orvex/mysqld.sock"}),
    [](const testing::TestParamInfo<RefusedOpenCase> &info) {
        return std::string(info.param.name);
    });

// Which way each host value reaches the server, seen in the server's process list.
struct HostCase
{
    const char *name;
    const char *host; // %port% and %socket% stand for the test server's
    const char *processHostPrefix;
    // A failing case shows as its name.
    friend void PrintTo(const HostCase &c, std::ostream *out) { *out << c.name; }
};

class HostValue : public DbServer, public testing::WithParamInterface<HostCase>
{
};

TEST_P(HostValue, ReachesTheServer)
{
    const QString port = serverEnv("ORVEX_DB_PORT");
    const QString socket = serverEnv("ORVEX_DB_SOCKET");
    ASSERT_FALSE(port.isEmpty());
    ASSERT_FALSE(socket.isEmpty());
    QString host = q(GetParam().host);
    host.replace(q("%port%"), port).replace(q("%socket%"), socket);

    const qint64 readBefore = bytesReadByThisThread();
    auto connection = openConnection(withHost(host));
    const qint64 readToOpen = bytesReadByThisThread() - readBefore;
    const QMap<QString, QString> hosts = processHosts(*connection);
    const QString own = hosts.value(QString::number(connection->serverId()));
    EXPECT_TRUE(own.startsWith(q(GetParam().processHostPrefix))) << qPrintable(own);

    // Over TCP the connection is encrypted when the server offers TLS; over a socket, never.
    const bool overTcp = q(GetParam().processHostPrefix) == q("127.0.0.1:");
    const bool serverOffersTls = serverEnv("ORVEX_DB_TLS") != q("0");
    SqlResult cipher = connection->query(q("SHOW SESSION STATUS LIKE 'Ssl_cipher';"));
    ASSERT_FALSE(cipher.eof());
    EXPECT_EQ(!cipher.text(1).isEmpty(), overTcp && serverOffersTls)
        << "cipher \"" << qPrintable(cipher.text(1)) << "\"";
    // Opening reads what the server sends and no more: the certificate is not verified, so
    // the system's store of authorities (over 200 KB) is not read for each connection.
    EXPECT_LT(readToOpen, 64 * 1024);
}

INSTANTIATE_TEST_SUITE_P(
    SqlConnection, HostValue,
    testing::Values(HostCase {"Localhost", "localhost", "localhost"},
                    HostCase {"Empty", "", "localhost"},
                    HostCase {"SocketPath", "%socket%", "localhost"},
                    HostCase {"AddressAndPort", "127.0.0.1:%port%", "127.0.0.1:"},
                    HostCase {"LocalhostAndPortGoesOverTcp", "localhost:%port%", "127.0.0.1:"}),
    [](const testing::TestParamInfo<HostCase> &info) { return std::string(info.param.name); });

// ---- Statements returning rows ----

TEST_F(DbServer, StreamsTheRowsOfASampleQuery)
{
    auto connection = openConnection();
    SqlResult rows = connection->query(
        q("SELECT icao, hour, temp FROM surfaceshort WHERE icao='KSWF' AND year=1995 AND "
          "month=7 AND day=15 ORDER BY hour;"));
    ASSERT_EQ(rows.fieldCount(), 3);
    EXPECT_EQ(rows.fieldName(0), q("icao"));
    EXPECT_EQ(rows.fieldName(1), q("hour"));
    EXPECT_EQ(rows.fieldName(2), q("temp"));
    EXPECT_THROW(rows.fieldName(3), DbError);

    int count = 0;
    for (; !rows.eof(); rows.next()) {
        EXPECT_EQ(rows.value(0), QByteArrayView("KSWF"));
        EXPECT_EQ(rows.text(1), QString::number(count)); // hours 0 to 23 in order
        EXPECT_FALSE(rows.isNull(0));
        ++count;
    }
    EXPECT_EQ(count, 24);
    EXPECT_TRUE(rows.isOpen());
    EXPECT_THROW(rows.value(0), DbError);
    rows.next(); // past the end stays there
    EXPECT_TRUE(rows.eof());
    rows.close();
    EXPECT_FALSE(rows.isOpen());
    EXPECT_EQ(rows.fieldCount(), 0);
    EXPECT_THROW(rows.fieldName(0), DbError);
    EXPECT_EQ(firstValue(*connection, "SELECT 2;"), q("2"));
}

TEST_F(DbServer, NullReadsAsEmptyText)
{
    auto connection = openConnection();
    SqlResult rows = connection->query(
        q("SELECT NULL AS absent, '' AS blank, 'x' AS letter, 42 AS number, 1.50 AS money;"));
    ASSERT_FALSE(rows.eof());
    ASSERT_EQ(rows.fieldCount(), 5);
    const char *names[] = {"absent", "blank", "letter", "number", "money"};
    const char *texts[] = {"", "", "x", "42", "1.50"};
    const bool nulls[] = {true, false, false, false, false};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows.fieldName(i), q(names[i]));
        EXPECT_EQ(rows.value(i), QByteArrayView(texts[i])) << i;
        EXPECT_EQ(rows.text(i), q(texts[i])) << i;
        EXPECT_EQ(rows.isNull(i), nulls[i]) << i;
    }
    EXPECT_THROW(rows.value(5), DbError);
    EXPECT_THROW(rows.isNull(-1), DbError);
    rows.next();
    EXPECT_TRUE(rows.eof());
}

TEST_F(DbServer, NullsOfTheSampleDataReadAsEmpty)
{
    auto connection = openConnection();
    SqlResult rows = connection->query(
        q("SELECT gust, gust IS NULL FROM surfaceshort WHERE icao='KSWF' AND year=1995;"));
    int nulls = 0;
    for (; !rows.eof(); rows.next()) {
        const bool isNull = rows.value(1) == QByteArrayView("1");
        EXPECT_EQ(rows.isNull(0), isNull);
        if (isNull) {
            EXPECT_TRUE(rows.value(0).isEmpty());
            ++nulls;
        } else {
            EXPECT_FALSE(rows.value(0).isEmpty());
        }
    }
    EXPECT_GT(nulls, 0);
}

TEST_F(DbServer, ValuesAreBinarySafe)
{
    auto connection = openConnection();
    SqlResult rows =
        connection->query(q("SELECT CONCAT('a', CHAR(0), 'b'), CHAR(0), UNHEX('FF00FE');"));
    ASSERT_FALSE(rows.eof());
    EXPECT_EQ(rows.value(0), QByteArrayView("a\0b", 3));
    EXPECT_EQ(rows.value(1), QByteArrayView("\0", 1));
    EXPECT_EQ(rows.value(2), QByteArrayView("\xFF\0\xFE", 3));
}

TEST_F(DbServer, DescribeGivesNameAndType)
{
    auto connection = openConnection();
    SqlResult rows = connection->query(q("DESCRIBE surface;"));
    ASSERT_GE(rows.fieldCount(), 2);
    EXPECT_EQ(rows.fieldName(0), q("Field"));
    EXPECT_EQ(rows.fieldName(1), q("Type"));
    const char *expected[][2] = {{"id", "int(10) unsigned"}, {"year", "smallint(6)"},
                                 {"month", "tinyint(4)"},    {"day", "tinyint(4)"},
                                 {"hour", "tinyint(4)"},     {"faa", "char(3)"},
                                 {"icao", "char(4)"},        {"wmo", "char(5)"},
                                 {"lat", "decimal(7,4)"},    {"lon", "decimal(7,4)"}};
    for (const auto &column : expected) {
        ASSERT_FALSE(rows.eof());
        EXPECT_EQ(rows.text(0), q(column[0]));
        EXPECT_EQ(rows.text(1), q(column[1]));
        rows.next();
    }
    QStringList rest;
    for (; !rows.eof(); rows.next())
        rest.append(rows.text(0));
    EXPECT_TRUE(rest.contains(q("exactyear")));
    EXPECT_TRUE(rest.contains(q("exactminute")));
}

TEST_F(DbServer, EmptyResultIsAtItsEndAtOnce)
{
    auto connection = openConnection();
    SqlResult rows = connection->query(q("SELECT icao, temp FROM surfaceshort WHERE 1 = 0;"));
    EXPECT_TRUE(rows.eof());
    EXPECT_TRUE(rows.isOpen());
    EXPECT_EQ(rows.fieldCount(), 2);
    EXPECT_EQ(rows.fieldName(1), q("temp"));
    EXPECT_THROW(rows.value(0), DbError);
}

TEST_F(DbServer, StatementWithoutRowsGivesAResultWithoutFields)
{
    auto connection = openConnection();
    SqlResult none = connection->query(q("SET @orvex_probe = 'set';"));
    EXPECT_TRUE(none.eof());
    EXPECT_EQ(none.fieldCount(), 0);
    EXPECT_EQ(firstValue(*connection, "SELECT @orvex_probe;"), q("set"));
}

TEST_F(DbServer, NewStatementEndsTheUnfinishedResult)
{
    auto connection = openConnection();
    SqlResult first = connection->query(q("SELECT id FROM surfaceshort LIMIT 1000;"));
    ASSERT_FALSE(first.eof());
    SqlResult second = connection->query(q("SELECT 'second';"));
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(first.eof());
    ASSERT_FALSE(second.eof());
    EXPECT_EQ(second.text(0), q("second"));
}

TEST_F(DbServer, MovedResultStaysTiedToItsConnection)
{
    auto connection = openConnection();
    SqlResult moved;
    {
        SqlResult rows = connection->query(q("SELECT id FROM surfaceshort LIMIT 10;"));
        moved = std::move(rows);
        EXPECT_FALSE(rows.isOpen());
    }
    ASSERT_TRUE(moved.isOpen());
    EXPECT_FALSE(moved.eof());
    // Closing the connection must end the moved result, not the emptied one.
    connection->close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_TRUE(moved.eof());
    EXPECT_THROW(moved.fieldName(0), DbError);
}

struct RefusedStatementCase
{
    const char *name;
    const char *sql;
    unsigned int number;
    const char *messagePart;
    // A failing case shows as its name.
    friend void PrintTo(const RefusedStatementCase &c, std::ostream *out) { *out << c.name; }
};

class RefusedStatement : public DbServer, public testing::WithParamInterface<RefusedStatementCase>
{
};

TEST_P(RefusedStatement, ThrowsTheServersMessageAndLeavesTheConnectionUsable)
{
    auto connection = openConnection();
    for (bool prepared : {false, true}) {
        try {
            if (prepared)
                connection->execute(q(GetParam().sql));
            else
                connection->query(q(GetParam().sql));
            ADD_FAILURE() << (prepared ? "execute" : "query") << " succeeded";
        } catch (const DbError &error) {
            EXPECT_EQ(error.number(), GetParam().number) << error.what();
            EXPECT_TRUE(error.text().contains(q(GetParam().messagePart))) << error.what();
        }
        EXPECT_TRUE(connection->connected());
        EXPECT_EQ(firstValue(*connection, "SELECT 'still here';"), q("still here"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SqlConnection, RefusedStatement,
    testing::Values(RefusedStatementCase {"NoSuchTable", "SELECT * FROM no_such_table;", 1146,
                                          "Table 'orvex.no_such_table' doesn't exist"},
                    RefusedStatementCase {"DescribeNoSuchTable", "DESCRIBE surfacelong;", 1146,
                                          "Table 'orvex.surfacelong' doesn't exist"},
                    RefusedStatementCase {"NoSuchColumn", "SELECT nothing FROM surfaceshort;", 1054,
                                          "Unknown column 'nothing'"},
                    RefusedStatementCase {"Syntax", "SELEC icao FROM surfaceshort;", 1064,
                                          "You have an error in your SQL syntax"},
                    RefusedStatementCase {"TwoStatements", "SELECT 1; SELECT 2;", 1064,
                                          "You have an error in your SQL syntax"},
                    RefusedStatementCase {"KillUnknownProcess", "KILL QUERY 4000000000;", 1094,
                                          "Unknown thread id: 4000000000"}),
    [](const testing::TestParamInfo<RefusedStatementCase> &info) {
        return std::string(info.param.name);
    });

TEST_F(DbServer, TextRoundTripsAsUtf8)
{
    auto connection = openConnection();
    // 11 characters in 18 bytes of UTF-8: two-, three- and four-byte characters.
    const char *text = "Ünïcode ☂ 𝄞";
    {
        SqlResult rows = connection->query(q("SELECT '%1', CHAR_LENGTH('%1');").arg(q(text)));
        ASSERT_FALSE(rows.eof());
        EXPECT_EQ(rows.value(0), QByteArrayView(text));
        EXPECT_EQ(rows.text(1), q("11"));
    }
    connection->execute(q("CREATE TEMPORARY TABLE orvex_probe (s VARCHAR(40)) "
                          "CHARACTER SET utf8mb4;"));
    EXPECT_EQ(connection->execute(q("INSERT INTO orvex_probe VALUES ('%1');").arg(q(text))), 1u);
    SqlResult rows = connection->query(q("SELECT s, CHAR_LENGTH(s), LENGTH(s) FROM orvex_probe;"));
    ASSERT_FALSE(rows.eof());
    EXPECT_EQ(rows.value(0), QByteArrayView(text));
    EXPECT_EQ(rows.text(0), q(text));
    EXPECT_EQ(rows.text(1), q("11"));
    EXPECT_EQ(rows.text(2), q("18"));
}

// ---- Statements without rows ----

TEST_F(DbServer, ExecuteRunsPreparedAndCountsChangedRows)
{
    auto connection = openConnection();
    const qint64 prepares = sessionCounter(*connection, "Com_stmt_prepare");
    const qint64 executes = sessionCounter(*connection, "Com_stmt_execute");
    connection->execute(q("CREATE TEMPORARY TABLE orvex_probe (n INT);"));
    EXPECT_EQ(connection->execute(q("INSERT INTO orvex_probe VALUES (1), (2), (3);")), 3u);
    EXPECT_EQ(connection->execute(q("UPDATE orvex_probe SET n = n + 10 WHERE n > 1;")), 2u);
    EXPECT_EQ(sessionCounter(*connection, "Com_stmt_prepare"), prepares + 3);
    EXPECT_EQ(sessionCounter(*connection, "Com_stmt_execute"), executes + 3);
    EXPECT_EQ(firstValue(*connection, "SELECT SUM(n) FROM orvex_probe;"), q("26"));
}

TEST_F(DbServer, KillQueryRunsAsAPreparedStatement)
{
    auto status = openConnection();
    auto idle = openConnection();
    const qint64 prepares = sessionCounter(*status, "Com_stmt_prepare");
    const qint64 executes = sessionCounter(*status, "Com_stmt_execute");
    const qint64 kills = sessionCounter(*status, "Com_kill");

    // Killing the query of an idle process is allowed and leaves the process connected.
    EXPECT_EQ(status->execute(q("KILL QUERY %1;").arg(idle->serverId())), 0u);

    EXPECT_EQ(sessionCounter(*status, "Com_stmt_prepare"), prepares + 1);
    EXPECT_EQ(sessionCounter(*status, "Com_stmt_execute"), executes + 1);
    EXPECT_EQ(sessionCounter(*status, "Com_kill"), kills + 1);
    EXPECT_EQ(firstValue(*idle, "SELECT 'alive';"), q("alive"));
}

TEST_F(DbServer, StatementTheServerCannotPrepareRunsDirectly)
{
    auto connection = openConnection();
    // PREPARE is one of the few statements the server refuses to prepare (error 1295).
    connection->execute(q("PREPARE orvex_probe FROM 'SELECT 42';"));
    EXPECT_EQ(firstValue(*connection, "EXECUTE orvex_probe;"), q("42"));
    connection->execute(q("DEALLOCATE PREPARE orvex_probe;"));
    try {
        connection->query(q("EXECUTE orvex_probe;"));
        ADD_FAILURE() << "the statement was not deallocated";
    } catch (const DbError &error) {
        EXPECT_EQ(error.number(), 1243u) << error.what(); // unknown prepared statement
    }
}

TEST_F(DbServer, ExecuteDropsRowsItIsGiven)
{
    auto connection = openConnection();
    EXPECT_EQ(connection->execute(q("SELECT id FROM surfaceshort LIMIT 500;")), 0u);
    EXPECT_EQ(firstValue(*connection, "SELECT 'next';"), q("next"));
}

// ---- Procedure calls: several results for one statement ----

enum class CallUse { ReadToEnd, CloseAtFirstRow, Execute };

struct CallCase
{
    const char *name;
    const char *sql;
    CallUse use;
    const char *firstValue; // of the first row, for the reading uses
    unsigned int error; // the error the call reports, or 0
    // A failing case shows as its name.
    friend void PrintTo(const CallCase &c, std::ostream *out) { *out << c.name; }
};

class ProcedureCall : public DbServer, public testing::WithParamInterface<CallCase>
{
protected:
    void SetUp() override
    {
        DbServer::SetUp();
        if (IsSkipped())
            return;
        connection_ = openConnection();
        connection_->execute(q("CREATE DATABASE IF NOT EXISTS orvex_dbtest;"));
        connection_->execute(q("CREATE OR REPLACE PROCEDURE orvex_dbtest.two_results() "
                               "BEGIN SELECT 1 AS a; SELECT 2 AS b; END"));
        connection_->execute(q("CREATE OR REPLACE PROCEDURE orvex_dbtest.rows_then_error() "
                               "BEGIN SELECT 1 AS a; SELECT * FROM orvex_dbtest.missing; END"));
        connection_->execute(q("CREATE OR REPLACE PROCEDURE orvex_dbtest.no_rows() DO 1"));
        connection_->execute(
            q("PREPARE orvex_dbtest_call FROM 'CALL orvex_dbtest.two_results()';"));
    }
    void TearDown() override
    {
        if (connection_)
            connection_->execute(q("DROP DATABASE IF EXISTS orvex_dbtest;"));
    }

    std::unique_ptr<SqlConnection> connection_;
};

TEST_P(ProcedureCall, ReportsErrorsAndLeavesTheConnectionReady)
{
    const CallCase &c = GetParam();
    unsigned int error = 0;
    try {
        if (c.use == CallUse::Execute) {
            connection_->execute(q(c.sql));
        } else {
            SqlResult rows = connection_->query(q(c.sql));
            EXPECT_EQ(rows.eof() ? QString() : rows.text(0), q(c.firstValue));
            if (c.use == CallUse::ReadToEnd) {
                while (!rows.eof())
                    rows.next();
            }
        }
    } catch (const DbError &e) {
        error = e.number();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(firstValue(*connection_, "SELECT 'ready';"), q("ready"));
}

INSTANTIATE_TEST_SUITE_P(
    SqlConnection, ProcedureCall,
    testing::Values(
        CallCase {"TwoResultsReadToEnd", "CALL orvex_dbtest.two_results();", CallUse::ReadToEnd,
                  "1", 0},
        CallCase {"TwoResultsClosedEarly", "CALL orvex_dbtest.two_results();",
                  CallUse::CloseAtFirstRow, "1", 0},
        CallCase {"TwoResultsExecuted", "CALL orvex_dbtest.two_results();", CallUse::Execute, "",
                  0},
        CallCase {"ErrorAfterRowsReadToEnd", "CALL orvex_dbtest.rows_then_error();",
                  CallUse::ReadToEnd, "1", 1146},
        // Closing before the end gives up the rest of the statement, its error included.
        CallCase {"ErrorAfterRowsClosedEarly", "CALL orvex_dbtest.rows_then_error();",
                  CallUse::CloseAtFirstRow, "1", 0},
        CallCase {"ErrorAfterRowsExecuted", "CALL orvex_dbtest.rows_then_error();",
                  CallUse::Execute, "", 1146},
        // EXECUTE cannot be prepared, so it goes to the server as it is.
        CallCase {"TwoResultsThroughExecuteStatement", "EXECUTE orvex_dbtest_call;",
                  CallUse::Execute, "", 0},
        CallCase {"NoRows", "CALL orvex_dbtest.no_rows();", CallUse::ReadToEnd, "", 0},
        CallCase {"NoRowsExecuted", "CALL orvex_dbtest.no_rows();", CallUse::Execute, "", 0}),
    [](const testing::TestParamInfo<CallCase> &info) { return std::string(info.param.name); });

// ---- The statement object ----

TEST_F(DbServer, StatementObjectRunsOnItsConnectionAndReopensIt)
{
    SqlConnection connection;
    SqlQuery statement;
    EXPECT_THROW(statement.open(), DbError); // not bound
    statement.setConnection(&connection);
    applyRecipe(connection, ConnectionSettings {});
    connection.open();

    statement.setSql(q("DESCRIBE surfaceshort;"));
    statement.open();
    ASSERT_TRUE(statement.active());
    ASSERT_FALSE(statement.eof());
    EXPECT_EQ(statement.text(0), q("id"));
    statement.next();
    EXPECT_EQ(statement.text(0), q("year"));
    statement.close();
    EXPECT_FALSE(statement.active());

    // Run on a closed connection, the statement opens it with the values it holds.
    connection.close();
    statement.setSql(q("DO 1;"));
    EXPECT_EQ(statement.execSql(), 0u);
    EXPECT_TRUE(connection.connected());

    statement.setSql(q("SELECT 'open';"));
    connection.close();
    statement.open();
    EXPECT_EQ(statement.text(0), q("open"));
    connection.close();
    EXPECT_FALSE(statement.active());
}

// ---- Interrupting a streamed query ----

// A select that the server produces slowly, so it is still running when it is killed; the
// loop bound ends the test should the kill not arrive.
const char *const slowSelect = "SELECT SLEEP(0.01) AS pause, s.* FROM surfaceshort s;";
constexpr int rowBound = 5000;

TEST_F(DbServer, KillQueryInterruptsTheStreamAndTheConnectionStaysUsable)
{
    auto worker = openConnection();
    auto status = openConnection();
    const std::uint64_t id = worker->serverId();
    SqlResult rows = worker->query(q(slowSelect));
    ASSERT_FALSE(rows.eof());

    status->execute(q("KILL QUERY %1;").arg(id));

    unsigned int number = 0;
    QString message;
    int rowsAfterKill = 0;
    try {
        while (!rows.eof() && rowsAfterKill < rowBound) {
            rows.next();
            ++rowsAfterKill;
        }
    } catch (const DbError &error) {
        number = error.number();
        message = error.text();
    }
    EXPECT_EQ(number, 1317u) << "rows read after the kill: " << rowsAfterKill;
    EXPECT_EQ(message, q("Query execution was interrupted"));
    EXPECT_TRUE(rows.eof());

    rows.close();
    EXPECT_TRUE(worker->connected());
    EXPECT_EQ(worker->serverId(), id);
    EXPECT_EQ(firstValue(*worker,
                         "SELECT COUNT(*) FROM surfaceshort WHERE icao='KSWF' AND "
                         "year=1995 AND month=7 AND day=15;"),
              q("24"));
}

TEST_F(DbServer, KillQueryReachesAWorkerThreadWaitingForRows)
{
    std::promise<std::uint64_t> started;
    std::future<std::uint64_t> startedId = started.get_future();
    std::atomic<unsigned int> number {0};
    std::atomic<bool> usableAfterwards {false};

    // Like the query runner: the thread opens, uses and closes its own connection.
    std::thread thread([&] {
        ClientThreadScope clientThread;
        bool announced = false;
        try {
            auto connection = openConnection();
            SqlResult rows = connection->query(q(slowSelect));
            started.set_value(connection->serverId());
            announced = true;
            try {
                for (int n = 0; !rows.eof() && n < rowBound; ++n)
                    rows.next();
            } catch (const DbError &error) {
                number = error.number();
            }
            rows.close();
            usableAfterwards = firstValue(*connection, "SELECT 'usable';") == q("usable");
            connection->close();
        } catch (const std::exception &) { }
        if (!announced)
            started.set_value(0);
    });

    const std::uint64_t id = startedId.get();
    if (id != 0) {
        auto status = openConnection();
        status->execute(q("KILL QUERY %1;").arg(id));
    }
    thread.join();
    ASSERT_NE(id, 0u) << "the worker could not start its query";
    EXPECT_EQ(number.load(), 1317u);
    EXPECT_TRUE(usableAfterwards.load());
}

TEST_F(DbServer, CloseEndsAnUnfinishedStreamWithoutReadingIt)
{
    auto status = openConnection();
    auto connection = openConnection();
    const QString id = QString::number(connection->serverId());
    // Tens of billions of rows: reading them to the end would never finish.
    SqlResult rows = connection->query(q("SELECT a.id, b.id FROM surfaceshort a, surfaceshort b;"));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_FALSE(rows.eof());
        rows.next();
    }
    connection->close();
    EXPECT_FALSE(connection->connected());
    EXPECT_FALSE(rows.isOpen());
    EXPECT_TRUE(rows.eof());

    // The server drops the query along with the connection.
    bool gone = false;
    for (int attempt = 0; attempt < 200 && !gone; ++attempt) {
        gone = !processHosts(*status).contains(id);
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(gone);

    connection->open();
    EXPECT_EQ(firstValue(*connection, "SELECT 'again';"), q("again"));
}

// ---- The window's status connection ----

// Each use of the status connection, reduced to a text that says it did its work, and the
// same use failing, after the connection was opened where the use allows that.
struct StatusUseCase
{
    const char *name;
    std::function<QString(StatusConnection &, const ConnectionSettings &)> use;
    const char *done;
    std::function<void(StatusConnection &)> fail;
    friend void PrintTo(const StatusUseCase &c, std::ostream *out) { *out << c.name; }
};

class StatusUse : public DbServer, public testing::WithParamInterface<StatusUseCase>
{
};

// A use that fails leaves the connection closed, so the next use reaches the settings of its
// own time, not those of the failed one; a use that succeeds closes it too.
TEST_P(StatusUse, ClosesTheConnectionAfterEachUseAndAfterAFailure)
{
    const StatusUseCase &c = GetParam();
    StatusConnection status;
    EXPECT_THROW(c.fail(status), DbError);
    EXPECT_FALSE(status.SQLConnectionStatus.connected());

    EXPECT_EQ(c.use(status, ConnectionSettings()), q(c.done));
    EXPECT_FALSE(status.SQLConnectionStatus.connected());
    EXPECT_EQ(status.SQLQueryStatus.connection(), &status.SQLConnectionStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Uses, StatusUse,
    testing::Values(
        StatusUseCase {"Describe",
                       [](StatusConnection &status, const ConnectionSettings &settings) {
                           const StatusConnection::Columns columns =
                               status.describe(settings, q("surfaceshort"));
                           return columns.names.mid(0, 3).join(q(",")) + q(" ")
                               + columns.types.mid(0, 2).join(q(","));
                       },
                       "id,year,month int(10) unsigned,smallint(6)",
                       [](StatusConnection &status) {
                           status.describe(ConnectionSettings(), q("no_such_table"));
                       }},
        // The status connection sees its own listing in the list.
        StatusUseCase {"ProcessList",
                       [](StatusConnection &status, const ConnectionSettings &settings) {
                           for (const QStringList &row : status.processList(settings))
                               if (row.value(7) == q("SHOW PROCESSLIST"))
                                   return q("own listing found");
                           return q("own listing missing");
                       },
                       "own listing found",
                       [](StatusConnection &status) {
                           ConnectionSettings refused;
                           refused.database = q("no_such_database");
                           status.processList(refused);
                       }},
        // An idle connection's query is killed without an error, and it stays usable.
        StatusUseCase {"Kill",
                       [](StatusConnection &status, const ConnectionSettings &settings) {
                           auto idle = openConnection();
                           status.kill(settings, QString::number(idle->serverId()));
                           return firstValue(*idle, "SELECT 'still open';");
                       },
                       "still open",
                       [](StatusConnection &status) {
                           status.kill(ConnectionSettings(), q("999999999"));
                       }}),
    [](const testing::TestParamInfo<StatusUseCase> &info) { return info.param.name; });

} // namespace
