#include "app/sqlmemokeys.h"

#include "run/statementhistory.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

SqlMemoKeys::SqlMemoKeys(QPlainTextEdit *memo, StatementHistory &history, QPushButton *submit)
    : QObject(memo)
    , memo(memo)
    , history(history)
    , submit(submit)
{
    memo->installEventFilter(this);
}

QString SqlMemoKeys::memoText(const QPlainTextEdit &memo)
{
    // The document's raw text keeps every character as typed (a no-break space stays one);
    // its blocks are the typed lines.
    QString text = memo.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

bool SqlMemoKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == memo && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (take(*key))
            return true;
        // Enter alone, or with another modifier than Ctrl, must not split the statement.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return true;
    }
    return QObject::eventFilter(watched, event);
}

bool SqlMemoKeys::take(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers modifiers =
        key.modifiers() & ~Qt::KeypadModifier & ~Qt::GroupSwitchModifier;
    const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
    // Ctrl+Enter is how a person breaks a line in such a memo, to type a statement over
    // several lines; it never runs a half-typed one.
    if (enter && modifiers == Qt::ControlModifier) {
        memo->textCursor().insertBlock();
        memo->ensureCursorVisible();
        return true;
    }
    if (key.key() == Qt::Key_F5 && modifiers == Qt::NoModifier) {
        submit->click();
        return true;
    }
    if (modifiers != Qt::ControlModifier || (key.key() != Qt::Key_Up && key.key() != Qt::Key_Down))
        return false;
    const std::optional<QString> statement =
        key.key() == Qt::Key_Up ? history.older(memoText(*memo)) : history.newer();
    if (statement) {
        memo->setPlainText(*statement);
        memo->moveCursor(QTextCursor::End);
    }
    return true;
}
