// Results larger than the program's memory budget, through the window as a person runs them:
// millions of records from the server's sequence table stream into the grid and the log while
// the program's own memory stays within the budget, and every record reads back and saves; the
// disk running out part-way stops the run as a cancel does with every record read kept; a disk
// below its floor runs nothing; the clipboard refuses a text that free memory cannot hold.
#include "app/gridexport.h"
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/orvexapplication.h"
#include "common/connectionsettings.h"
#include "common/groupthousands.h"
#include "db/clientlibrary.h"
#include "store/memorybudget.h"
#include "store/resultfolder.h"
#include "tests/processlimits.h"
#include "tests/testserver.h"
#include "tests/windowtest.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <sys/resource.h>

namespace {

// Records 1 to count of the sequence, about 70 bytes each: record r holds r, a station name,
// an hour, a product and a text whose length varies.
QString sequenceStatement(long long count)
{
    return QStringLiteral("SELECT seq AS id, CONCAT('station-', seq % 1000) AS name, seq % 24 AS "
                          "hour, seq * 7 AS big, REPEAT('w', seq % 20) AS pad, seq % 97 AS a FROM "
                          "seq_1_to_%1")
        .arg(count);
}

QStringList recordOf(long long r)
{
    return {QString::number(r),
            QStringLiteral("station-%1").arg(r % 1000),
            QString::number(r % 24),
            QString::number(r * 7),
            QString(static_cast<qsizetype>(r % 20), QLatin1Char('w')),
            QString::number(r % 97)};
}

// The save dialog's answer: a path in a folder of the test's.
struct ChosenPath : SaveDialogSeam
{
    QString path;
    std::optional<QString> chooseSavePath() override { return path; }
};

} // namespace

class TestLargeResults : public WindowTest
{
    Q_OBJECT

private:
    QString gridRecord(int row) const
    {
        QStringList cells;
        for (int column = 0; column < 6; ++column)
            cells << form->gridModel->store().cellText(column, row);
        return cells.join(QLatin1Char('|'));
    }

    void submit(const QString &statement)
    {
        typeIntoMemo(statement);
        QTest::mouseClick(form->SubmitSQL, Qt::LeftButton);
    }

private slots:
    void initTestCase() { requireTestServer(); }
    void init() { openWindow(); }
    void cleanup()
    {
        MemoryBudget::setBytes(MemoryBudget::defaultBytes);
        ResultFolder::setFloor(0);
        OverrideAvailableMemory(0);
        closeWindow();
    }

    void aResultLargerThanTheBudgetStreamsWithinIt()
    {
        // 3,000,000 records of about 70 bytes: 200 MB against a budget of 40 MB.
        constexpr long long records = 3000000;
        const std::size_t budget = std::size_t(40) << 20;
        MemoryBudget::setBytes(budget);
        const qsizetype linesBefore = form->Memo1->lineCount();
        std::uint64_t idle = 0;
        std::uint64_t peak = 0;
        {
            idle = AnonymousMemoryBytes();
            AnonymousPeak anonymous;
            submit(sequenceStatement(records));
            QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 300000);
            peak = anonymous.bytes();
        }
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(form->gridModel->store().recordCount(), records);
        if (!addressSanitizer && idle > 0)
            QVERIFY2(peak - idle < budget,
                     qPrintable(
                         QStringLiteral("%1 MiB beyond the idle window").arg((peak - idle) >> 20)));

        for (const long long r : {1LL, records / 2, records})
            QCOMPARE(gridRecord(static_cast<int>(r)), recordOf(r).join(QLatin1Char('|')));
        // "Starting...", an echo line per record, "All done!".
        QCOMPARE(form->Memo1->lineCount() - linesBefore, records + 2);
        QCOMPARE(form->Memo1->line(form->Memo1->lineCount() - 2),
                 recordOf(records).mid(1).join(QLatin1Char(',')) + QLatin1Char(','));
        // A plot of so many points does not fit in the budget set.
        QVERIFY(!form->PlotButton->isEnabled());
        QVERIFY(form->PlotButton->toolTip().contains(QStringLiteral("3,000,000 records")));

