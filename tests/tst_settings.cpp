// The connection settings dialog on the offscreen platform: its controls, and its modal runs
// driven from inside the modal loop through the named controls.
#include "settings/orvexdbcfg.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Lets QCOMPARE show the four values when they differ.
char *toString(const ConnectionSettings &s)
{
    return QTest::toString(
        QStringLiteral("{%1, %2, %3, %4}").arg(s.host, s.database, s.userName, s.password));
}

namespace {

const QString resetQuestion =
    QStringLiteral("Are you sure you want to revert to default settings?");

// What the program held before the dialog ran: anything but the defaults, so a reset that
// leaked into the settings would show.
const ConnectionSettings earlier {QStringLiteral("db.example.org"), QStringLiteral("weather"),
                                  QStringLiteral("alice"), QStringLiteral("s3cret")};

// Replaces a box's text by typing, as a user would.
void typeInto(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    // Keys beyond ASCII have no key code of their own here; they arrive as their text.
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(box, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private:
    ScriptedMessages messages;
    // Stands for the main window, which owns the dialog and sits away from the screen's centre.
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<TOrvexSettingsForm> dialog;
    int runsNotModal = 0;
    int runsLeftOpen = 0;

    // Runs the dialog through its public operation; `whileOpen` acts on it from inside the
    // modal loop and is expected to end it. A failed check inside returns early and would
    // leave the loop waiting, so the dialog is then cancelled and the run counted as faulty.
    bool runWith(ConnectionSettings &settings, const std::function<void()> &whileOpen)
    {
        QTimer::singleShot(0, dialog.get(), [&] {
            if (QApplication::activeModalWidget() != dialog.get() || !dialog->isVisible())
                ++runsNotModal;
            // The offscreen platform leaves the owner active where a window manager would
            // activate the modal dialog; keyboard accelerators and Tab need it active.
            dialog->activateWindow();
            if (QTest::qWaitFor([&] { return QApplication::activeWindow() == dialog.get(); }))
                whileOpen();
            else
                ++runsNotModal;
            if (dialog->isVisible()) {
                ++runsLeftOpen;
                dialog->reject();
            }
        });
        return dialog->run(settings);
    }

    QStringList boxTexts() const
    {
        return {dialog->CfgHost->text(), dialog->CfgDatabase->text(), dialog->CfgUser->text(),
                dialog->CfgPw->text()};
    }

    void typeAll(const QStringList &texts)
    {
        typeInto(dialog->CfgHost, texts.at(0));
        typeInto(dialog->CfgDatabase, texts.at(1));
        typeInto(dialog->CfgUser, texts.at(2));
        typeInto(dialog->CfgPw, texts.at(3));
    }

private slots:
    void initTestCase() { installPlatformNoticeFilter(); }

    void init()
    {
        messages = ScriptedMessages();
        runsNotModal = 0;
        runsLeftOpen = 0;
        // A failed check in cleanup() may have left the last test's dialog behind.
        dialog.reset();
        owner = std::make_unique<QWidget>();
        owner->setGeometry(20, 30, 400, 300);
        owner->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
        dialog = std::make_unique<TOrvexSettingsForm>(messages, owner.get());
    }

    void cleanup()
    {
        QCOMPARE(runsNotModal, 0);
        QCOMPARE(runsLeftOpen, 0);
        QCOMPARE(messages.unscripted, 0);
        dialog.reset();
        owner.reset();
    }

    void dialogAsDesigned()
    {
        QCOMPARE(dialog->objectName(), QStringLiteral("OrvexSettingsForm"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Connection settings"));
        QCOMPARE(dialog->size(), QSize(297, 242));
        QCOMPARE(dialog->font().pixelSize(), 11);
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(dialog->isModal());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->CfgPw->echoMode(), QLineEdit::Normal);
        // No default button: an auto-default one becomes the default once focused.
        const auto buttons = dialog->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 3);
        for (const QPushButton *b : buttons) {
            QVERIFY2(!b->isDefault(), qPrintable(b->objectName()));
            QVERIFY2(!b->autoDefault(), qPrintable(b->objectName()));
        }
    }

    // Labels are placed by their top-left corner only and sized to their caption.
    void controlsAtDesignedPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");

        auto row = [](const char *name, const char *text, QRect geometry) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << geometry;
        };
        row("Label1", "Host", {28, 24, 0, 0});
        row("CfgHost", "localhost", {116, 16, 157, 21});
        row("Label2", "Database", {28, 56, 0, 0});
        row("CfgDatabase", "orvex", {116, 52, 157, 21});
        row("Label3", "Username", {28, 88, 0, 0});
        row("CfgUser", "root", {116, 88, 157, 21});
        row("Label4", "Password", {28, 124, 0, 0});
        row("CfgPw", "qxzv", {116, 124, 157, 21});
        row("RevertButton", "&Reset to default", {156, 160, 117, 25});
        row("CancelButton", "&Cancel", {48, 200, 103, 25});
        row("CloseButton", "&Ok", {168, 200, 105, 25});
    }

