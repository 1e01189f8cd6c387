#pragma once

#include "common/connectionsettings.h"
#include "db/sqlconnection.h"
#include "db/sqlquery.h"

#include <QList>
#include <QString>
#include <QStringList>

// The window's thread's own connection to the server, for the parameter column lookup and for
// the cancel's process list and kill. Each use binds the statement to the connection, configures
// it by the recipe from the settings it is given, opens it, does its work and closes it again.
// A use that fails closes it too before it throws: an open connection is not opened again, so
// one left open would take the next use to the old host and database after the user changed
// them.
class StatusConnection
{
public:
    // A table's columns, as "DESCRIBE" lists them: names and types, one each per column.
    struct Columns
    {
        QStringList names;
        QStringList types;
    };

    // "DESCRIBE <table>;". Throws DbError when the server cannot be reached or refuses it.
    Columns describe(const ConnectionSettings &settings, const QString &table);
    // The rows of "SHOW PROCESSLIST;" (see readProcessList). Throws DbError.
    QList<QStringList> processList(const ConnectionSettings &settings);
    // "KILL QUERY <id>;". Throws DbError.
    void kill(const ConnectionSettings &settings, const QString &processId);

    SqlConnection SQLConnectionStatus;
    SqlQuery SQLQueryStatus {&SQLConnectionStatus};

private:
    // Binds the statement, applies the recipe and opens; whether it is connected.
    bool open(const ConnectionSettings &settings);
    // Runs use on the open connection and closes it afterwards, also when use throws.
    template<typename Use> auto withOpenConnection(const ConnectionSettings &settings, Use use);
};
