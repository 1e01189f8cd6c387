#include "app/historymenu.h"

#include "run/statementhistory.h"

HistoryMenu::HistoryMenu(const StatementHistory &history, QWidget *parent)
    : QMenu(parent)
    , history(history)
{
    setObjectName(QStringLiteral("HistoryMenu"));
    setAccessibleName(QStringLiteral("Statements run since the program started"));
    setToolTipsVisible(true);
    connect(this, &QMenu::aboutToShow, this, &HistoryMenu::fill);
}

void HistoryMenu::fill()
{
    clear();
    if (history.entries().empty()) {
        addAction(QStringLiteral("No statement has run yet"))->setEnabled(false);
        return;
    }
    for (const StatementHistory::Entry &entry : history.entries()) {
        // An ampersand in a statement is no accelerator.
        QString line = StatementHistory::entryLine(entry);
        line.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *action = addAction(line);
        action->setToolTip(entry.statement);
        connect(action, &QAction::triggered, this,
                [this, statement = entry.statement] { emit picked(statement); });
    }
}
