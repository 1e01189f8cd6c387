// The export buttons' operations offscreen: the clipboard's content, the save through a
// scripted dialog with its cursor and error box, and the real save dialog's settings.
#include "app/gridexport.h"
#include "app/orvexapplication.h"
#include "export/csvfile.h"
#include "store/resultstore.h"
#include "tests/scriptedmessages.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <optional>

#include <sys/resource.h>

namespace {

// Answers the save dialog from the test and counts the questions.
class ScriptedSaveDialog : public SaveDialogSeam
{
public:
    std::optional<QString> chooseSavePath() override
    {
        ++asked;
        return answer;
    }

    std::optional<QString> answer;
    int asked = 0;
};

// A grid after a run of one column: the name, then the records.
ResultStore oneColumnGrid(const QByteArray &name, const QList<QByteArray> &records)
{
    ResultStore grid(15, 20);
    grid.setColumnCount(3);
    grid.setHeader({name.toStdString()});
    RecordBatchBuilder builder(1);
    for (const QByteArray &record : records) {
        builder.appendField(record.toStdString());
        builder.endRecord();
    }
    grid.appendRecords(builder.finish());
    return grid;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The files in a folder, hidden ones too.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestGridExport : public QObject
{
    Q_OBJECT

private slots:
    void clipboardHoldsTheText_data()
    {
        QTest::addColumn<bool>("spaceAligned");
        QTest::addColumn<bool>("beforeAnyQuery");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("comma-delimited, before any query")
            << false << true << QByteArray(",,,,,,,,,,,,,\r\n").repeated(20);
        QTest::newRow("space-aligned, before any query")
            << true << true << QByteArray("             \r\n").repeated(20);
        QTest::newRow("comma-delimited, non-ASCII")
            << false << false
            << "city,\r\nZ\xc3\xbcrich,\r\nK\xc3\xb6ln,\r\n" + QByteArray(",\r\n").repeated(17);
    }

    // What the clipboard held before is replaced, and a reader gets the text as plain text.
    void clipboardHoldsTheText()
    {
        QFETCH(bool, spaceAligned);
        QFETCH(bool, beforeAnyQuery);
        QFETCH(QByteArray, expected);
        auto *earlier = new QMimeData;
        earlier->setData(QStringLiteral("application/x-earlier"), "earlier");
        QGuiApplication::clipboard()->setMimeData(earlier);

        const ResultStore grid = beforeAnyQuery
            ? ResultStore(15, 20)
            : oneColumnGrid("city", {"Z\xc3\xbcrich", "K\xc3\xb6ln"});
        CopyGridToClipboard(
            grid, spaceAligned ? ClipboardMode::SpaceAligned : ClipboardMode::CommaDelimited);

        const QMimeData *content = QGuiApplication::clipboard()->mimeData();
        QVERIFY(content);
        QVERIFY(!content->hasFormat(QStringLiteral("application/x-earlier")));
        QVERIFY(content->hasText());
        QCOMPARE(content->data(QStringLiteral("text/plain")), expected);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8(expected));
    }

    void saveWritesTheFileByTheNameRule()
    {
        QTemporaryDir folder;
        ScriptedSaveDialog dialogs;
        dialogs.answer = folder.filePath(QStringLiteral("obs"));
        SaveGridAsCSV(oneColumnGrid("id", {"7", "1985-03-02 12:00"}), dialogs);

        QCOMPARE(dialogs.asked, 1);
        QCOMPARE(filesIn(folder.path()), QStringList {QStringLiteral("obs.csv")});
        QCOMPARE(contentOf(folder.filePath(QStringLiteral("obs.csv"))),
                 "id,,\r\n7,,\r\n\"1985-03-02 12:00\",,\r\n" + QByteArray(",,\r\n").repeated(17));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void cancelTouchesNothing()
    {
        QTemporaryDir folder;
        ScriptedSaveDialog dialogs;
        SaveGridAsCSV(ResultStore(15, 20), dialogs);
        QCOMPARE(dialogs.asked, 1);
        QVERIFY(filesIn(folder.path()).isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void failuresReachTheErrorBox_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing folder")
            << QStringLiteral("missing/obs.csv") << false
            << QStringLiteral("Cannot create file \"%1/missing/obs.csv\". No such file or "
                              "directory.");
        QTest::newRow("disk full part-way")
            << QStringLiteral("obs.csv") << true << QStringLiteral("Stream write error.");
    }

    // A button wired as the main window wires its own: the error escapes the handler, the
    // application object shows it, the cursor is back and an old file is unchanged.
    void failuresReachTheErrorBox()
    {
        QFETCH(QString, target);
        QFETCH(bool, diskFull);
        QFETCH(QString, message);
        QTemporaryDir folder;
        QFile old(folder.filePath(QStringLiteral("obs.csv")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\r\n");
        old.close();

        const ResultStore grid = oneColumnGrid("report", {QByteArray(5000, 'r')});
        ScriptedSaveDialog dialogs;
        dialogs.answer = folder.filePath(target);
        QPushButton button(QStringLiteral("Save to CSV..."));
        connect(&button, &QPushButton::clicked, &button, [&] { SaveGridAsCSV(grid, dialogs); });
        button.show();
        ScriptedMessages messages;
        auto *app = static_cast<OrvexApplication *>(qApp);
        app->setMessageSeam(&messages);

        rlimit normal {};
        ::getrlimit(RLIMIT_FSIZE, &normal);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (diskFull) {
            rlimit small = normal;
            small.rlim_cur = 4096;
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        }
        QTest::mouseClick(&button, Qt::LeftButton);
        ::setrlimit(RLIMIT_FSIZE, &normal);
        std::signal(SIGXFSZ, previousHandler);
        app->setMessageSeam(nullptr);

        QCOMPARE(messages.texts(),
                 QStringList {QString(message).replace(QStringLiteral("%1"), folder.path())});
        QCOMPARE(messages.shown.at(0).kind, QStringLiteral("error"));
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(filesIn(folder.path()), QStringList {QStringLiteral("obs.csv")});
        QCOMPARE(contentOf(folder.filePath(QStringLiteral("obs.csv"))), QByteArray("old\r\n"));
    }

    void dialogSettings()
    {
        QFileDialog dialog;
        QtSaveDialog::configure(dialog);
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.nameFilters(), QStringList {QStringLiteral("Comma delimited (*.csv)")});
        QCOMPARE(dialog.defaultSuffix(), QString());
        QVERIFY(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(!dialog.testOption(QFileDialog::ReadOnly));
        QVERIFY(dialog.isSizeGripEnabled());
    }

    // The filter lists .csv files in any letter case and nothing else but folders.
    void dialogListsCSVFilesInAnyCase()
    {
        QTemporaryDir folder;
        for (const char *name : {"a.csv", "b.CSV", "c.Csv", "d.txt", "e.csvx", "fcsv"}) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub.d")));
        QFileDialog dialog;
        QtSaveDialog::configure(dialog);
        dialog.setDirectory(folder.path());
        dialog.show();

        auto *list = dialog.findChild<QListView *>(QStringLiteral("listView"));
        QVERIFY(list);
        const auto shown = [list] {
            QStringList names;
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                names << list->model()->index(row, 0, list->rootIndex()).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(shown(),
                     (QStringList {QStringLiteral("a.csv"), QStringLiteral("b.CSV"),
                                   QStringLiteral("c.Csv"), QStringLiteral("sub.d")}));
    }

    void dialogGivesTheChoiceOrNothing_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("a name typed and saved") << true;
        QTest::newRow("cancelled") << false;
    }

    // The real dialog, answered while it runs modally: the path comes back as typed, without an
    // extension of the dialog's own.
    void dialogGivesTheChoiceOrNothing()
    {
        QFETCH(bool, accept);
        QTemporaryDir folder;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, &answer, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answer.stop();
            dialog->setDirectory(folder.path());
            if (!accept) {
                dialog->reject();
                return;
            }
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(QStringLiteral("obs"));
            static_cast<QDialog *>(dialog)->accept(); // as the Save button does
        });
        answer.start();

        QtSaveDialog dialogs;
        const std::optional<QString> chosen = dialogs.chooseSavePath();
        if (accept)
            QCOMPARE(chosen, std::optional<QString>(folder.filePath(QStringLiteral("obs"))));
        else
            QVERIFY(!chosen);
        QVERIFY(filesIn(folder.path()).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    OrvexApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestGridExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gridexport.moc"
