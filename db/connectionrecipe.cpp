#include "db/connectionrecipe.h"

#include "common/connectionsettings.h"
#include "db/dberror.h"
#include "db/sqlconnection.h"

// ---- ConnectionParams ----

qsizetype ConnectionParams::indexOf(const QString &name) const
{
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void ConnectionParams::setValue(const QString &name, const QString &value)
{
    const qsizetype i = indexOf(name);
    if (value.isEmpty()) {
        if (i >= 0)
            entries_.removeAt(i);
    } else if (i >= 0) {
        entries_[i] = Entry {name, value};
    } else {
        entries_.append(Entry {name, value});
    }
}

QString ConnectionParams::value(const QString &name) const
{
    const qsizetype i = indexOf(name);
    return i >= 0 ? entries_[i].value : QString();
}

bool ConnectionParams::contains(const QString &name) const
{
    return indexOf(name) >= 0;
}

QStringList ConnectionParams::entries() const
{
    QStringList list;
    list.reserve(entries_.size());
    for (const Entry &entry : entries_)
        list.append(entry.name + QLatin1Char('=') + entry.value);
    return list;
}

// ---- The recipe ----

void applyRecipe(SqlConnection &connection, const ConnectionSettings &settings)
{
    DriverConfig &config = connection.config();
    config.connectionName = ConnectionRecipe::connectionName;
    config.driverName = ConnectionRecipe::driverName;
    config.driverFunction = ConnectionRecipe::driverFunction;
    config.driverLibrary = ConnectionRecipe::driverLibrary;
    config.vendorLibrary = ConnectionRecipe::vendorLibrary;
    config.loginPrompt = false;

    ConnectionParams &params = connection.params();
    params.clear();
    params.setValue(ConnectionRecipe::hostNameParam, settings.host);
    params.setValue(ConnectionRecipe::databaseParam, settings.database);
    params.setValue(ConnectionRecipe::userNameParam, settings.userName);
    params.setValue(ConnectionRecipe::passwordParam, settings.password);
}

// ---- Host values ----

namespace {

unsigned int parsePort(const QString &hostValue, QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    // toUInt accepts blanks and a sign around the digits; a port is digits only.
    bool digitsOnly = !text.isEmpty();
    for (QChar c : text)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!ok || !digitsOnly || port == 0 || port > 65535) {
        throw DbError(0,
                      QStringLiteral("The host \"%1\" has no valid port: a port is a number "
                                     "from 1 to 65535.")
                          .arg(hostValue));
    }
    return port;
}

} // namespace

HostAddress parseHostValue(const QString &value)
{
    HostAddress address;
    if (value.startsWith(QLatin1Char('/'))) {
        address.socket = value;
        return address;
    }
    if (value.startsWith(QLatin1Char('['))) {
        const qsizetype close = value.indexOf(QLatin1Char(']'));
        if (close > 0) {
            address.host = value.mid(1, close - 1);
            const QStringView rest = QStringView(value).mid(close + 1);
            if (rest.startsWith(QLatin1Char(':')))
                address.port = parsePort(value, rest.mid(1));
            else if (!rest.isEmpty())
                address.port = parsePort(value, rest);
            return address;
        }
    }
    const qsizetype colon = value.indexOf(QLatin1Char(':'));
    // Two or more colons make a plain IPv6 address, which has no port.
    if (colon < 0 || value.indexOf(QLatin1Char(':'), colon + 1) >= 0) {
        address.host = value;
        return address;
    }
    address.host = value.left(colon);
    address.port = parsePort(value, QStringView(value).mid(colon + 1));
    return address;
}
