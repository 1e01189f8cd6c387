#pragma once

#include <QComboBox>

// An editable drop-down list that completes typed text from its entries as the platform's list
// boxes do: in the same edit, so a half-typed prefix never stands as the text when an entry
// begins with it, with the letter case matched exactly, and without ever rewriting the text to
// an entry in another letter case. The entry selected is always the one whose text is the shown
// text, letter for letter, or none.
class CompletingComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit CompletingComboBox(QWidget *parent = nullptr);

    // The entry whose text is the shown text, letter for letter; -1 when there is none.
    int entryShown() const;
    // Shows the text, with the entry of exactly that text selected, or none.
    void showText(const QString &text);

signals:
    // Once for each action of the user on the text: a pick from the list (the entry already
    // shown included), or an edit of the text together with its completion.
    void changedByUser();

private:
    void completeEdit(const QString &edited);
    void selectEntryShown();
    void rememberUnselectedLength();

    // The length of the text outside its selection, as it stood before the user's edit: an edit
    // that leaves no more than that took text away, and a deletion is not completed again.
    qsizetype unselectedBefore = 0;
};
