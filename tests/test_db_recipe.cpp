// The connection recipe, the parameter list and the host value, without a server.

#include "common/connectionsettings.h"
#include "db/connectionrecipe.h"
#include "db/dberror.h"
#include "db/sqlconnection.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <utility>
#include <vector>

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

QStringList list(std::initializer_list<const char *> texts)
{
    QStringList result;
    for (const char *text : texts)
        result.append(q(text));
    return result;
}

// ---- Parameter list ----

struct ParamsCase
{
    const char *name;
    std::vector<std::pair<const char *, const char *>> sets; // name, value, in order
    QStringList expected;
    // A failing case shows as its name.
    friend void PrintTo(const ParamsCase &c, std::ostream *out) { *out << c.name; }
};

class ParamsTest : public testing::TestWithParam<ParamsCase>
{
};

TEST_P(ParamsTest, HoldsTheEntriesThatTheSetsLeave)
{
    ConnectionParams params;
    for (const auto &[name, value] : GetParam().sets)
        params.setValue(q(name), q(value));
    EXPECT_EQ(params.entries(), GetParam().expected);
    EXPECT_EQ(params.count(), GetParam().expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    ConnectionParams, ParamsTest,
    testing::Values(ParamsCase {"AddsInOrder",
                                {{"HostName", "db1"}, {"Database", "orvex"}},
                                list({"HostName=db1", "Database=orvex"})},
                    ParamsCase {"ReplacesInPlace",
                                {{"HostName", "db1"}, {"Database", "orvex"}, {"HostName", "db2"}},
                                list({"HostName=db2", "Database=orvex"})},
                    ParamsCase {"NamesMatchInAnyCase",
                                {{"HostName", "db1"}, {"Database", "orvex"}, {"HOSTNAME", "db2"}},
                                list({"HOSTNAME=db2", "Database=orvex"})},
                    ParamsCase {"EmptyValueRemoves",
                                {{"HostName", "db1"}, {"Database", "orvex"}, {"hostname", ""}},
                                list({"Database=orvex"})},
                    ParamsCase {"RemovingAnAbsentNameChangesNothing",
                                {{"Database", "orvex"}, {"Password", ""}},
                                list({"Database=orvex"})},
                    ParamsCase {"RemovedEntryComesBackAtTheEnd",
                                {{"User_Name", "root"},
                                 {"Database", "orvex"},
                                 {"user_name", ""},
                                 {"User_Name", "guest"}},
                                list({"Database=orvex", "User_Name=guest"})},
                    ParamsCase {
                        "ValueMayHoldEqualsSigns", {{"Password", "a=b"}}, list({"Password=a=b"})},
                    ParamsCase {"NothingSet", {}, QStringList()}),
    [](const testing::TestParamInfo<ParamsCase> &info) { return std::string(info.param.name); });

TEST(ConnectionParams, LooksUpNamesInAnyCase)
{
    ConnectionParams params;
    params.setValue(q("User_Name"), q("root"));
    EXPECT_EQ(params.value(q("user_name")), q("root"));
    EXPECT_EQ(params.value(q("USER_NAME")), q("root"));
    EXPECT_TRUE(params.contains(q("uSeR_nAmE")));
    EXPECT_EQ(params.value(q("Password")), QString());
    EXPECT_FALSE(params.contains(q("Password")));
}

// ---- The recipe ----

struct RecipeCase
{
    const char *name;
    QStringList before; // "name=value" entries the connection held
    ConnectionSettings settings;
    QStringList expected;
    // A failing case shows as its name.
    friend void PrintTo(const RecipeCase &c, std::ostream *out) { *out << c.name; }
};

class RecipeTest : public testing::TestWithParam<RecipeCase>
{
};

TEST_P(RecipeTest, ListHoldsExactlyTheNonEmptyValues)
{
    SqlConnection connection;
    for (const QString &entry : GetParam().before) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        connection.params().setValue(entry.left(eq), entry.mid(eq + 1));
    }
    applyRecipe(connection, GetParam().settings);
    EXPECT_EQ(connection.params().entries(), GetParam().expected);
}

