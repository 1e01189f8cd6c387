#pragma once

// Statements run on the test server as root, outside the program under test.

#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace {

// A value of the env file that a test server's start script writes in the server's folder
// (ORVEX_DB_PORT, ...).
[[maybe_unused]] QString serverEnvIn(const QString &folder, const char *key)
{
    QFile file(folder + QStringLiteral("/env"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray prefix = QByteArray(key) + '=';
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith(prefix))
            return QString::fromLocal8Bit(line.mid(prefix.size()));
    }
    return QString();
}

// The same, for the server whose folder is in the environment variable named, the suite's own
// server by default.
[[maybe_unused]] QString serverEnv(const char *key, const char *folderVariable = "ORVEX_TESTDB_DIR")
{
    return serverEnvIn(QString::fromLocal8Bit(qgetenv(folderVariable)), key);
}

[[maybe_unused]] void runOnServer(const QStringList &statements)
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings());
    connection.open();
    for (const QString &statement : statements)
        connection.execute(statement);
}

// The statement the server runs for a connection, empty when it runs none or is gone.
[[maybe_unused]] QString serverStatement(std::uint64_t connectionId)
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings());
    connection.open();
    SqlResult list = connection.query(QStringLiteral("SHOW PROCESSLIST;"));
    QString statement;
    for (; !list.eof(); list.next()) {
        if (list.text(0) == QString::number(connectionId))
            statement = list.text(7);
    }
    return statement;
}

// A user of the sample database who may only read it, made afresh; the settings that connect as
// that user. Dropping the user later makes every new connection of the run fail while the ones
// already open go on.
[[maybe_unused]] ConnectionSettings makeReadingUser(const QString &name, const QString &password)
{
    const QString user = QStringLiteral("'") + name + QStringLiteral("'@'localhost'");
    runOnServer({QStringLiteral("DROP USER IF EXISTS ") + user,
                 QStringLiteral("CREATE USER ") + user + QStringLiteral(" IDENTIFIED BY '")
                     + password + QLatin1Char('\''),
                 QStringLiteral("GRANT SELECT ON orvex.* TO ") + user});
    ConnectionSettings settings;
    settings.userName = name;
    settings.password = password;
    return settings;
}

} // namespace
