#include "orvexapplication.h"
#include "orvexdbdocs.h"
#include "orvexdbmain.h"
#include "qtmessageseam.h"

int main(int argc, char *argv[])
{
    OrvexApplication app(argc, argv);
    QtMessageSeam messages;
    app.setMessageSeam(&messages);

    TForm1 form(messages);
    // The help window belongs to the main window, so closing the main window ends the
    // program even while help is open.
    auto *help = new TOrvexNavigatorDocForm(&form);
    form.setHelpWindow(help);

    form.show();
    const int result = app.exec();
    app.setMessageSeam(nullptr);
    return result;
}