ConnectionSettings settings(const char *host, const char *database, const char *user,
                            const char *password)
{
    return ConnectionSettings {q(host), q(database), q(user), q(password)};
}

INSTANTIATE_TEST_SUITE_P(
    ApplyRecipe, RecipeTest,
    testing::Values(
        RecipeCase {
            "Defaults",
            {},
            ConnectionSettings {},
            list({"HostName=localhost", "Database=orvex", "User_Name=root", "Password=qxzv"})},
        RecipeCase {
            "EmptyValuesLeaveNoEntry", {}, settings("", "orvex", "", ""), list({"Database=orvex"})},
        RecipeCase {"AllEmpty", {}, settings("", "", "", ""), QStringList()},
        RecipeCase {"EarlierValuesAreReplaced",
                    list({"Password=old", "hostname=olddb", "Database=old"}),
                    settings("db.example.org:3307", "orvex", "guest", "new"),
                    list({"HostName=db.example.org:3307", "Database=orvex", "User_Name=guest",
                          "Password=new"})},
        RecipeCase {"EarlierValuesGoWhenTheSettingIsEmpty",
                    list({"HostName=olddb", "Password=old", "User_Name=olduser"}),
                    settings("", "orvex", "", ""), list({"Database=orvex"})},
        RecipeCase {"EntriesOutsideTheRecipeGo", list({"Port=3307", "ServerCharSet=latin1"}),
                    settings("localhost", "orvex", "root", ""),
                    list({"HostName=localhost", "Database=orvex", "User_Name=root"})},
        RecipeCase {
            "TextsAreTakenAsTheyAre",
            {},
            settings(" host ", "Orvex", "Ünïcode", "p=w;d"),
            list({"HostName= host ", "Database=Orvex", "User_Name=Ünïcode", "Password=p=w;d"})}),
    [](const testing::TestParamInfo<RecipeCase> &info) { return std::string(info.param.name); });

TEST(ApplyRecipe, SetsTheDriverNamesAndSwitchesTheLoginPromptOff)
{
    SqlConnection connection;
    EXPECT_TRUE(connection.config().loginPrompt);
    applyRecipe(connection, ConnectionSettings {});
    const DriverConfig &config = connection.config();
    EXPECT_EQ(config.connectionName, q("dbxmysql"));
    EXPECT_EQ(config.driverName, q("dbxmysql"));
    EXPECT_EQ(config.driverFunction, q("getSQLDriverMYSQL50"));
    EXPECT_EQ(config.driverLibrary, q("dbxopenmysql50.dll"));
    EXPECT_EQ(config.vendorLibrary, q("libmysql.dll"));
    EXPECT_FALSE(config.loginPrompt);
    EXPECT_FALSE(connection.connected());
}

// ---- Refusals before any connection is tried ----

struct RefusedOpenCase
{
    const char *name;
    const char *driverName; // after the recipe
    const char *database;
    const char *host;
    const char *messagePart;
    // A failing case shows as its name.
    friend void PrintTo(const RefusedOpenCase &c, std::ostream *out) { *out << c.name; }
};

class RefusedOpenTest : public testing::TestWithParam<RefusedOpenCase>
{
};

