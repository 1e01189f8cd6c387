#include "run/serverreading.h"

#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/sqlquery.h"
#include "run/progresstext.h"
#include "run/servercounters.h"

#include <exception>

std::int64_t readListingValue(SqlQuery &query, std::string_view statement, std::string_view key,
                              int valueColumn)
{
    QByteArray value;
    query.setSql(QString::fromUtf8(statement.data(), qsizetype(statement.size())));
    query.open();
    const QByteArrayView wanted(key.data(), qsizetype(key.size()));
    for (; !query.eof(); query.next()) {
        if (query.value(0).contains(wanted))
            value = query.value(valueColumn).toByteArray();
    }
    query.close();
    return parseServerInteger(std::string_view(value.constData(), size_t(value.size())));
}

std::int64_t readListingOnOwnConnection(const ConnectionSettings &settings,
                                        std::string_view statement, std::string_view key,
                                        int valueColumn, bool &failed)
{
    failed = false;
    try {
        SqlConnection connection;
        SqlQuery query(&connection);
        applyRecipe(connection, settings);
        connection.open();
        std::int64_t value = 0;
        if (connection.connected())
            value = readListingValue(query, statement, key, valueColumn);
        connection.close();
        return value;
    } catch (const std::exception &) {
        failed = true;
        return 0;
    }
}

ServerReading readServerListing(const ConnectionSettings &settings, std::string_view statement,
                                std::string_view key, int valueColumn)
{
    ServerReading reading;
    {
        ClientThreadScope clientThread;
        reading.value =
            readListingOnOwnConnection(settings, statement, key, valueColumn, reading.failed);
    }
    reading.nowDays = currentLocalDays();
    return reading;
}
