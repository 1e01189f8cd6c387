#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct ConnectionSettings;
class SqlConnection;

// The fixed names of the connection recipe. The driver, entry function and library names
// identify the driver that every connection goes through; this program links the MySQL
// client library itself, so only the driver name is checked when a connection opens.
namespace ConnectionRecipe {
inline constexpr QLatin1String connectionName("dbxmysql");
inline constexpr QLatin1String driverName("dbxmysql");
inline constexpr QLatin1String driverFunction("getSQLDriverMYSQL50");
inline constexpr QLatin1String driverLibrary("dbxopenmysql50.dll");
inline constexpr QLatin1String vendorLibrary("libmysql.dll");

inline constexpr QLatin1String hostNameParam("HostName");
inline constexpr QLatin1String databaseParam("Database");
inline constexpr QLatin1String userNameParam("User_Name");
inline constexpr QLatin1String passwordParam("Password");
} // namespace ConnectionRecipe

// How a connection finds its driver. A new connection has none of these set, so it cannot
// open until the recipe has been applied.
struct DriverConfig
{
    QString connectionName;
    QString driverName;
    QString driverFunction;
    QString driverLibrary;
    QString vendorLibrary;
    bool loginPrompt = true;

    bool operator==(const DriverConfig &) const = default;
};

// A connection's parameter list: entries of the form name=value, in the order they were
// added. Names match without regard to letter case.
class ConnectionParams
{
public:
    // A non-empty value replaces the entry of that name (in its place, under the name as
    // given here) or adds one at the end; an empty value removes the entry.
    void setValue(const QString &name, const QString &value);
    // The value of the entry of that name, or an empty text when there is none.
    QString value(const QString &name) const;
    bool contains(const QString &name) const;
    qsizetype count() const { return entries_.size(); }
    void clear() { entries_.clear(); }
    // The entries as "name=value" texts, in order.
    QStringList entries() const;

private:
    struct Entry
    {
        QString name;
        QString value;
    };
    qsizetype indexOf(const QString &name) const;

    QList<Entry> entries_;
};

// Configures a connection for its next open: the driver's names, no login prompt, and the
// four connection values. The parameter list is emptied first, so afterwards it holds
// exactly the non-empty values among host, database, user name and password.
void applyRecipe(SqlConnection &connection, const ConnectionSettings &settings);

// Where a host value points the client library.
struct HostAddress
{
    // Host name or address; empty when a socket path was given or the value was empty.
    // Empty and "localhost" both mean the client library's default socket.
    QString host;
    // A TCP port, or 0 for none. With a port the connection always goes over TCP, also for
    // "localhost".
    unsigned int port = 0;
    // A Unix socket path, or empty for the client library's default.
    QString socket;

    bool operator==(const HostAddress &) const = default;
};

// Reads a host value: "name" or "address", "name:port", "[v6-address]:port", a plain IPv6
// address, "/path/to/socket", "localhost" or empty. Throws DbError for a port that is not
// a number from 1 to 65535.
HostAddress parseHostValue(const QString &value);