TEST_P(RefusedOpenTest, ThrowsWithoutConnecting)
{
    const RefusedOpenCase &c = GetParam();
    SqlConnection connection;
    applyRecipe(connection, settings(c.host, c.database, "root", "qxzv"));
    connection.config().driverName = q(c.driverName);
    try {
        connection.open();
        FAIL() << "open() succeeded";
    } catch (const DbError &error) {
        EXPECT_EQ(error.number(), 0u);
        EXPECT_TRUE(error.text().contains(q(c.messagePart))) << error.what();
    }
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(connection.serverId(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    SqlConnection, RefusedOpenTest,
    testing::Values(
        RefusedOpenCase {"OtherDriver", "dbxpostgres", "orvex", "localhost", "\"dbxpostgres\""},
        RefusedOpenCase {"DriverNameInOtherCase", "DBXMYSQL", "orvex", "localhost", "\"DBXMYSQL\""},
        RefusedOpenCase {"NoDriver", "", "orvex", "localhost", "Unknown database driver"},
        RefusedOpenCase {"EmptyDatabase", "dbxmysql", "", "localhost", "No database name"},
        RefusedOpenCase {"PortNotANumber", "dbxmysql", "orvex", "db1:abc", "\"db1:abc\""},
        RefusedOpenCase {"PortZero", "dbxmysql", "orvex", "db1:0", "no valid port"},
        RefusedOpenCase {"PortTooBig", "dbxmysql", "orvex", "db1:65536", "no valid port"},
        RefusedOpenCase {"PortMissing", "dbxmysql", "orvex", "db1:", "no valid port"},
        RefusedOpenCase {"PortWithSign", "dbxmysql", "orvex", "db1:+3306", "no valid port"}),
    [](const testing::TestParamInfo<RefusedOpenCase> &info) {
        return std::string(info.param.name);
    });

TEST(SqlConnection, NewConnectionCannotOpenBeforeTheRecipe)
{
    SqlConnection connection;
    EXPECT_THROW(connection.open(), DbError);
    EXPECT_FALSE(connection.connected());
}

TEST(SqlConnection, CloseOfAClosedConnectionDoesNothing)
{
    SqlConnection connection;
    connection.close();
    connection.close();
    EXPECT_FALSE(connection.connected());
}

// ---- Host values ----

struct HostCase
{
    const char *name;
    const char *value;
    HostAddress expected;
    // A failing case shows as its name.
    friend void PrintTo(const HostCase &c, std::ostream *out) { *out << c.name; }
};

class HostValueTest : public testing::TestWithParam<HostCase>
{
};

TEST_P(HostValueTest, Parses)
{
    const HostAddress address = parseHostValue(q(GetParam().value));
    EXPECT_EQ(address.host, GetParam().expected.host);
    EXPECT_EQ(address.port, GetParam().expected.port);
    EXPECT_EQ(address.socket, GetParam().expected.socket);
}

HostAddress host(const char *name, unsigned int port = 0)
{
    return HostAddress {q(name), port, QString()};
}

HostAddress socketPath(const char *path)
{
    return HostAddress {QString(), 0, q(path)};
}

INSTANTIATE_TEST_SUITE_P(
    ParseHostValue, HostValueTest,
    testing::Values(
        HostCase {"Empty", "", host("")}, HostCase {"Localhost", "localhost", host("localhost")},
        HostCase {"Name", "db.example.org", host("db.example.org")},
        HostCase {"Address", "192.168.1.20", host("192.168.1.20")},
        HostCase {"NameAndPort", "db.example.org:3307", host("db.example.org", 3307)},
        HostCase {"AddressAndPort", "127.0.0.1:13306", host("127.0.0.1", 13306)},
        HostCase {"LocalhostAndPort", "localhost:3306", host("localhost", 3306)},
        HostCase {"HighestPort", "db:65535", host("db", 65535)},
        HostCase {"Socket", "/run/mysqld/mysqld.sock", socketPath("/run/mysqld/mysqld.sock")},
        HostCase {"SocketWithColon", "/tmp/a:b/mysqld.sock", socketPath("/tmp/a:b/mysqld.sock")},
        HostCase {"Ipv6", "::1", host("::1")},
        HostCase {"Ipv6Full", "fe80::1:2", host("fe80::1:2")},
        HostCase {"Ipv6InBrackets", "[::1]", host("::1")},
        HostCase {"Ipv6AndPort", "[::1]:3307", host("::1", 3307)}),
    [](const testing::TestParamInfo<HostCase> &info) { return std::string(info.param.name); });

} // namespace
