// The main window and the help window on the offscreen platform, driven through their
// named controls.
#include "app/gridview.h"
#include "app/logview.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "app/qtmessageseam.h"
#include "db/clientlibrary.h"
#include "help/orvexdbdocs.h"
#include "tests/personactions.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

const QString workedExample = QStringLiteral(
    "SELECT * FROM surfaceshort WHERE ((year >= 1995) and (year <= 1995)) AND ((month >= 07) "
    "and (month <= 07)) AND ((day >= 15) and (day <= 16)) AND (icao = 'KSWF') ORDER BY "
    "year,month,day,hour ASC;");

// A control whose handler fails, as a handler of the program would on an unexpected error.
class FailingButton : public QPushButton
{
public:
    using QPushButton::QPushButton;
    int clicks = 0;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QPushButton::mouseReleaseEvent(event);
        if (++clicks == 1)
            throw std::runtime_error("Access violation at address 0000");
    }
};

// A list of texts written as plain literals.
QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    ScriptedMessages messages;
    std::unique_ptr<TForm1> form;
    TOrvexNavigatorDocForm *help = nullptr;

    template<typename T> T *control(const char *name)
    {
        T *w = form->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no control %s", name);
        return w;
    }

private slots:
    void initTestCase() { installPlatformNoticeFilter(); }

    void init()
    {
        messages = ScriptedMessages();
        form = std::make_unique<TForm1>(messages);
        help = new TOrvexNavigatorDocForm(form.get());
        form->setHelpWindow(help);
        // No server answers here: a run these tests start fails at once, the same way each time.
        form->connectionSettings.host = QStringLiteral("/nonexistent/orvex/mysqld.sock");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup()
    {
        QTRY_VERIFY(!form->runInProgress());
        QCOMPARE(messages.unscripted, 0);
        form.reset();
    }

    void controlsAtDesignedPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");

        auto row = [](const char *name, const char *text, QRect r, bool checked = false,
                      bool enabled = true) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << r
                                << checked << enabled;
        };
        row("DatabaseHelp", "Help", {28, 32, 75, 25});
        row("ConfigureConnectionButton", "Configure connection...", {112, 32, 133, 25});
        row("OrvexTable", "surfaceshort", {500, 34, 169, 21});
        row("DateEqCheck", "Equals", {164, 72, 57, 17});
        row("YrEq", "2012", {228, 70, 33, 21});
        row("MoEq", "11", {268, 70, 21, 21});
        row("DaEq", "01", {296, 70, 21, 21});
        row("HoEq", "12", {328, 70, 21, 21});
        row("DateRangeCheck", "Range", {372, 72, 57, 17}, true);
        row("YrLo", "1995", {432, 70, 33, 21});
        row("MoLo", "07", {472, 70, 21, 21});
        row("DaLo", "15", {500, 70, 21, 21});
        row("HoLo", "", {532, 70, 21, 21});
        row("YrHi", "1995", {584, 70, 33, 21});
        row("MoHi", "07", {624, 70, 21, 21});
        row("DaHi", "16", {652, 70, 21, 21});
        row("HoHi", "", {684, 70, 21, 21});
        row("StnEqCheck", "Equals", {164, 108, 57, 17}, true);
        row("StnEq", "KSWF", {228, 106, 121, 21});
        row("StnRangeCheck", "Range", {372, 108, 61, 17});
        row("StnLo", "KLAA", {432, 106, 120, 21});
        row("StnHi", "KLZZ", {584, 106, 120, 21});
        row("LatRangeCheck", "Range", {372, 144, 57, 17});
        row("LatLo", "34.2", {432, 142, 120, 21});
        row("LatHi", "38.5", {584, 142, 120, 21});
        row("LonRangeCheck", "Range", {372, 180, 57, 17});
        row("LonLo", "-117.0", {432, 178, 120, 21});
        row("LonHi", "-114.5", {584, 178, 120, 21});
        row("ParamCombo", "select a table first", {32, 214, 125, 21});
        row("ParamEqCheck", "Equals", {164, 216, 57, 17});
        row("ParamEq", "1/1/2012", {228, 214, 121, 21});
        row("ParamRangeCheck", "Range", {372, 216, 57, 17});
        row("ParamLo", "85", {432, 214, 120, 21});
        row("ParamHi", "93", {584, 214, 120, 21});
        row("GenerateSQLButton", "Generate SQL (don't query database)", {28, 248, 185, 25});
        row("SubmitSQL", "Submit SQL query (advanced users)", {28, 280, 189, 25});
        row("OrderByDateTime", "Order by date and time", {244, 248, 169, 17}, true);
        row("AscendingOrder", "Ascending", {244, 268, 97, 17}, true);
        row("SearchButton", "&Search", {420, 264, 129, 37});
        row("CancelButton", "&Cancel", {548, 264, 77, 37}, false, false);
        row("ExitButton", "E&xit", {624, 264, 81, 37});
        row("Memo1", "", {764, 28, 497, 197});
        row("SQLEdit", "", {768, 244, 493, 73});
        row("Bevel1", "", {16, 8, 737, 309});
        row("Bevel7", "", {20, 28, 721, 33});
        row("Bevel6", "", {20, 64, 717, 33});
        row("Bevel5", "", {20, 100, 717, 33});
        row("Bevel2", "", {20, 136, 717, 33});
        row("Bevel3", "", {20, 172, 717, 33});
        row("Bevel4", "", {20, 208, 717, 33});
        // Status panel: counted from the panel's own corner.
        row("ProgressBar1", "", {28, 12, 609, 16});
        row("ClipboardCSVButton", "Copy to clipboard (comma-delimited)", {916, 4, 255, 25});
        row("ClipboardSpaceButton", "Copy to clipboard (space-delimited)", {916, 28, 255, 25});
        row("SaveCSVButton", "Save to CSV...", {1172, 4, 95, 25});
    }

    void controlsAtDesignedPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);

        QWidget *w = form->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(w->isEnabled(), enabled);
        QVERIFY(w->isVisible());
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            QCOMPARE(b->text(), text);
            QCOMPARE(b->isChecked(), checked);
        } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            QCOMPARE(e->text(), text);
        } else if (auto *c = qobject_cast<QComboBox *>(w)) {
            QCOMPARE(c->currentText(), text);
            QVERIFY(c->isEditable());
        } else if (auto *m = qobject_cast<QPlainTextEdit *>(w)) {
            QCOMPARE(m->toPlainText(), text);
        }
    }

    void labelsAtDesignedPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("topLeft");
        auto row = [](const char *name, const char *text, QPoint p) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << p;
        };
        row("Label13", "Search constraints", {24, 12});
        row("Label4", "Choose the database table", {356, 38});
        row("Label6", "Date (UTC)", {32, 72});
        row("Label14", "-", {262, 72});
        row("Label15", "-", {291, 72});
        row("Label16", "-", {466, 72});
        row("Label17", "-", {495, 72});
        row("Label19", "to", {564, 74});
        row("Label21", "-", {618, 72});
        row("Label20", "-", {646, 72});
        row("Label5", "Station", {32, 108});
        row("Label2", "to", {564, 110});
        row("Label9", "Latitude", {32, 146});
        row("Label22", "(northern hemisphere is positive)", {164, 146});
        row("Label8", "to", {564, 144});
        row("Label10", "Longitude", {32, 182});
        row("Label23", "(western hemisphere is negative)", {164, 182});
        row("Label11", "to", {564, 182});
        row("Label12", "to", {564, 218});
        row("Label24", "STATUS", {764, 12});
        row("Label1", "SQL QUERY", {768, 228});
        row("StatusMessage", "Idle", {28, 36});
    }

    void labelsAtDesignedPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QPoint, topLeft);
        auto *l = form->findChild<QLabel *>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->text(), text);
        QCOMPARE(l->pos(), topLeft);
        // The caption must fit: the label is at least as wide as its text.
        QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(text));
    }

    void windowAndStartState()
    {
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvex Navigator V1.0"));
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(form->size(), QSize(1272, 818));
        QCOMPARE(form->runController->totalRowEstimate(), std::int64_t(1));

        QCOMPARE(form->Panel1->geometry(), QRect(0, 0, 1272, 333));
        QCOMPARE(form->Panel3->geometry(), QRect(0, 333, 1272, 427));
        QCOMPARE(form->Panel2->geometry(), QRect(0, 760, 1272, 58));

        auto *table = control<QComboBox>("OrvexTable");
        QCOMPARE(table->count(), 3);
        QCOMPARE(table->itemText(0), QStringLiteral("surfaceshort"));
        QCOMPARE(table->itemText(1), QStringLiteral("surface"));
        QCOMPARE(table->itemText(2), QStringLiteral("upper"));
        // The column lookup runs only on a change of the table, so the chooser starts empty.
        auto *param = control<QComboBox>("ParamCombo");
        QCOMPARE(param->count(), 0);
        QCOMPARE(param->currentIndex(), -1);
        auto *types = control<QComboBox>("VarTypes");
        QCOMPARE(types->count(), 0);
        QCOMPARE(types->currentText(), QStringLiteral("hidden"));
        QVERIFY(!types->isVisible());
        QCOMPARE(types->geometry(), QRect(248, 292, 145, 21));

        QCOMPARE(control<QProgressBar>("ProgressBar1")->value(), 0);
        QCOMPARE(control<QProgressBar>("ProgressBar1")->minimum(), 0);
        QCOMPARE(control<QProgressBar>("ProgressBar1")->maximum(), 100);
        QVERIFY(control<QPushButton>("SearchButton")->isEnabled());
        QVERIFY(!control<QPushButton>("CancelButton")->isEnabled());

        auto *timer = form->findChild<QTimer *>(QStringLiteral("Timer1"));
        QVERIFY(timer);
        QVERIFY(!timer->isActive());
        QCOMPARE(timer->interval(), 1000);

        auto *grid = control<GridView>("StringGrid1");
        QCOMPARE(grid->model()->columnCount(), 15);
        QCOMPARE(grid->model()->rowCount() + 1, 20); // plus the header row
        QCOMPARE(grid->columnWidth(0), 64);
        QCOMPARE(grid->rowHeight(0), 16);
        for (int c = 0; c < 15; ++c)
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), QString());
        QCOMPARE(grid->model()->index(18, 14).data().toString(), QString());
        QVERIFY(messages.shown.isEmpty());
    }

    void resizingGivesTheChangeToTheGrid()
    {
        form->resize(1500, 1000);
        QTRY_COMPARE(form->Panel3->height(), 427 + 182);
        QCOMPARE(form->Panel1->geometry(), QRect(0, 0, 1500, 333));
        QCOMPARE(form->Panel2->geometry(), QRect(0, 1000 - 58, 1500, 58));
        QCOMPARE(control<QPushButton>("SaveCSVButton")->geometry(), QRect(1172, 4, 95, 25));
        QCOMPARE(control<QWidget>("StringGrid1")->size(), form->Panel3->size());
    }

    void generateShowsStatementAndLeavesLog()
    {
        form->Memo1->setPlainText(QStringLiteral("earlier log line"));
        form->SQLEdit->setPlainText(QStringLiteral("old text\nsecond line"));
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(), workedExample);
        QCOMPARE(form->SQLEdit->document()->blockCount(), 1);
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("earlier log line"));
        QVERIFY(messages.shown.isEmpty());
    }

    void searchClearsLogAndShowsStatement()
    {
        form->Memo1->setPlainText(QStringLiteral("earlier log line"));
        QTest::mouseClick(control<QPushButton>("SearchButton"), Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(), workedExample);
        // Without a server the run still ends idle, after telling the user each time.
        QTRY_VERIFY(!form->runInProgress());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Starting...\nAll done!"));
        const QString notRunning = QStringLiteral(
            "The MYSQL service is not running, or the connection settings are incorrect.");
        QCOMPARE(messages.texts(),
                 (QStringList {notRunning, notRunning, QStringLiteral("Failed")}));
        QCOMPARE(form->StatusMessage->text(), QStringLiteral("Done!"));
        QVERIFY(form->SearchButton->isEnabled());
        QVERIFY(!form->CancelButton->isEnabled());
        QVERIFY(!form->Timer1->isActive());
    }

    void handlersReadTheControls_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("shown");
        const QString tooMuch = QStringLiteral(
            "This search may return too much data.  If extremely large amounts of data are "
            "generated, this program may lock up.  Continue anyway?");
        const QString notRunning = QStringLiteral(
            "The MYSQL service is not running, or the connection settings are incorrect.");
        const QString stationOnly = QStringLiteral(
            "SELECT * FROM surfaceshort WHERE (icao = 'KSWF') ORDER BY year,month,day,hour ASC;");
        QTest::newRow("Generate, station only, OK")
            << QStringLiteral("GenerateSQLButton") << QList<bool> {true} << stationOnly
            << QStringList {tooMuch};
        QTest::newRow("Generate, station only, Cancel")
            << QStringLiteral("GenerateSQLButton") << QList<bool> {false} << QString()
            << QStringList {tooMuch};
        // Search then starts the run, whose two status readings find no server.
        QTest::newRow("Search, station only, OK")
            << QStringLiteral("SearchButton") << QList<bool> {true} << stationOnly
            << QStringList {tooMuch, notRunning, notRunning};
        QTest::newRow("Search, station only, Cancel")
            << QStringLiteral("SearchButton") << QList<bool> {false} << QString()
            << QStringList {tooMuch, QStringLiteral("No query was entered.")};
    }

    void handlersReadTheControls()
    {
        QFETCH(QString, button);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, sql);
        QFETCH(QStringList, shown);
        control<QCheckBox>("DateRangeCheck")->setChecked(false);
        messages.answers = answers;
        QTest::mouseClick(form->findChild<QPushButton *>(button), Qt::LeftButton);
        // A run's readings come back a moment later.
        QTRY_COMPARE(messages.texts().mid(0, shown.size()), shown);
        QCOMPARE(form->SQLEdit->toPlainText(), sql);
        QCOMPARE(form->SQLEdit->document()->blockCount(), 1);
    }

    void noConstraintLeavesOneEmptyLine()
    {
        control<QCheckBox>("DateRangeCheck")->setChecked(false);
        control<QCheckBox>("StnEqCheck")->setChecked(false);
        form->SQLEdit->setPlainText(QStringLiteral("SELECT 1;"));
        messages.answers = {false};
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 2);
        QCOMPARE(messages.shown.at(0).kind, QStringLiteral("warning"));
        QCOMPARE(
            messages.shown.at(1),
            (ScriptedMessages::Shown {QStringLiteral("information"), QStringLiteral("Information"),
                                      QStringLiteral("No search parameters entered!")}));
        QCOMPARE(form->SQLEdit->toPlainText(), QString());
    }

    // Each constraint switch clicked and each edit box typed into, with values that differ from
    // each other, so a box or switch read in place of another shows in the statement.
    void generatedStatementFollowsEachControl_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("sql");
        const QString dateRange = QStringLiteral(
            "((year >= 1995) and (year <= 1995)) AND ((month >= 07) and (month <= 07)) AND ((day "
            ">= 15) and (day <= 16))");
        QTest::newRow("date equals")
            << strings({"click:DateEqCheck", "click:DateRangeCheck", "type:YrEq=2001",
                        "type:MoEq=02", "type:DaEq=03", "type:HoEq=04"})
            << QList<bool>()
            << QStringLiteral("SELECT * FROM surfaceshort WHERE (year = 2001) AND (month = 02) AND "
                              "(day = 03) AND (hour = 04) AND (icao = 'KSWF') ORDER BY "
                              "year,month,day,hour ASC;");
        QTest::newRow("date range, every pair changing")
            << strings({"type:YrLo=1990", "type:YrHi=1991", "type:MoLo=02", "type:MoHi=03",
                        "type:DaLo=04", "type:DaHi=05", "type:HoLo=06", "type:HoHi=07"})
            << QList<bool> {true}
            << QStringLiteral("SELECT * FROM surfaceshort WHERE ((year >= 1990) and (year <= "
                              "1991)) AND ((month >= 02) and (month <= 03)) AND ((day >= 04) and "
                              "(day <= 05)) AND ((hour >= 06) and (hour <= 07)) AND (icao = "
                              "'KSWF') ORDER BY year,month,day,hour ASC;");
        QTest::newRow("station range and longitude")
            << strings({"click:StnEqCheck", "click:StnRangeCheck", "type:StnLo=KAAA",
                        "type:StnHi=KZZZ", "click:LonRangeCheck", "type:LonLo=-116.1",
                        "type:LonHi=-115.2"})
            << QList<bool>()
            << QStringLiteral("SELECT * FROM surfaceshort WHERE ") + dateRange
                + QStringLiteral(" AND ((icao >= 'KAAA') AND (icao <= 'KZZZ')) AND ((lon >= "
                                 "-116.1) and (lon <= -115.2)) ORDER BY year,month,day,hour ASC;");
        QTest::newRow("station and latitude")
            << strings(
                   {"type:StnEq=KLAS", "click:LatRangeCheck", "type:LatLo=35.1", "type:LatHi=36.2"})
            << QList<bool>()
            << QStringLiteral("SELECT * FROM surfaceshort WHERE ") + dateRange
                + QStringLiteral(" AND (icao = 'KLAS') AND ((lat >= 35.1) and (lat <= 36.2)) "
                                 "ORDER BY year,month,day,hour ASC;");
        QTest::newRow("parameter equals, descending")
            << strings({"type:ParamCombo=temp", "click:ParamEqCheck", "type:ParamEq=70",
                        "click:AscendingOrder"})
            << QList<bool>()
            << QStringLiteral("SELECT * FROM surfaceshort WHERE ") + dateRange
                + QStringLiteral(" AND (icao = 'KSWF') AND (temp = 70) ORDER BY year DESC,month "
                                 "DESC,day DESC,hour DESC;");
        QTest::newRow("parameter range, no order")
            << strings({"type:ParamCombo=dewpt", "click:ParamRangeCheck", "type:ParamLo=60",
                        "type:ParamHi=80", "click:OrderByDateTime"})
            << QList<bool>()
            << QStringLiteral("SELECT * FROM surfaceshort WHERE ") + dateRange
                + QStringLiteral(" AND (icao = 'KSWF') AND (dewpt >= 60) AND (dewpt <= 80);");
    }

    void generatedStatementFollowsEachControl()
    {
        QFETCH(QStringList, actions);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, sql);
        QTRY_VERIFY(form->isActiveWindow());
        for (const QString &action : actions) {
            const QString name =
                action.section(QLatin1Char(':'), 1).section(QLatin1Char('='), 0, 0);
            if (action.startsWith(QLatin1String("click:"))) {
                auto *box = control<QCheckBox>(qPrintable(name));
                QVERIFY(box);
                const bool was = box->isChecked();
                clickCheckBox(box);
                QCOMPARE(box->isChecked(), !was);
            } else {
                const QString text = action.section(QLatin1Char('='), 1);
                QWidget *w = form->findChild<QWidget *>(name);
                auto *edit = qobject_cast<QLineEdit *>(w);
                if (auto *combo = qobject_cast<QComboBox *>(w))
                    edit = combo->lineEdit();
                QVERIFY2(edit, qPrintable(name));
                retype(edit, text);
                QCOMPARE(edit->text(), text);
            }
        }
        messages.answers = answers;
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(), sql);
        QCOMPARE(messages.shown.size(), answers.size());
        QVERIFY(messages.answers.isEmpty());
    }

    // The entry whose type decides the quotes is the one whose text is shown, letter for
    // letter: a pick, or a name typed over it, whatever was picked before. The lookup's
    // entries are put in as it would leave them, no server answering here.
    void parameterTypeComesFromSelectedEntry_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("conditions");
        QTest::newRow("picked") << strings({"pickClick:skyc"}) << QStringLiteral("skyc")
                                << QStringLiteral("(skyc >= '85') AND (skyc <= '93')");
        QTest::newRow("name of no entry typed over a pick")
            << strings({"pickF4:skyc", "type:dewpt"}) << QStringLiteral("dewpt")
            << QStringLiteral("(dewpt >= 85) AND (dewpt <= 93)");
        QTest::newRow("entry typed over a pick")
            << strings({"pickF4:skyc", "type:temp"}) << QStringLiteral("temp")
            << QStringLiteral("(temp >= 85) AND (temp <= 93)");
        QTest::newRow("entry typed over another pick")
            << strings({"pickAltDown:temp", "type:skyc"}) << QStringLiteral("skyc")
            << QStringLiteral("(skyc >= '85') AND (skyc <= '93')");
        // "s" completes to "skyc"; Delete takes the completion away, and a name that is no
        // entry has no type.
        QTest::newRow("completion deleted")
            << strings({"pickF4:skyc", "type:s", "key:Delete"}) << QStringLiteral("s")
            << QStringLiteral("(s >= 85) AND (s <= 93)");
        // Another letter case is another name: it stays as typed, with no entry's type, also
        // when the focus leaves for the button.
        QTest::newRow("other letter case") << strings({"type:Skyc"}) << QStringLiteral("Skyc")
                                           << QStringLiteral("(Skyc >= 85) AND (Skyc <= 93)");
    }

    void parameterTypeComesFromSelectedEntry()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, shown);
        QFETCH(QString, conditions);
        QTRY_VERIFY(form->isActiveWindow());
        auto *param = control<QComboBox>("ParamCombo");
        auto *types = control<QComboBox>("VarTypes");
        param->addItems({QStringLiteral("temp"), QStringLiteral("skyc")});
        types->addItems({QStringLiteral("decimal(4,1)"), QStringLiteral("varchar(3)")});
        for (const char *name :
             {"ParamRangeCheck", "DateRangeCheck", "StnEqCheck", "OrderByDateTime"})
            clickCheckBox(control<QCheckBox>(name));

        QCOMPARE(actOnChooser(param, steps), QStringList());
        QCOMPARE(param->currentText(), shown);
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(param->currentText(), shown);
        QCOMPARE(form->SQLEdit->toPlainText(),
                 QStringLiteral("SELECT * FROM surfaceshort WHERE ") + conditions
                     + QLatin1Char(';'));
        QVERIFY(messages.shown.isEmpty());
    }

    // Tab goes through the controls in the order they stand on the window, row by row, and
    // comes back round; the controls that cannot be used yet (Cancel, Plot...) are passed over.
    void tabGoesInTheWindowsOrder()
    {
        QTest::mouseClick(form->YrEq, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), form->YrEq);
        QStringList visited;
        for (int step = 0; step < 80; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QString name = QApplication::focusWidget()->objectName();
            if (name == QLatin1String("YrEq"))
                break;
            visited << name;
        }
        QCOMPARE(
            visited.join(QLatin1Char(' ')),
            QStringLiteral(
                "MoEq DaEq HoEq DateRangeCheck YrLo MoLo DaLo HoLo YrHi MoHi DaHi HoHi "
                "StnEqCheck StnEq StnRangeCheck StnLo StnHi LatRangeCheck LatLo LatHi "
                "LonRangeCheck LonLo LonHi ParamCombo ParamEqCheck ParamEq ParamRangeCheck "
                "ParamLo ParamHi GenerateSQLButton SubmitSQL OrderByDateTime AscendingOrder "
                "SearchButton ExitButton Memo1 SQLHistoryButton SQLEdit StringGrid1 "
                "ClipboardCSVButton ClipboardSpaceButton SaveCSVButton DatabaseHelp "
                "ConfigureConnectionButton FindStationButton OrvexTable MapButton DateEqCheck"));
    }

    void enterDoesNotBreakTheStatement()
    {
        form->SQLEdit->setPlainText(QStringLiteral("SELECT 1;"));
        form->SQLEdit->setFocus();
        form->SQLEdit->moveCursor(QTextCursor::End);
        QTest::keyClick(form->SQLEdit, Qt::Key_Return);
        QTest::keyClick(form->SQLEdit, Qt::Key_Enter);
        QTest::keyClicks(form->SQLEdit, QStringLiteral(" -- x"));
        QCOMPARE(form->SQLEdit->toPlainText(), QStringLiteral("SELECT 1; -- x"));
    }

    // Closing the main window ends the event loop, by the Exit button or the window's own close,
    // even with the help window open.
    void closingEndsTheProgram_data()
    {
        QTest::addColumn<bool>("byExitButton");
        QTest::addColumn<bool>("helpOpen");
        QTest::newRow("Exit") << true << false;
        QTest::newRow("close button") << false << false;
        QTest::newRow("Exit, help open") << true << true;
        QTest::newRow("close button, help open") << false << true;
    }

    void closingEndsTheProgram()
    {
        QFETCH(bool, byExitButton);
        QFETCH(bool, helpOpen);
        if (helpOpen) {
            QTest::mouseClick(control<QPushButton>("DatabaseHelp"), Qt::LeftButton);
            QVERIFY(help->isVisible());
        }
        // Run the real event loop: it must end by itself when the main window closes.
        qApp->setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, form.get(), [this, byExitButton] {
            if (byExitButton)
                QTest::mouseClick(control<QPushButton>("ExitButton"), Qt::LeftButton);
            else
                form->close();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
        watchdog.start(5000);
        const int result = QCoreApplication::exec();
        qApp->setQuitOnLastWindowClosed(false);
        QCOMPARE(result, 0);
        QVERIFY(!form->isVisible());
    }

    void helpHasItsTextAndControls()
    {
        const QStringList lines = help->RichEdit1->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 27);
        QCOMPARE(lines.at(0), QStringLiteral("ORVEX NAVIGATOR"));
        QCOMPARE(lines.at(1), QString());
        QCOMPARE(lines.at(2),
                 QStringLiteral("Orvex Navigator is an interface for easy querying of Orvex for "
                                "those who are unfamiliar with SQL.  It will show the SQL query so "
                                "users can become accustomed to how to "));
        QCOMPARE(lines.at(7),
                 QStringLiteral("can simply go into SQL and use the show processlist; and kill "
                                "query [id]; commands to kill any orphaned threads."));
        QCOMPARE(lines.at(15),
                 QStringLiteral("1985 and 03 for the first part and 1985 and 05 for the second "
                                "part, and leave the day and hour blank.  It must be mentioned at "
                                "Orvex will not correctly formulate queries "));
        QCOMPARE(lines.at(26), QStringLiteral("Submit SQL."));
        const QList<int> empty = {1, 4, 8, 12, 18, 22};
        for (int i = 0; i < 27; ++i)
            QCOMPARE(lines.at(i).isEmpty(), empty.contains(i));
        QCOMPARE(help->windowTitle(), QStringLiteral("OrvexNavigatorDocForm"));
        QCOMPARE(help->CloseButton->text(), QStringLiteral("&Close"));
        QVERIFY(!help->isVisible());
        QVERIFY(!help->RichEdit1->isReadOnly());
    }

    void helpIsOneWindowShownAndHidden()
    {
        auto *button = control<QPushButton>("DatabaseHelp");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QVERIFY(help->isVisible());
        QCOMPARE(help->size(), QSize(823, 632));
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        const QPoint offset = help->frameGeometry().center() - screenCentre;
        QVERIFY(qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2);
        QCOMPARE(help->Panel1->geometry(), QRect(0, 578, 823, 54));
        QCOMPARE(help->CloseButton->geometry(), QRect(368, 13, 75, 25));
        QCOMPARE(help->RichEdit1->geometry(), QRect(1, 1, 821, 576));

        // The main window stays usable while help is open.
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(), workedExample);

        help->RichEdit1->moveCursor(QTextCursor::End);
        QTest::keyClicks(help->RichEdit1, QStringLiteral("my note"));
        help->move(40, 50);
        const QPoint moved = help->pos();

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form->findChildren<TOrvexNavigatorDocForm *>().size(), 1);
        QCOMPARE(help->pos(), moved);

        QTest::keyClick(help, Qt::Key_Escape);
        QVERIFY(help->isVisible());

        QTest::mouseClick(help->CloseButton, Qt::LeftButton);
        QVERIFY(!help->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(help->isVisible());
        QCOMPARE(help->pos(), moved);
        QVERIFY(help->RichEdit1->toPlainText().endsWith(QStringLiteral("Submit SQL.my note")));

        help->close();
        QVERIFY(!help->isVisible());
        QVERIFY(form->isVisible());
    }

    // Tab and Backtab move between the Close button and the help text, which has nothing to
    // indent; Enter goes on inserting a line break.
    void helpTextKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("focusAfter");
        QTest::addColumn<QString>("textAdded");
        QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier)
                             << QStringLiteral("CloseButton") << QString();
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier)
                                   << QStringLiteral("CloseButton") << QString();
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier)
                               << QStringLiteral("RichEdit1") << QStringLiteral("\n");
    }

    void helpTextKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, focusAfter);
        QFETCH(QString, textAdded);
        QTest::mouseClick(control<QPushButton>("DatabaseHelp"), Qt::LeftButton);
        // The platform activates the shown window a moment later.
        QTRY_VERIFY(help->isActiveWindow());
        const QString before = help->RichEdit1->toPlainText();
        QTest::mouseClick(help->RichEdit1->viewport(), Qt::LeftButton, {}, QPoint(400, 500));
        QCOMPARE(QApplication::focusWidget(), help->RichEdit1);
        help->RichEdit1->moveCursor(QTextCursor::End);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
        QCOMPARE(help->RichEdit1->toPlainText(), before + textAdded);
        // From the Close button, Tab comes back to the text.
        if (focusAfter == QLatin1String("CloseButton")) {
            QTest::keyClick(help->CloseButton, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), help->RichEdit1);
        }
    }

    // The boxes show a server's error text or a file name as it is, also when it looks like
    // markup.
    void messageBoxesShowTheirTextAsItIs_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"information", "warning", "confirm", "plain", "error"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

    void messageBoxesShowTheirTextAsItIs()
    {
        QFETCH(QString, kind);
        const QString text =
            QStringLiteral("Unknown column '<b>temp</b>' in 'where clause' &amp; <i>/tmp/a.csv");
        QtMessageSeam seam;
        bool seen = false;
        Qt::TextFormat format = Qt::AutoText;
        QString shownText;
        // Reads the box while it is up, then presses its first button as the user would.
        QTimer reader;
        reader.setInterval(20);
        connect(&reader, &QTimer::timeout, this, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                reader.stop();
                seen = true;
                format = box->textFormat();
                shownText = box->text();
                QTest::mouseClick(box->buttons().constFirst(), Qt::LeftButton);
                return;
            }
        });
        reader.start();
        if (kind == QLatin1String("information"))
            seam.information(text);
        else if (kind == QLatin1String("warning"))
            seam.warning(text);
        else if (kind == QLatin1String("confirm"))
            seam.confirm(text);
        else if (kind == QLatin1String("plain"))
            seam.plain(text);
        else
            seam.error(QStringLiteral("Orvexnavigator"), text);
        QVERIFY(seen);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shownText, text);
    }

    void helpResizeKeepsClosePanel()
    {
        help->showHelp();
        help->resize(1000, 800);
        QCOMPARE(help->Panel1->geometry(), QRect(0, 746, 1000, 54));
        QCOMPARE(help->CloseButton->geometry(), QRect(368, 13, 75, 25));
        QCOMPARE(help->Panel2->geometry(), QRect(0, 0, 1000, 746));
    }

    void escapedErrorIsShownAndProgramGoesOn()
    {
        auto *app = static_cast<OrvexApplication *>(qApp);
        app->setMessageSeam(&messages);
        FailingButton failing(QStringLiteral("fail"), form.get());
        failing.setGeometry(0, 0, 40, 20);
        failing.show();
        QTest::mouseClick(&failing, Qt::LeftButton);
        app->setMessageSeam(nullptr);

        QCOMPARE(messages.shown.size(), 1);
        const auto &box = messages.shown.at(0);
        QCOMPARE(box.kind, QStringLiteral("error"));
        QCOMPARE(box.caption,
                 OrvexApplication::applicationTitle(QCoreApplication::applicationFilePath()));
        QCOMPARE(box.text, QStringLiteral("Access violation at address 0000."));
        // The next event is handled as usual.
        QTest::mouseClick(&failing, Qt::LeftButton);
        QCOMPARE(failing.clicks, 2);
        QTest::mouseClick(control<QPushButton>("GenerateSQLButton"), Qt::LeftButton);
        QCOMPARE(form->SQLEdit->toPlainText(), workedExample);
    }

    void applicationTitleRule_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/OrvexNavigator")
                               << QStringLiteral("Orvexnavigator");
        QTest::newRow("extension")
            << QStringLiteral("/opt/ORVEXNAV.EXE") << QStringLiteral("Orvexnav");
        QTest::newRow("cut at first stop, first letter kept")
            << QStringLiteral("/home/a.b/orvex.navigator.bin") << QStringLiteral("orvex");
        QTest::newRow("non-ASCII") << QStringLiteral("/x/ÉTÉ") << QStringLiteral("Été");
    }

    void applicationTitleRule()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(OrvexApplication::applicationTitle(path), title);
    }

    void errorTextGetsItsFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << QStringLiteral("Disk full") << QStringLiteral("Disk full.");
        QTest::newRow("digit") << QStringLiteral("Error 28") << QStringLiteral("Error 28.");
        QTest::newRow("full stop") << QStringLiteral("Disk full.") << QStringLiteral("Disk full.");
        QTest::newRow("bracket") << QStringLiteral("Failed (x)") << QStringLiteral("Failed (x)");
        QTest::newRow("exclamation") << QStringLiteral("Failed!") << QStringLiteral("Failed!");
        QTest::newRow("quote") << QStringLiteral("File \"a\"") << QStringLiteral("File \"a\"");
        QTest::newRow("non-ASCII") << QStringLiteral("Fehler: Datei gelöscht")
                                   << QStringLiteral("Fehler: Datei gelöscht.");
        QTest::newRow("empty") << QString() << QString();
    }

    void errorTextGetsItsFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(OrvexApplication::errorText(message), shown);
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