        // The grid scrolled to its end shows the last record.
        QTest::mouseClick(form->StringGrid1->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::keyClick(form->StringGrid1, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(form->StringGrid1->currentIndex().row(), records - 1);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        auto dialog = std::make_unique<ChosenPath>();
        dialog->path = folder.filePath(QStringLiteral("large"));
        form->saveDialogs = std::move(dialog);
        QTest::mouseClick(form->SaveCSVButton, Qt::LeftButton);
        QFile saved(folder.filePath(QStringLiteral("large.csv")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        // The names, the records, and the grid's two empty columns after them.
        const QByteArray last = recordOf(records).join(QLatin1Char(',')).toUtf8() + ",,\r\n";
        QVERIFY(saved.seek(saved.size() - last.size()));
        QCOMPARE(saved.readAll(), last);
        QVERIFY(saved.seek(0));
        QCOMPARE(saved.readLine(), QByteArray("id,name,hour,big,pad,a,,\r\n"));
        QCOMPARE(messages.texts(), QStringList());
    }

    void aDiskRunningOutStopsTheRunAndKeepsItsRecords()
    {
        std::uint64_t worker = 0;
        QString message;
        {
            // The result's file may grow to 8 MB; the result would take 350.
            const FileSizeLimit limit(8 << 20);
            submit(sequenceStatement(5000000));
            QTRY_VERIFY_WITH_TIMEOUT(form->runController->workerServerId() != 0, 30000);
            worker = form->runController->workerServerId();
            QTRY_VERIFY_WITH_TIMEOUT(!messages.shown.isEmpty(), 60000);
            message = messages.shown.first().text;
        }
        const int kept = form->gridModel->store().recordCount();
        QVERIFY(kept > 10000);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown.first().kind, QStringLiteral("information"));
        const QString folder = ResultFolder::instance()->path();
        QCOMPARE(
            message,
            QStringLiteral("The disk that holds the temporary folder %1 is full. The query was "
                           "stopped; the %2 records read until then are kept.")
                .arg(folder, GroupThousands(QString::number(kept))));

        // Stopped as a cancel stops a run: its query killed after the pause, nothing more read.
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        const QStringList tail = logLines().mid(logLines().size() - 3);
        QCOMPARE(tail,
                 QStringList({QStringLiteral("Killing query %1...").arg(worker),
                              QStringLiteral("Killed query %1.").arg(worker),
                              QStringLiteral("Done...")}));
        QTRY_COMPARE_WITH_TIMEOUT(serverStatement(worker), QString(), 10000);
        QCOMPARE(form->gridModel->store().recordCount(), kept);
        QCOMPARE(gridRecord(kept), recordOf(kept).join(QLatin1Char('|')));

        // Every record kept can be saved once there is room again.
        QTemporaryDir saveFolder;
        auto dialog = std::make_unique<ChosenPath>();
        dialog->path = saveFolder.filePath(QStringLiteral("kept.csv"));
        form->saveDialogs = std::move(dialog);
        QTest::mouseClick(form->SaveCSVButton, Qt::LeftButton);
        QFile saved(saveFolder.filePath(QStringLiteral("kept.csv")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray last = recordOf(kept).join(QLatin1Char(',')).toUtf8() + ",,\r\n";
        QVERIFY(saved.seek(saved.size() - last.size()));
        QCOMPARE(saved.readAll(), last);
        QCOMPARE(messages.shown.size(), 1);
    }

    void aDiskBelowItsFloorRunsNothing()
    {
        // A floor above any disk's free space.
        ResultFolder::setFloor(std::uint64_t(1) << 62);
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!messages.shown.isEmpty(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY2(messages.shown.first().text.startsWith(
                     QStringLiteral("The disk that holds the temporary folder %1 has only ")
                         .arg(ResultFolder::instance()->path())),
                 qPrintable(messages.shown.first().text));
        QVERIFY(messages.shown.first().text.endsWith(
            QStringLiteral(" MB free, so the query was not run. Free some space on it and try "
                           "again.")));
        QCOMPARE(form->gridModel->store().recordCount(), 0);

        // With room again the same search runs.
        ResultFolder::setFloor(0);
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(form->gridModel->store().recordCount(), 48);
        QCOMPARE(messages.shown.size(), 1);
    }

    void theClipboardRefusesWhatFreeMemoryCannotHold_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Copy to clipboard (comma-delimited)") << QStringLiteral("comma");
        QTest::newRow("Copy to clipboard (space-delimited)") << QStringLiteral("space");
        QTest::newRow("Ctrl+A, Ctrl+C in the grid") << QStringLiteral("keys");
    }

    void theClipboardRefusesWhatFreeMemoryCannotHold()
    {
        QFETCH(QString, way);
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QCOMPARE(form->gridModel->store().recordCount(), 48);

        const auto copy = [&] {
            if (way == QStringLiteral("comma")) {
                QTest::mouseClick(form->ClipboardCSVButton, Qt::LeftButton);
            } else if (way == QStringLiteral("space")) {
                QTest::mouseClick(form->ClipboardSpaceButton, Qt::LeftButton);
            } else {
                QTest::mouseClick(form->StringGrid1->viewport(), Qt::LeftButton, {},
                                  QPoint(20, 20));
                QTest::keyClick(form->StringGrid1, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(form->StringGrid1, Qt::Key_C, Qt::ControlModifier);
            }
        };
        QGuiApplication::clipboard()->setText(QStringLiteral("held before"));
        // Memory for a few kilobytes only: the grid's text of 48 records does not fit.
        OverrideAvailableMemory(4096);
        copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("held before"));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown.first().kind, QStringLiteral("information"));
        const QString text = messages.shown.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The text for the clipboard would take ")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("than the 1 MB of memory free")));
        QVERIFY(text.endsWith(
            QStringLiteral("Use \"Save to CSV...\" to write the grid to a file instead.")));

        // With the memory there, the same copy goes through.
        OverrideAvailableMemory(0);
        copy();
        QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("KSWF")));
        QCOMPARE(messages.shown.size(), 1);
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestLargeResults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_largeresults.moc"
