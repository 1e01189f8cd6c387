#include "query/statementbuilder.h"

#include "common/messageseam.h"

#include <QStringList>

namespace {

// Station identifiers are told apart by length: 3 characters FAA, 4 ICAO, 5 WMO. The length
// is counted in characters, not UTF-16 units.
QString stationColumn(const QString &identifier)
{
    switch (identifier.toUcs4().size()) {
    case 3:
        return QStringLiteral("faa");
    case 4:
        return QStringLiteral("icao");
    case 5:
        return QStringLiteral("wmo");
    default:
        return {};
    }
}

QString rangeCondition(const QString &column, const QString &lo, const QString &hi)
{
    return QLatin1String("((") + column + QLatin1String(" >= ") + lo + QLatin1String(") and (")
        + column + QLatin1String(" <= ") + hi + QLatin1String("))");
}

struct DatePair
{
    const char *column;
    const QString &lo;
    const QString &hi;
};

// Removes characters with codes up to 32 from both ends, as the statement's final tidy-up.
QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

int dateRangeChangeCount(const SearchConstraints &c)
{
    const DatePair pairs[] = {{"year", c.yearLo, c.yearHi},
                              {"month", c.monthLo, c.monthHi},
                              {"day", c.dayLo, c.dayHi},
                              {"hour", c.hourLo, c.hourHi}};
    int count = 0;
    for (const DatePair &pair : pairs) {
        if (pair.lo.isEmpty() || pair.hi.isEmpty())
            continue;
        if (pair.lo != pair.hi || count > 0)
            ++count;
    }
    return count;
}

QString parameterValueQuote(const QString &columnType)
{
    return columnType.contains(QLatin1String("char"), Qt::CaseSensitive) ? QStringLiteral("'")
                                                                         : QString();
}

QString buildStatement(const SearchConstraints &c, MessageSeam &messages)
{
    QStringList conditions;
    bool cancelled = false;

    if (c.dateEquals) {
        const std::pair<const char *, const QString &> fields[] = {
            {"year", c.yearEq}, {"month", c.monthEq}, {"day", c.dayEq}, {"hour", c.hourEq}};
        for (const auto &[column, value] : fields) {
            if (!value.isEmpty())
                conditions << QLatin1String("(") + QLatin1String(column) + QLatin1String(" = ")
                        + value + QLatin1String(")");
        }
    }

    if (c.dateRange) {
        const DatePair pairs[] = {{"year", c.yearLo, c.yearHi},
                                  {"month", c.monthLo, c.monthHi},
                                  {"day", c.dayLo, c.dayHi},
                                  {"hour", c.hourLo, c.hourHi}};
        for (const DatePair &pair : pairs) {
            if (!pair.lo.isEmpty() && !pair.hi.isEmpty())
                conditions << rangeCondition(QLatin1String(pair.column), pair.lo, pair.hi);
        }
        if (dateRangeChangeCount(c) >= 2 && !messages.warning(StatementTexts::multipleDateRanges))
            cancelled = true;
    }

    if (c.stationEquals) {
        const QString column = stationColumn(c.station);
        if (!column.isEmpty())
            conditions << QLatin1String("(") + column + QLatin1String(" = '") + c.station
                    + QLatin1String("')");
    }
    if (c.stationRange) {
        // Only the low end decides the identifier kind; the high end may have any length.
        const QString column = stationColumn(c.stationLo);
        if (!column.isEmpty())
            conditions << QLatin1String("((") + column + QLatin1String(" >= '") + c.stationLo
                    + QLatin1String("') AND (") + column + QLatin1String(" <= '") + c.stationHi
                    + QLatin1String("'))");
    }
    if (c.latRange)
        conditions << rangeCondition(QStringLiteral("lat"), c.latLo, c.latHi);
    if (c.lonRange)
        conditions << rangeCondition(QStringLiteral("lon"), c.lonLo, c.lonHi);

    const QString quote = parameterValueQuote(c.paramType);
    if (c.paramEquals)
        conditions << QLatin1String("(") + c.paramColumn + QLatin1String(" = ") + quote + c.paramEq
                + quote + QLatin1String(")");
    if (c.paramRange)
        conditions << QLatin1String("(") + c.paramColumn + QLatin1String(" >= ") + quote + c.paramLo
                + quote + QLatin1String(") AND (") + c.paramColumn + QLatin1String(" <= ") + quote
                + c.paramHi + quote + QLatin1String(")");

    // Only the date and parameter switches bound the amount of data; station, latitude and
    // longitude alone may still select years of observations.
    if (!c.dateEquals && !c.dateRange && !c.paramEquals && !c.paramRange
        && !messages.warning(StatementTexts::tooMuchData))
        cancelled = true;

    QString statement = QLatin1String("SELECT * FROM ") + c.table + QLatin1String(" WHERE ");
    if (!conditions.isEmpty())
        statement += conditions.join(QLatin1String(" AND ")) + QLatin1Char(' ');
    if (c.orderByDateTime) {
        const QStringList columns = c.table == QLatin1String("surface")
            ? QStringList {QStringLiteral("exactyear"), QStringLiteral("exactmonth"),
                           QStringLiteral("exactday"), QStringLiteral("exacthour"),
                           QStringLiteral("exactminute")}
            : QStringList {QStringLiteral("year"), QStringLiteral("month"), QStringLiteral("day"),
                           QStringLiteral("hour")};
        // Ascending is the columns' default direction, so one ASC at the end reads the same as
        // one after each. Descending must be said of every column: a DESC after the last alone
        // would sort only the hours (or minutes) backwards within ascending days.
        statement += QLatin1String("ORDER BY ");
        if (c.ascending)
            statement += columns.join(QLatin1Char(',')) + QLatin1String(" ASC");
        else
            statement += columns.join(QLatin1String(" DESC,")) + QLatin1String(" DESC");
    }
    statement = trimControls(statement) + QLatin1Char(';');

    if (conditions.isEmpty()) {
        cancelled = true;
        messages.information(StatementTexts::noParameters);
    }
    return cancelled ? QString() : statement;
}