    void controlsAtDesignedPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);

        auto *w = dialog->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), static_cast<QWidget *>(dialog.get()));
        if (auto *label = qobject_cast<QLabel *>(w)) {
            QCOMPARE(label->text(), text);
            QCOMPARE(label->pos(), geometry.topLeft());
            QVERIFY(label->width() > 0);
        } else if (auto *box = qobject_cast<QLineEdit *>(w)) {
            QCOMPARE(box->text(), text);
            QCOMPARE(box->geometry(), geometry);
        } else if (auto *button = qobject_cast<QPushButton *>(w)) {
            QCOMPARE(button->text(), text);
            QCOMPARE(button->geometry(), geometry);
        } else {
            QFAIL("unexpected kind of control");
        }
    }

    // The dialog opens in the host box; Tab runs through the boxes top to bottom, then Ok,
    // Reset and Cancel, and back to the host box.
    void tabOrder()
    {
        QStringList visited;
        ConnectionSettings settings = earlier;
        const bool ok = runWith(settings, [&] {
            QWidget *focused = QApplication::focusWidget();
            QVERIFY(focused);
            visited << focused->objectName();
            for (int i = 0; i < 7; ++i) {
                QTest::keyClick(focused, Qt::Key_Tab);
                focused = QApplication::focusWidget();
                QVERIFY(focused);
                visited << focused->objectName();
            }
            dialog->CancelButton->click();
        });
        QVERIFY(!ok);
        const QStringList expected = {
            QStringLiteral("CfgHost"),      QStringLiteral("CfgDatabase"),
            QStringLiteral("CfgUser"),      QStringLiteral("CfgPw"),
            QStringLiteral("CloseButton"),  QStringLiteral("RevertButton"),
            QStringLiteral("CancelButton"), QStringLiteral("CfgHost"),
        };
        QCOMPARE(visited, expected);
    }

    // Every way the dialog can end. The host box is edited first; OK takes it over, every
    // other ending leaves the settings alone. The box keeps the typed text either way.
    void endings_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("taken");

        QTest::newRow("Ok clicked") << QStringLiteral("click Ok") << true;
        QTest::newRow("Cancel clicked") << QStringLiteral("click Cancel") << false;
        QTest::newRow("title-bar close") << QStringLiteral("close") << false;
        QTest::newRow("Space on Ok") << QStringLiteral("space Ok") << true;
        QTest::newRow("Space on Cancel") << QStringLiteral("space Cancel") << false;
        QTest::newRow("Alt+O") << QStringLiteral("alt O") << true;
        QTest::newRow("Alt+C") << QStringLiteral("alt C") << false;
    }

    void endings()
    {
        QFETCH(QString, how);
        QFETCH(bool, taken);

        ConnectionSettings settings = earlier;
        const bool ok = runWith(settings, [&] {
            typeInto(dialog->CfgHost, QStringLiteral("obs-server"));
            if (how == QLatin1String("click Ok")) {
                QTest::mouseClick(dialog->CloseButton, Qt::LeftButton);
            } else if (how == QLatin1String("click Cancel")) {
                QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
            } else if (how == QLatin1String("close")) {
                dialog->close();
            } else if (how == QLatin1String("space Ok")) {
                dialog->CloseButton->setFocus();
                QTest::keyClick(dialog->CloseButton, Qt::Key_Space);
            } else if (how == QLatin1String("space Cancel")) {
                dialog->CancelButton->setFocus();
                QTest::keyClick(dialog->CancelButton, Qt::Key_Space);
            } else if (how == QLatin1String("alt O")) {
                QTest::keyClick(dialog->CfgHost, Qt::Key_O, Qt::AltModifier);
                // An accelerator shows the button going down and clicks it a moment later.
                QTRY_VERIFY(!dialog->isVisible());
            } else if (how == QLatin1String("alt C")) {
                QTest::keyClick(dialog->CfgHost, Qt::Key_C, Qt::AltModifier);
                QTRY_VERIFY(!dialog->isVisible());
            }
        });

        QCOMPARE(ok, taken);
        QVERIFY(!dialog->isVisible());
        // OK takes over all four boxes, the three untouched ones holding the defaults.
        const ConnectionSettings expected = taken
            ? ConnectionSettings {QStringLiteral("obs-server"), QStringLiteral("orvex"),
                                  QStringLiteral("root"), QStringLiteral("qxzv")}
            : earlier;
        QCOMPARE(settings, expected);
        QCOMPARE(dialog->CfgHost->text(), QStringLiteral("obs-server"));
        QVERIFY(messages.shown.isEmpty());
    }

    // Typed values and Cancel: the settings stay, but the next run shows the typed texts and
    // OK then takes them over exactly as they stand, blanks and empty boxes included.
    void typedThenCancelThenOk_data()
    {
        QTest::addColumn<QStringList>("typed");

        QTest::newRow("other server")
            << QStringList {QStringLiteral("10.1.2.3:3307"), QStringLiteral("orvex_archive"),
                            QStringLiteral("reader"), QStringLiteral("pa ss")};
        QTest::newRow("empty boxes") << QStringList {QString(), QString(), QString(), QString()};
        QTest::newRow("blanks around values")
            << QStringList {QStringLiteral(" localhost"), QStringLiteral("orvex "),
                            QStringLiteral("  root  "), QStringLiteral(" ")};
        QTest::newRow("some empty, some not") << QStringList {
            QStringLiteral("localhost"), QString(), QStringLiteral("root"), QString()};
        QTest::newRow("non-ASCII")
            << QStringList {QStringLiteral("m\u00fcnchen.example"), QStringLiteral("orvex"),
                            QStringLiteral("j\u00f6rg"), QStringLiteral("\u00e9t\u00e9")};
    }

    void typedThenCancelThenOk()
    {
        QFETCH(QStringList, typed);

        ConnectionSettings settings = earlier;
        bool ok = runWith(settings, [&] {
            typeAll(typed);
            QCOMPARE(boxTexts(), typed);
            QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
        });
        QVERIFY(!ok);
        QCOMPARE(settings, earlier);
        QCOMPARE(boxTexts(), typed);

        QStringList shownAtOpen;
        ok = runWith(settings, [&] {
            shownAtOpen = boxTexts();
            QTest::mouseClick(dialog->CloseButton, Qt::LeftButton);
        });
        QVERIFY(ok);
        QCOMPARE(shownAtOpen, typed);
        const ConnectionSettings expected {typed.at(0), typed.at(1), typed.at(2), typed.at(3)};
        QCOMPARE(settings, expected);
        QCOMPARE(boxTexts(), typed);
    }

    // The reset asks first and touches only the boxes; the dialog stays open. Ending with
    // Cancel afterwards keeps the settings, and the next run shows what the boxes held.
    void resetAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("boxesAfter");

        QTest::newRow("answered OK")
            << true
            << QStringList {QStringLiteral("localhost"), QStringLiteral("orvex"),
                            QStringLiteral("root"), QStringLiteral("qxzv")};
        QTest::newRow("answered Cancel") << false
                                         << QStringList {QStringLiteral("h"), QStringLiteral("d"),
                                                         QStringLiteral("u"), QStringLiteral("p")};
    }

    void resetAsksFirst()
    {
        QFETCH(bool, answer);
        QFETCH(QStringList, boxesAfter);

        messages.answers = {answer};
        ConnectionSettings settings = earlier;
        bool ok = runWith(settings, [&] {
            typeAll({QStringLiteral("h"), QStringLiteral("d"), QStringLiteral("u"),
                     QStringLiteral("p")});
            QTest::mouseClick(dialog->RevertButton, Qt::LeftButton);
            QCOMPARE(messages.shown.size(), 1);
            QCOMPARE(messages.shown.at(0),
                     (ScriptedMessages::Shown {QStringLiteral("confirm"),
                                               QStringLiteral("Information"), resetQuestion}));
            QVERIFY(dialog->isVisible());
            QCOMPARE(boxTexts(), boxesAfter);
            QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
        });
        QVERIFY(!ok);
        QCOMPARE(settings, earlier);

        QStringList shownAtOpen;
        ok = runWith(settings, [&] {
            shownAtOpen = boxTexts();
            QTest::mouseClick(dialog->CloseButton, Qt::LeftButton);
        });
        QVERIFY(ok);
        QCOMPARE(shownAtOpen, boxesAfter);
        const ConnectionSettings expected {boxesAfter.at(0), boxesAfter.at(1), boxesAfter.at(2),
                                           boxesAfter.at(3)};
        QCOMPARE(settings, expected);
        QCOMPARE(messages.shown.size(), 1);
    }

    // Escape neither cancels nor presses anything, wherever the focus is.
    void escapeDoesNothing_data()
    {
        QTest::addColumn<QString>("focus");

        QTest::newRow("in CfgHost") << QStringLiteral("CfgHost");
        QTest::newRow("in CfgPw") << QStringLiteral("CfgPw");
        QTest::newRow("on Ok") << QStringLiteral("CloseButton");
        QTest::newRow("on Reset") << QStringLiteral("RevertButton");
        QTest::newRow("on Cancel") << QStringLiteral("CancelButton");
    }

    void escapeDoesNothing()
    {
        QFETCH(QString, focus);

        ConnectionSettings settings = earlier;
        const bool ok = runWith(settings, [&] {
            typeInto(dialog->CfgUser, QStringLiteral("bob"));
            auto *focused = dialog->findChild<QWidget *>(focus);
            QVERIFY(focused);
            focused->setFocus();
            QTest::keyClick(focused, Qt::Key_Escape);
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
            QVERIFY(messages.shown.isEmpty());
            QTest::mouseClick(dialog->CloseButton, Qt::LeftButton);
        });
        QVERIFY(ok);
        ConnectionSettings expected = earlier;
        expected.host = QStringLiteral("localhost");
        expected.database = QStringLiteral("orvex");
        expected.userName = QStringLiteral("bob");
        expected.password = QStringLiteral("qxzv");
        QCOMPARE(settings, expected);
    }

    // Enter presses only the button that has the focus; in an edit box it does nothing, also
    // after a button had the focus before.
    void enterPressesFocusedButton_data()
    {
        QTest::addColumn<QString>("focusBefore");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome"); // "accepted", "rejected", "open"
        QTest::addColumn<int>("questions");

        const QString none;
        QTest::newRow("Return on Ok") << none << QStringLiteral("CloseButton")
                                      << int(Qt::Key_Return) << QStringLiteral("accepted") << 0;
        QTest::newRow("keypad Enter on Ok")
            << none << QStringLiteral("CloseButton") << int(Qt::Key_Enter)
            << QStringLiteral("accepted") << 0;
        QTest::newRow("Return on Cancel") << none << QStringLiteral("CancelButton")
                                          << int(Qt::Key_Return) << QStringLiteral("rejected") << 0;
        QTest::newRow("Return on Reset") << none << QStringLiteral("RevertButton")
                                         << int(Qt::Key_Return) << QStringLiteral("open") << 1;
        QTest::newRow("Return in CfgHost") << none << QStringLiteral("CfgHost")
                                           << int(Qt::Key_Return) << QStringLiteral("open") << 0;
        QTest::newRow("Return in CfgPw after Ok had focus")
            << QStringLiteral("CloseButton") << QStringLiteral("CfgPw") << int(Qt::Key_Return)
            << QStringLiteral("open") << 0;
        QTest::newRow("Return in CfgUser after Cancel had focus")
            << QStringLiteral("CancelButton") << QStringLiteral("CfgUser") << int(Qt::Key_Return)
            << QStringLiteral("open") << 0;
    }

    void enterPressesFocusedButton()
    {
        QFETCH(QString, focusBefore);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        QFETCH(int, questions);

        if (questions > 0)
            messages.answers = {false};
        ConnectionSettings settings = earlier;
        bool stayedOpen = false;
        const bool ok = runWith(settings, [&] {
            if (!focusBefore.isEmpty())
                dialog->findChild<QWidget *>(focusBefore)->setFocus();
            auto *focused = dialog->findChild<QWidget *>(focus);
            QVERIFY(focused);
            focused->setFocus();
            const Qt::KeyboardModifiers modifiers =
                key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
            QTest::keyClick(focused, Qt::Key(key), modifiers);
            stayedOpen = dialog->isVisible();
            if (stayedOpen)
                dialog->reject();
        });

        const QString actual = stayedOpen ? QStringLiteral("open")
            : ok                          ? QStringLiteral("accepted")
                                          : QStringLiteral("rejected");
        QCOMPARE(actual, outcome);
        QCOMPARE(messages.shown.size(), questions);
        QCOMPARE(settings, outcome == QLatin1String("accepted") ? ConnectionSettings() : earlier);
    }

    // Centred on the screen the first time; later shows come back where it was moved to.
    void placement()
    {
        ConnectionSettings settings = earlier;
        QPoint offCentre;
        runWith(settings, [&] {
            const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
            offCentre = dialog->frameGeometry().center() - centre;
            dialog->move(40, 50);
            dialog->CancelButton->click();
        });
        QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
                 qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));

        for (int show = 2; show <= 3; ++show) {
            QPoint shownAt;
            runWith(settings, [&] {
                shownAt = dialog->pos();
                dialog->CloseButton->click();
            });
            QCOMPARE(shownAt, QPoint(40, 50));
        }
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings.moc"
