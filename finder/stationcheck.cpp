#include "finder/stationcheck.h"

#include "common/groupthousands.h"
#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/processlist.h"
#include "db/sqlconnection.h"
#include "db/sqlquery.h"

#include <exception>

namespace {

const QString hourNumber = QStringLiteral("((year * 100 + month) * 100 + day) * 100 + hour");

QString hourText(std::int64_t yyyymmddhh)
{
    const std::int64_t hour = yyyymmddhh % 100;
    const std::int64_t day = yyyymmddhh / 100 % 100;
    const std::int64_t month = yyyymmddhh / 10000 % 100;
    const std::int64_t year = yyyymmddhh / 1000000;
    return QStringLiteral("%1-%2-%3 %4:00")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'))
        .arg(hour, 2, 10, QLatin1Char('0'));
}

std::int64_t integerField(const SqlResult &result, int field)
{
    return result.isNull(field) ? 0 : result.text(field).toLongLong();
}

} // namespace

QString stationCheckStatement(const QString &table, const QString &icao)
{
    QString quotedTable = table;
    quotedTable.replace(QLatin1Char('`'), QStringLiteral("``"));
    QString quotedId = icao;
    quotedId.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quotedId.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("SELECT COUNT(*), MIN(") + hourNumber + QStringLiteral("), MAX(")
        + hourNumber + QStringLiteral(") FROM `") + quotedTable + QStringLiteral("` WHERE icao = '")
        + quotedId + QStringLiteral("';");
}

StationCheckResult runStationCheck(const ConnectionSettings &settings, const QString &table,
                                   const QString &icao, StationCheckTicket &ticket)
{
    ClientThreadScope clientThread;
    StationCheckResult result;
    try {
        SqlConnection connection;
        applyRecipe(connection, settings);
        connection.open();
        if (!connection.connected()) {
            result.failed = true;
            return result;
        }
        // The id is told before the stop is looked at, so a stop that finds no id has come
        // before this look and no statement is sent.
        ticket.setServerId(connection.serverId());
        if (ticket.stopped()) {
            result.stopped = true;
            return result;
        }
        SqlResult rows = connection.query(stationCheckStatement(table, icao));
        if (!rows.eof()) {
            result.rows = integerField(rows, 0);
            result.first = integerField(rows, 1);
            result.last = integerField(rows, 2);
        }
        rows.close();
    } catch (const std::exception &) {
        result.failed = true;
    }
    if (ticket.stopped())
        return StationCheckResult {false, true};
    return result;
}

void killStationCheck(const ConnectionSettings &settings, std::uint64_t serverId)
{
    ClientThreadScope clientThread;
    try {
        SqlConnection connection;
        applyRecipe(connection, settings);
        connection.open();
        if (!connection.connected())
            return;
        SqlQuery query(&connection);
        const QString processId = workerProcessId(readProcessList(query), serverId);
        if (!processId.isEmpty())
            connection.execute(killStatement(processId));
    } catch (const std::exception &) { }
}

QString stationCheckText(const QString &icao, const QString &table,
                         const StationCheckResult &result)
{
    if (result.failed || result.stopped)
        return {};
    if (result.rows == 0)
        return table + QStringLiteral(" holds no rows for ") + icao + QLatin1Char('.');
    const QString rows = GroupThousands(QString::number(result.rows))
        + (result.rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
    return table + QStringLiteral(" holds ") + rows + QStringLiteral(" for ") + icao
        + QStringLiteral(", from ") + hourText(result.first) + QStringLiteral(" to ")
        + hourText(result.last) + QStringLiteral(" UTC.");
}
