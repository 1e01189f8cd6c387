#pragma once

#include <QMenu>

class StatementHistory;

// The drop-down list of the statements run since the program started, newest first, made
// afresh each time it opens. Picking one hands its statement back; nothing is run.
class HistoryMenu : public QMenu
{
    Q_OBJECT

public:
    // The history must outlive the menu.
    HistoryMenu(const StatementHistory &history, QWidget *parent = nullptr);

signals:
    void picked(const QString &statement);

private:
    void fill();

    const StatementHistory &history;
};
