#include "help/orvexdbdocs.h"

#include "widgets/widgethelpers.h"

#include <QFrame>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextEdit>

using Widgets::button;
using Widgets::named;
using Widgets::panel;

namespace {
constexpr int closePanelHeight = 54;
} // namespace

const QStringList &TOrvexNavigatorDocForm::helpLines()
{
    // Lines that run on into the next one end with a space, which belongs to the line.
    static const QStringList lines = {
        QStringLiteral("ORVEX NAVIGATOR"),
        QString(),
        QStringLiteral("Orvex Navigator is an interface for easy querying of Orvex for those who "
                       "are unfamiliar with SQL.  It will show the SQL query so users can become "
                       "accustomed to how to "),
        QStringLiteral("construct them.  It also tracks the progress of queries and provides a "
                       "progress bar, so that these time-consuming database operations can be "
                       "monitored."),
        QString(),
        QStringLiteral("Special note: Be aware that the query threads are very resource "
                       "intensive, and the cancel button will attempt to halt them all but on "
                       "occasion it may not work correctly.  In "),
        QStringLiteral("that event, just reset the program.  If there is slow performance "
                       "afterward, the database query may still be trying to communicate with "
                       "the computer; experienced MySQL users "),
        QStringLiteral("can simply go into SQL and use the show processlist; and kill query "
                       "[id]; commands to kill any orphaned threads."),
        QString(),
        QStringLiteral("STATION"),
        QStringLiteral("You may enter either an FAA identifier, ICAO identifier, or WMO "
                       "identifier.  Orvex Navigator determines which one it is by examining "
                       "the length of the identifier, which is either "),
        QStringLiteral("3, 4, or 5 characters, respectively."),
        QString(),
        QStringLiteral("DATE"),
        QStringLiteral("Leave fields blank to omit them (for example to get all data in a "
                       "certain month or year).  To query a simple range of dates, such as "
                       "March, April, and May of 1985, simply enter "),
        QStringLiteral("1985 and 03 for the first part and 1985 and 05 for the second part, and "
                       "leave the day and hour blank.  It must be mentioned at Orvex will not "
                       "correctly formulate queries "),
        QStringLiteral("where complex date information rolls over; for example, 2003-12 to "
                       "2004-01.  These queries will have to be done manually.  A future "
                       "release of the Orvex database itself will "),
        QStringLiteral("provide fields with DATETIME value types so that these can be queried "
                       "easily."),
        QString(),
        QStringLiteral("LAT/LONG"),
        QStringLiteral("These fields are self explanatory.  Enter only decimal latitude and "
                       "longitude, and use positive latitude values for the northern "
                       "hemisphere and negative longitude values for the "),
        QStringLiteral("western hemisphere."),
        QString(),
        QStringLiteral("WEATHER PARAMETERS"),
        QStringLiteral("You may constrict your query by specifying weather parameters.  Simply "
                       "choose from the dropdown list at the left (make sure you specified the "
                       "database table at the top first) "),
        QStringLiteral("and then enter your values.  If you need to construct more complicated "
                       "queries, use the Generate SQL button, adjust the SQL text in the window "
                       "at the top right, then use "),
        QStringLiteral("Submit SQL."),
    };
    return lines;
}

TOrvexNavigatorDocForm::TOrvexNavigatorDocForm(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OrvexNavigatorDocForm"));
    setWindowTitle(QStringLiteral("OrvexNavigatorDocForm"));
    // The help is read, not fitted into boxes: the design size in the platform's own family.
    Widgets::useDesignFontSize(*this);

    Panel2 = panel(this, "Panel2", QFrame::Panel | QFrame::Raised);
    Panel2->setLineWidth(1);
    RichEdit1 = named(new QTextEdit(Panel2), "RichEdit1");
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setFrameStyle(QFrame::NoFrame);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setPlainText(helpLines().join(QLatin1Char('\n')));
    // The text has nothing to indent: Tab moves on to the Close button, as in any form.
    RichEdit1->setTabChangesFocus(true);

    Panel1 = panel(this, "Panel1", QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    CloseButton = button(Panel1, "CloseButton", QStringLiteral("&Close"), {368, 13, 75, 25});

    // Close button first, then the text.
    setTabOrder(CloseButton, RichEdit1);
    connect(CloseButton, &QPushButton::clicked, this, &TOrvexNavigatorDocForm::CloseButtonClick);

    resize(823, 632);
}

void TOrvexNavigatorDocForm::resizeEvent(QResizeEvent *event)
{
    // The close panel keeps its height at the bottom; the text panel takes the rest.
    const int w = event->size().width();
    const int h = event->size().height();
    const int textHeight = qMax(0, h - closePanelHeight);
    Panel2->setGeometry(0, 0, w, textHeight);
    RichEdit1->setGeometry(1, 1, qMax(0, w - 2), qMax(0, textHeight - 2));
    Panel1->setGeometry(0, textHeight, w, closePanelHeight);
    QWidget::resizeEvent(event);
}

void TOrvexNavigatorDocForm::showHelp()
{
    if (!shownBefore) {
        shownBefore = true;
        Widgets::centreOnScreen(*this);
    }
    show();
    raise();
    activateWindow();
}

void TOrvexNavigatorDocForm::CloseButtonClick()
{
    close();
}
