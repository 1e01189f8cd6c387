#pragma once

#include "app/logview.h"
#include "app/orvexdbmain.h"
#include "common/backgroundthread.h"
#include "tests/platformnotices.h"
#include "tests/scriptedmessages.h"

#include <QObject>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>

#include <memory>

// What the tests of the main window against the test server share: a window made afresh for
// each test, whose message boxes a script answers, and the checks that a test left nothing
// behind. A test class derives from it and calls these from its initTestCase, init and cleanup.
class WindowTest : public QObject
{
protected:
    ScriptedMessages messages;
    std::unique_ptr<TForm1> form;

    // The test server must be there, and the offscreen platform's notices stay quiet.
    static void requireTestServer()
    {
        installPlatformNoticeFilter();
        QVERIFY2(!qEnvironmentVariableIsEmpty("MYSQL_UNIX_PORT"),
                 "run through ctest, which starts the test server");
    }

    // A new main window, shown.
    void openWindow()
    {
        messages = ScriptedMessages();
        form = std::make_unique<TForm1>(messages);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    // Clicks into the SQL memo, empties it with Ctrl+A and Delete and types the text key by key.
    void typeIntoMemo(const QString &text)
    {
        QTest::mouseClick(form->SQLEdit->viewport(), Qt::LeftButton);
        QTest::keyClick(form->SQLEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->SQLEdit, Qt::Key_Delete);
        QTest::keyClicks(form->SQLEdit, text);
    }

    QStringList logLines() const
    {
        QStringList lines;
        for (qsizetype i = 0; i < form->Memo1->lineCount(); ++i)
            lines << form->Memo1->line(i);
        return lines;
    }

    // Once the run is over (a cancel's pause included) and nothing is left talking to the
    // server, every message shown must have been scripted; then the window goes.
    void closeWindow()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(backgroundThreadsRunning(), 0, 10000);
        QCOMPARE(messages.unscripted, 0);
        form.reset();
    }
};
