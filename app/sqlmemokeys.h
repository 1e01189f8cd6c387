#pragma once

#include <QObject>
#include <QString>

class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class StatementHistory;

// The SQL memo's own keys, taken before the memo sees them: Ctrl+Enter breaks the line, F5 runs
// the statement as Submit SQL does, Ctrl+Up and Ctrl+Down step through the statements run since
// start. Enter alone, or with another modifier than Ctrl, does nothing, so a statement is never
// split by accident.
class SqlMemoKeys : public QObject
{
    Q_OBJECT

public:
    // Watches the memo, which owns it. The history and the button must outlive the memo.
    SqlMemoKeys(QPlainTextEdit *memo, StatementHistory &history, QPushButton *submit);

    // The memo's text as typed: lines split at its line breaks, every character kept.
    static QString memoText(const QPlainTextEdit &memo);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Acts on the key when it is one of the memo's own; true when it was.
    bool take(const QKeyEvent &key);

    QPlainTextEdit *memo;
    StatementHistory &history;
    QPushButton *submit;
};
