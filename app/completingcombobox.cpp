#include "app/completingcombobox.h"

#include <QLineEdit>

CompletingComboBox::CompletingComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Qt's own completer ignores letter case, and when the box loses the focus it replaces the
    // text with the entry it matches in another case. The box completes by itself instead.
    setCompleter(nullptr);

    QLineEdit *edit = lineEdit();
    // A user's edit is announced before the line edit reports the cursor and selection it
    // leaves, so what was kept of the text before the edit is still known when it comes.
    connect(edit, &QLineEdit::textEdited, this, &CompletingComboBox::completeEdit);
    connect(edit, &QLineEdit::textChanged, this, &CompletingComboBox::rememberUnselectedLength);
    connect(edit, &QLineEdit::selectionChanged, this,
            &CompletingComboBox::rememberUnselectedLength);
    connect(edit, &QLineEdit::cursorPositionChanged, this,
            &CompletingComboBox::rememberUnselectedLength);
    // A pick from the list, by mouse or keys, also of the entry already shown.
    connect(this, &QComboBox::activated, this, &CompletingComboBox::changedByUser);
}

int CompletingComboBox::entryShown() const
{
    const QString shown = currentText();
    for (int i = 0; i < count(); ++i) {
        if (itemText(i) == shown)
            return i;
    }
    return -1;
}

void CompletingComboBox::showText(const QString &text)
{
    setEditText(text);
    selectEntryShown();
}

void CompletingComboBox::rememberUnselectedLength()
{
    const QLineEdit *edit = lineEdit();
    unselectedBefore = edit->text().size() - edit->selectedText().size();
}

void CompletingComboBox::completeEdit(const QString &edited)
{
    QLineEdit *edit = lineEdit();
    // Only text that grew at its end is completed: typing or pasting there, not a deletion,
    // which would otherwise bring back what the user just took away.
    const bool grewAtEnd =
        edited.size() > unselectedBefore && edit->cursorPosition() == edited.size();
    if (grewAtEnd) {
        // The first entry in list order that begins with the text, as the platform finds it.
        for (int i = 0; i < count(); ++i) {
            const QString entry = itemText(i);
            if (!entry.startsWith(edited, Qt::CaseSensitive))
                continue;
            if (entry.size() > edited.size()) {
                edit->setText(entry);
                // The completed tail stays selected, so the next key typed replaces it.
                edit->setSelection(int(entry.size()), int(edited.size() - entry.size()));
            }
            break;
        }
    }
    selectEntryShown();
    emit changedByUser();
}

void CompletingComboBox::selectEntryShown()
{
    const int entry = entryShown();
    if (entry == currentIndex())
        return;
    if (entry >= 0) {
        // The entry's text is the one shown, so the line edit keeps its cursor and selection.
        setCurrentIndex(entry);
        return;
    }
    // Selecting no entry empties the line edit; the text and its cursor and selection are put
    // back as they were.
    QLineEdit *edit = lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int selectionStart = edit->selectionStart();
    const int selectionLength = edit->selectionLength();
    setCurrentIndex(-1);
    edit->setText(text);
    if (selectionLength <= 0)
        edit->setCursorPosition(cursor);
    else if (cursor == selectionStart)
        edit->setSelection(selectionStart + selectionLength, -selectionLength);
    else
        edit->setSelection(selectionStart, selectionLength);
}
