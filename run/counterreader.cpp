#include "counterreader.h"

#include "backgroundthread.h"
#include "clientlibrary.h"
#include "connectionrecipe.h"
#include "progresstext.h"
#include "servercounters.h"
#include "sqlquery.h"

#include <exception>
#include <mutex>

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

struct CounterReader::Shared
{
    std::function<void(const CounterReading &)> deliver;
    mutable std::mutex mutex;
    bool out = false;
    bool closed = false;
};

CounterReader::CounterReader(std::function<void(const CounterReading &)> deliver)
    : shared(std::make_shared<Shared>())
{
    shared->deliver = std::move(deliver);
}

CounterReader::~CounterReader()
{
    const std::lock_guard lock(shared->mutex);
    shared->closed = true;
}

bool CounterReader::busy() const
{
    const std::lock_guard lock(shared->mutex);
    return shared->out;
}

bool CounterReader::read(const ConnectionSettings &settings, std::uint64_t runId)
{
    {
        const std::lock_guard lock(shared->mutex);
        if (shared->out)
            return false;
        shared->out = true;
    }
    try {
        startBackgroundThread(
            [settings, runId, shared = shared] { readAndDeliver(*shared, settings, runId); });
    } catch (...) {
        const std::lock_guard lock(shared->mutex);
        shared->out = false;
        throw;
    }
    return true;
}

void CounterReader::readAndDeliver(Shared &shared, const ConnectionSettings &settings,
                                   std::uint64_t runId)
{
    CounterReading reading;
    reading.runId = runId;
    {
        ClientThreadScope clientThread;
        reading.counter =
            readListingOnOwnConnection(settings, ServerCounters::statusStatement,
                                       ServerCounters::rowReadCounter, 1, reading.failed);
    }
    // The counter is read before the clock, so the time covers at least the rows counted.
    reading.nowDays = currentLocalDays();
    const std::lock_guard lock(shared.mutex);
    shared.out = false;
    if (!shared.closed)
        shared.deliver(reading);
}
