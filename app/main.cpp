#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "app/qtmessageseam.h"
#include "common/backgroundthread.h"
#include "db/clientlibrary.h"
#include "help/orvexdbdocs.h"
#include "settings/orvexdbcfg.h"
#include "store/resultfolder.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // The client library starts before any thread can use it.
    ClientLibraryScope clientLibrary;
    OrvexApplication app(argc, argv);
    // The folder for the records of results, made now, so that folders left by programs that
    // were killed are removed at once.
    ResultFolder::instance();
    QtMessageSeam messages;
    app.setMessageSeam(&messages);
    // The desktop entry the windows belong to, so that a desktop shows them with its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvex.navigator"));

    TForm1 form(messages);
    // The help window and the settings dialog belong to the main window, so closing the main
    // window ends the program even while one of them is open.
    auto *help = new TOrvexNavigatorDocForm(&form);
    form.setHelpWindow(help);
    auto *settings = new TOrvexSettingsForm(messages, &form);
    form.setSettingsWindow(settings);

    form.show();
    const int result = app.exec();
    app.setMessageSeam(nullptr);
    ResultFolder::removeNow();
    // A query still running does not hold the program up: its worker ends with the process,
    // without the client library being shut down under it.
    if (backgroundThreadsRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
