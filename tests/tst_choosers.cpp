// The table and parameter choosers driven as a person drives them: keys typed one at a time,
// picks from the popup list, the focus leaving by a click. The column lookups they run are
// counted on the test server, whose general query log records every statement it is sent.
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "db/clientlibrary.h"
#include "db/connectionrecipe.h"
#include "db/sqlconnection.h"
#include "settings/orvexdbcfg.h"
#include "tests/personactions.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"
#include "tests/testserver.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString notRunning =
    QStringLiteral("The MYSQL service is not running, or the connection settings are incorrect.");

// The tables of the column lookups ("DESCRIBE " and the table) that the server was sent since
// the log was last emptied, in order. The server logs a statement without its closing ";".
QStringList tablesLookedUp()
{
    SqlConnection connection;
    applyRecipe(connection, ConnectionSettings());
    connection.open();
    SqlResult rows = connection.query(
        QStringLiteral("SELECT argument FROM mysql.general_log WHERE command_type = 'Query' AND "
                       "argument LIKE 'DESCRIBE %';"));
    QStringList statements;
    for (; !rows.eof(); rows.next())
        statements << rows.text(0).mid(9);
    return statements;
}

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QStringList repeated(const char *text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << QString::fromUtf8(text);
    return list;
}

} // namespace

class TestChoosers : public QObject
{
    Q_OBJECT

private:
    ScriptedMessages messages;
    std::unique_ptr<TForm1> form;

private slots:
    void initTestCase()
    {
        installPlatformNoticeFilter();
        QVERIFY2(!qEnvironmentVariableIsEmpty("MYSQL_UNIX_PORT"),
                 "run through ctest, which starts the test server");
        runOnServer({QStringLiteral("SET GLOBAL log_output = 'TABLE'"),
                     QStringLiteral("SET GLOBAL general_log = 1")});
    }

    void cleanupTestCase() { runOnServer({QStringLiteral("SET GLOBAL general_log = 0")}); }

    void init()
    {
        runOnServer({QStringLiteral("TRUNCATE TABLE mysql.general_log")});
        messages = ScriptedMessages();
        form = std::make_unique<TForm1>(messages);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_VERIFY(form->isActiveWindow());
    }

    void cleanup()
    {
        QCOMPARE(messages.unscripted, 0);
        form.reset();
    }

    // One lookup for each pick and for each key typed or deleted, always of the text the
    // chooser then shows: a half-typed name is completed in the same edit, in its own letter
    // case only. The focus leaving for a button changes nothing and looks nothing up.
    void tableChooserLooksUpOncePerAction_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("lookups");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("order");
        const QString byHour = QStringLiteral("year,month,day,hour");
        QTest::newRow("pick of the entry shown at start")
            << strings({"pickClick:surfaceshort"}) << strings({"surfaceshort"}) << 0
            << QStringLiteral("surfaceshort") << byHour;
        QTest::newRow("the same entry picked twice, by F4 and by Alt+Down")
            << strings({"pickF4:upper", "pickAltDown:upper"}) << repeated("upper", 2) << 0
            << QStringLiteral("upper") << byHour;
        QTest::newRow("typed, completed at the first key")
            << strings({"type:upper"}) << repeated("upper", 5) << 0 << QStringLiteral("upper")
            << byHour;
        // "surface" is completed to the first entry that begins with it; Delete takes the
        // completion away without completing again.
        QTest::newRow("completion deleted")
            << strings({"type:surface", "key:Delete"})
            << repeated("surfaceshort", 7) + strings({"surface"}) << 0 << QStringLiteral("surface")
            << QStringLiteral("exactyear,exactmonth,exactday,exacthour,exactminute");
        QTest::newRow("Backspace after a completion")
            << strings({"type:up", "key:Backspace"}) << repeated("upper", 2) + strings({"up"}) << 1
            << QStringLiteral("up") << byHour;
        // No table begins with a capital letter: nothing completes and nothing is rewritten.
        QTest::newRow("other letter case")
            << strings({"type:Surface"})
            << strings({"S", "Su", "Sur", "Surf", "Surfa", "Surfac", "Surface"}) << 7
            << QStringLiteral("Surface") << byHour;
    }

    void tableChooserLooksUpOncePerAction()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, lookups);
        QFETCH(int, failures);
        QFETCH(QString, shown);
        QFETCH(QString, order);
        QCOMPARE(actOnChooser(form->OrvexTable, steps), QStringList());
        QCOMPARE(form->OrvexTable->currentText(), shown);
        QCOMPARE(tablesLookedUp(), lookups);
        QCOMPARE(messages.texts(), repeated(qPrintable(notRunning), failures));

        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        QCOMPARE(form->OrvexTable->currentText(), shown);
        QCOMPARE(form->SQLEdit->toPlainText(),
                 QStringLiteral("SELECT * FROM ") + shown
                     + QStringLiteral(" WHERE ((year >= 1995) and (year <= 1995)) AND ((month >= "
                                      "07) and (month <= 07)) AND ((day >= 15) and (day <= 16)) "
                                      "AND (icao = 'KSWF') ORDER BY ")
                     + order + QStringLiteral(" ASC;"));
        QCOMPARE(tablesLookedUp(), lookups);
        QCOMPARE(messages.shown.size(), failures);
    }

    // A lookup that fails leaves no connection behind: the next one reaches the database the
    // user chose meanwhile in the settings dialog.
    void failedLookupLetsTheNextReachNewSettings()
    {
        runOnServer({QStringLiteral("DROP DATABASE IF EXISTS orvex_other"),
                     QStringLiteral("CREATE DATABASE orvex_other"),
                     QStringLiteral("CREATE TABLE orvex_other.x (alpha INT, beta CHAR(2))")});
        auto *settings = new TOrvexSettingsForm(messages, form.get());
        form->setSettingsWindow(settings);

        // The sample database has no table "x".
        QCOMPARE(actOnChooser(form->OrvexTable, strings({"type:x"})), QStringList());
        QCOMPARE(messages.texts(), QStringList {notRunning});
        QCOMPARE(form->ParamCombo->count(), 0);

        QTimer::singleShot(0, settings, [settings] {
            QVERIFY(settings->isVisible());
            retype(settings->CfgDatabase, QStringLiteral("orvex_other"));
            QTest::mouseClick(settings->CloseButton, Qt::LeftButton);
        });
        QTest::mouseClick(form->ConfigureConnectionButton, Qt::LeftButton);
        QCOMPARE(form->connectionSettings.database, QStringLiteral("orvex_other"));

        QCOMPARE(actOnChooser(form->OrvexTable, strings({"type:x"})), QStringList());
        QCOMPARE(messages.texts(), QStringList {notRunning});
        QCOMPARE(form->ParamCombo->count(), 2);
        QCOMPARE(form->ParamCombo->itemText(0), QStringLiteral("alpha"));
        QCOMPARE(form->ParamCombo->itemText(1), QStringLiteral("beta"));
        QCOMPARE(form->VarTypes->itemText(1), QStringLiteral("char(2)"));
        runOnServer({QStringLiteral("DROP DATABASE orvex_other")});
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestChoosers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_choosers.moc"
