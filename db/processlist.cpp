#include "db/processlist.h"

#include "db/sqlquery.h"

bool isWorkerProcess(const QString &id, const QString &statement, std::uint64_t workerServerId)
{
    return workerServerId != 0 && !statement.isEmpty() && id == QString::number(workerServerId);
}

QString workerProcessId(const QList<QStringList> &rows, std::uint64_t workerServerId)
{
    QString processId;
    for (const QStringList &row : rows) {
        if (row.size() <= ProcessListColumns::statement)
            continue;
        const QString &id = row.at(ProcessListColumns::id);
        if (isWorkerProcess(id, row.at(ProcessListColumns::statement), workerServerId))
            processId = id;
    }
    return processId;
}

QString killStatement(const QString &processId)
{
    return QStringLiteral("KILL QUERY ") + processId + QLatin1Char(';');
}

QList<QStringList> readProcessList(SqlQuery &query)
{
    query.setSql(ProcessList::statement);
    query.open();
    QList<QStringList> rows;
    for (; !query.eof(); query.next()) {
        QStringList row;
        for (int field = 0; field < query.fieldCount(); ++field)
            row << query.text(field);
        rows << row;
    }
    query.close();
    return rows;
}
