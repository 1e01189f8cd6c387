#include "db/statusconnection.h"

#include "db/connectionrecipe.h"
#include "db/processlist.h"

#include <exception>

bool StatusConnection::open(const ConnectionSettings &settings)
{
    SQLQueryStatus.setConnection(&SQLConnectionStatus);
    applyRecipe(SQLConnectionStatus, settings);
    SQLConnectionStatus.open();
    return SQLConnectionStatus.connected();
}

template<typename Use>
auto StatusConnection::withOpenConnection(const ConnectionSettings &settings, Use use)
{
    try {
        auto result = use(open(settings));
        SQLConnectionStatus.close();
        return result;
    } catch (const std::exception &) {
        SQLConnectionStatus.close();
        throw;
    }
}

StatusConnection::Columns StatusConnection::describe(const ConnectionSettings &settings,
                                                     const QString &table)
{
    return withOpenConnection(settings, [&](bool connected) {
        Columns columns;
        if (!connected)
            return columns;
        SQLQueryStatus.setSql(QStringLiteral("DESCRIBE ") + table + QLatin1Char(';'));
        SQLQueryStatus.open();
        for (; !SQLQueryStatus.eof(); SQLQueryStatus.next()) {
            columns.names << SQLQueryStatus.text(0);
            columns.types << SQLQueryStatus.text(1);
        }
        SQLQueryStatus.close();
        return columns;
    });
}

QList<QStringList> StatusConnection::processList(const ConnectionSettings &settings)
{
    return withOpenConnection(settings, [&](bool connected) {
        return connected ? readProcessList(SQLQueryStatus) : QList<QStringList>();
    });
}

void StatusConnection::kill(const ConnectionSettings &settings, const QString &processId)
{
    withOpenConnection(settings, [&](bool) {
        SQLQueryStatus.setSql(killStatement(processId));
        return SQLQueryStatus.execSql();
    });
}
