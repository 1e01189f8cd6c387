// The progress ticks' counter readings, made on threads of their own, against the private test
// server and against a socket that never answers (a server that hangs).

#include "backgroundthread.h"
#include "clientlibraryenvironment.h"
#include "counterreader.h"
#include "progresstext.h"
#include "silentsocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The readings a reader handed over, in order.
class Deliveries
{
public:
    std::function<void(const CounterReading &)> sink()
    {
        return [this](const CounterReading &reading) {
            const std::lock_guard lock(mutex);
            readings.push_back(reading);
            arrived.notify_all();
        };
    }

    // Waits until count readings have arrived; false after 20 s.
    bool waitFor(size_t count)
    {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(20),
                                [&] { return readings.size() >= count; });
    }

    std::vector<CounterReading> taken()
    {
        const std::lock_guard lock(mutex);
        return readings;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<CounterReading> readings;
};

// Waits until no background thread is left; false after 20 s.
bool threadsEnded()
{
    for (int i = 0; i < 2000; ++i) {
        if (backgroundThreadsRunning() == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

ConnectionSettings withHost(const QString &host)
{
    ConnectionSettings settings;
    settings.host = host;
    return settings;
}

} // namespace

TEST(CounterReader, ReadsTheServersCounterThenTheClock)
{
    Deliveries deliveries;
    CounterReader reader(deliveries.sink());
    const double before = currentLocalDays();
    ASSERT_TRUE(reader.read(ConnectionSettings {}, 7));
    ASSERT_TRUE(deliveries.waitFor(1));
    const CounterReading reading = deliveries.taken().at(0);
    EXPECT_EQ(reading.runId, 7u);
    EXPECT_FALSE(reading.failed);
    EXPECT_GT(reading.counter, 0);
    EXPECT_GE(reading.nowDays, before);
    EXPECT_LE(reading.nowDays, currentLocalDays());
    EXPECT_FALSE(reader.busy());

    // Once back, the next reading starts.
    ASSERT_TRUE(reader.read(ConnectionSettings {}, 8));
    ASSERT_TRUE(deliveries.waitFor(2));
    EXPECT_EQ(deliveries.taken().at(1).runId, 8u);
    EXPECT_GE(deliveries.taken().at(1).counter, reading.counter);
    EXPECT_TRUE(threadsEnded());
}

// A server that cannot be reached gives a failed reading, never an exception on the window's
// side; each row is a different way of not getting there.
TEST(CounterReader, UnreachableServerGivesAFailedReading)
{
    ConnectionSettings wrongPassword;
    wrongPassword.password = QStringLiteral("wrong");
    ConnectionSettings unknownDatabase;
    unknownDatabase.database = QStringLiteral("no_such_database");
    for (const ConnectionSettings &settings :
         {withHost(QStringLiteral("/nonexistent/orvex/mysqld.sock")), wrongPassword,
          unknownDatabase}) {
        SCOPED_TRACE(settings.host.toStdString() + " " + settings.password.toStdString() + " "
                     + settings.database.toStdString());
        Deliveries deliveries;
        CounterReader reader(deliveries.sink());
        ASSERT_TRUE(reader.read(settings, 3));
        ASSERT_TRUE(deliveries.waitFor(1));
        const CounterReading reading = deliveries.taken().at(0);
        EXPECT_TRUE(reading.failed);
        EXPECT_EQ(reading.counter, 0);
        EXPECT_EQ(reading.runId, 3u);
        EXPECT_GT(reading.nowDays, 0);
    }
    EXPECT_TRUE(threadsEnded());
}

// While a reading hangs on a silent server, further ticks start nothing; the reading comes back
// failed once the server goes away, and the next one starts again.
TEST(CounterReader, OneReadingOutAtATime)
{
    SilentSocket server;
    ASSERT_TRUE(server.listening());
    Deliveries deliveries;
    CounterReader reader(deliveries.sink());
    ASSERT_TRUE(reader.read(withHost(server.host()), 1));
    EXPECT_TRUE(reader.busy());
    for (std::uint64_t runId = 2; runId < 5; ++runId)
        EXPECT_FALSE(reader.read(withHost(server.host()), runId));
    EXPECT_EQ(backgroundThreadsRunning(), 1);

    server.close();
    ASSERT_TRUE(deliveries.waitFor(1));
    ASSERT_TRUE(threadsEnded());
    ASSERT_EQ(deliveries.taken().size(), 1u);
    EXPECT_EQ(deliveries.taken().at(0).runId, 1u);
    EXPECT_TRUE(deliveries.taken().at(0).failed);

    EXPECT_TRUE(reader.read(ConnectionSettings {}, 5));
    ASSERT_TRUE(deliveries.waitFor(2));
    EXPECT_FALSE(deliveries.taken().at(1).failed);
    EXPECT_TRUE(threadsEnded());
}

// A reader that is gone (its window closed) is not waited for, and its reading still out
// hands nothing over when it comes back.
TEST(CounterReader, ReadingOfAReaderThatIsGoneIsDropped)
{
    SilentSocket server;
    ASSERT_TRUE(server.listening());
    Deliveries deliveries;
    auto reader = std::make_unique<CounterReader>(deliveries.sink());
    ASSERT_TRUE(reader->read(withHost(server.host()), 1));
    reader.reset();
    EXPECT_EQ(backgroundThreadsRunning(), 1);
    server.close();
    ASSERT_TRUE(threadsEnded());
    EXPECT_TRUE(deliveries.taken().empty());
}
