// The sample archive on one server and split by station across two backends behind a Spider
// front (scripts/spider.sh): what the program reads from the front against what it reads from
// the single server, through its own database layer.

#include "common/connectionsettings.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "tests/testserver.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

std::unique_ptr<SqlConnection> connect(const QString &socket)
{
    ConnectionSettings settings;
    settings.host = socket;
    auto connection = std::make_unique<SqlConnection>();
    applyRecipe(*connection, settings);
    connection->open();
    return connection;
}

// Every byte of every row, with the field and row boundaries and NULLs marked, as one digest.
struct Digest
{
    qint64 rows = 0;
    QByteArray hash;
};

Digest digestOf(SqlConnection &connection, const QString &statement)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    Digest digest;
    for (SqlResult rows = connection.query(statement); !rows.eof(); rows.next()) {
        for (int field = 0; field < rows.fieldCount(); ++field) {
            hash.addData(rows.isNull(field) ? QByteArrayView("\\N") : rows.value(field));
            hash.addData(QByteArrayView("\t"));
        }
        hash.addData(QByteArrayView("\n"));
        ++digest.rows;
    }
    digest.hash = hash.result();
    return digest;
}

class SplitArchive : public testing::Test
{
protected:
    void SetUp() override
    {
        const QString singleSocket = serverEnv("ORVEX_DB_SOCKET");
        const QString frontSocket = serverEnv("ORVEX_DB_SOCKET", "ORVEX_SPIDERDB_FRONT");
        if (singleSocket.isEmpty() || frontSocket.isEmpty())
            GTEST_SKIP() << "no test servers (run through ctest)";
        single = connect(singleSocket);
        front = connect(frontSocket);
    }

    std::unique_ptr<SqlConnection> single;
    std::unique_ptr<SqlConnection> front;
};

// Ordered results come back from the front byte for byte as from the single server: whole
// tables gathered from both backends, one station (sent to one backend whole) and a range of
// stations across both.
TEST_F(SplitArchive, OrderedResultsAreTheSameBytes)
{
    for (const char *statement :
         {"SELECT * FROM surfaceshort ORDER BY year, month, day, hour, id",
          "SELECT * FROM surface ORDER BY year DESC, month DESC, day DESC, hour DESC, id DESC",
          "SELECT * FROM upper ORDER BY year, month, day, hour, id",
          "SELECT * FROM surfaceshort WHERE icao = 'KSWF' AND year = 1995 AND month = 7 "
          "ORDER BY year, month, day, hour",
          "SELECT icao, year, month, day, hour, temp FROM surfaceshort WHERE icao >= 'KA' AND "
          "icao <= 'KZ' AND temp > 90 ORDER BY year, month, day, hour, icao"}) {
        SCOPED_TRACE(statement);
        const Digest one = digestOf(*single, QString::fromUtf8(statement));
        const Digest split = digestOf(*front, QString::fromUtf8(statement));
        EXPECT_GT(one.rows, 0);
        EXPECT_EQ(split.rows, one.rows);
        EXPECT_EQ(split.hash, one.hash);
    }
}

// The row-read counter that the progress line reads, and the row estimate it is measured against
// (the short surface table's Rows), as the fraction that the line shows at a run's end.
struct CounterGrowth
{
    double fractionOfEstimate = 0;
    qint64 rows = 0;
    qint64 estimate = 0;
};

qint64 rowReadCounter(SqlConnection &connection)
{
    SqlResult status =
        connection.query(QStringLiteral("SHOW GLOBAL STATUS LIKE 'Handler_read_rnd_next'"));
    return status.text(1).toLongLong();
}

CounterGrowth counterGrowth(SqlConnection &connection, const QString &statement)
{
    CounterGrowth growth;
    growth.estimate = connection.query(QStringLiteral("SHOW TABLE STATUS LIKE 'surfaceshort'"))
                          .text(4)
                          .toLongLong();
    const qint64 before = rowReadCounter(connection);
    growth.rows = digestOf(connection, statement).rows;
    growth.fractionOfEstimate =
        double(rowReadCounter(connection) - before) / double(std::max<qint64>(growth.estimate, 1));
    return growth;
}

// The progress line through the front: the front's counter grows by about two for each row that
// a backend sends it (it reads each one in, and again from where it gathered them), and not for
// the rows that a backend examines without sending. So a whole table read through the front ends
// near 200% where the single server ends near 100%, a statement whose condition the backends
// apply counts twice the rows it gives, and one station that goes to one backend whole counts
// nothing.
TEST_F(SplitArchive, ProgressCountsWhatTheBackendsSend)
{
    struct Case
    {
        const char *statement;
        double single; // the fraction that the single server shows
        double frontPerRow; // how much the front's counter grows for each row of the result
    };
    for (const Case &run :
         {Case {"SELECT * FROM surfaceshort ORDER BY year, month, day, hour", 1.0, 2.0},
          Case {"SELECT * FROM surfaceshort WHERE lat >= 40 AND lat <= 42 "
                "ORDER BY year, month, day, hour",
                1.0, 2.0},
          Case {"SELECT * FROM surfaceshort WHERE icao = 'KSWF' ORDER BY year, month, day, hour",
                0.0, 0.0}}) {
        SCOPED_TRACE(run.statement);
        const QString statement = QString::fromUtf8(run.statement);
        const CounterGrowth one = counterGrowth(*single, statement);
        const CounterGrowth split = counterGrowth(*front, statement);
        EXPECT_GT(one.rows, 0);
        EXPECT_NEAR(one.fractionOfEstimate, run.single, 0.15);
        const double frontExpected = run.frontPerRow * double(split.rows) / double(split.estimate);
        EXPECT_NEAR(split.fractionOfEstimate, frontExpected, 0.01 + frontExpected * 0.1);
    }
}

// DESCRIBE, which the parameter chooser reads, gives the same columns and types; only the key
// column differs, as the front's tables need the station in their primary key.
TEST_F(SplitArchive, DescribeDiffersOnlyInTheKeys)
{
    for (const char *table : {"surfaceshort", "surface", "upper"}) {
        SCOPED_TRACE(table);
        const QString statement = QStringLiteral("DESCRIBE %1").arg(QString::fromUtf8(table));
        SqlResult one = single->query(statement);
        SqlResult split = front->query(statement);
        int columns = 0;
        for (; !one.eof() && !split.eof(); one.next(), split.next(), ++columns) {
            for (const int field : {0, 1, 2, 4, 5}) // Field, Type, Null, Default, Extra
                EXPECT_EQ(split.text(field), one.text(field)) << "column " << columns;
            const QString name = one.text(0);
            if (name == QStringLiteral("id") || name == QStringLiteral("icao")) {
                EXPECT_EQ(split.text(3), QStringLiteral("PRI")) << qPrintable(name);
            }
        }
        EXPECT_TRUE(one.eof());
        EXPECT_TRUE(split.eof());
        EXPECT_GT(columns, 10);
    }
}

} // namespace
