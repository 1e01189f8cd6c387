#pragma once

// Acting on the window's controls as a person does: mouse clicks where a person clicks, keys one
// at a time, picks from a drop-down list's popup. The controls then go through everything their
// signals and focus changes bring, as they do in use.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QWheelEvent>

// Clicks a check box on its indicator.
inline void clickCheckBox(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

// Clicks into an edit box, selects all of its text with Ctrl+A and types the new text key by key.
inline void retype(QLineEdit *edit, const QString &text)
{
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

// The ways a person opens a drop-down list's popup.
enum class ListOpening { Click, F4, AltDown };

// Opens the list's popup, scrolls it with the mouse wheel until the entry is in sight and clicks
// the entry. Returns false when the popup did not open or the entry was not found.
inline bool pickFromList(QComboBox *combo, const QString &entry, ListOpening opening)
{
    const int row = combo->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row < 0)
        return false;
    switch (opening) {
    case ListOpening::Click: {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.subControls = QStyle::SC_All;
        const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxArrow, combo);
        QTest::mouseClick(combo, Qt::LeftButton, {}, arrow.center());
        // The popup takes no release of the button that opened it within a double-click's
        // time; a person's next click comes later than that.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        break;
    }
    case ListOpening::F4:
        QTest::keyClick(combo->isEditable() ? static_cast<QWidget *>(combo->lineEdit()) : combo,
                        Qt::Key_F4);
        break;
    case ListOpening::AltDown:
        QTest::keyClick(combo->isEditable() ? static_cast<QWidget *>(combo->lineEdit()) : combo,
                        Qt::Key_Down, Qt::AltModifier);
        break;
    }
    QAbstractItemView *view = combo->view();
    if (!QTest::qWaitFor([view] { return view->isVisible(); }))
        return false;
    QWidget *viewport = view->viewport();
    const QModelIndex index = combo->model()->index(row, combo->modelColumn());
    for (int turns = 0; turns < 100 && !viewport->rect().contains(view->visualRect(index));
         ++turns) {
        const QPoint at = viewport->rect().center();
        const int step = view->visualRect(index).top() < 0 ? 120 : -120;
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, step), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    }
    if (!viewport->rect().contains(view->visualRect(index)))
        return false;
    QTest::mouseClick(viewport, Qt::LeftButton, {}, view->visualRect(index).center());
    return QTest::qWaitFor([view] { return !view->isVisible(); });
}

// Acts on an editable drop-down list by a script of steps:
//   "type:TEXT"        clicks into its text, selects all with Ctrl+A and types TEXT key by key
//   "keys:TEXT"        types TEXT key by key where the cursor is
//   "key:Backspace"    presses Backspace, "key:Delete" Delete
//   "pickClick:ENTRY"  picks ENTRY from the popup opened by a click on the arrow
//   "pickF4:ENTRY"     the same, opened with F4; "pickAltDown:ENTRY" opened with Alt+Down
// Returns the steps that could not be done, empty when all were.
inline QStringList actOnChooser(QComboBox *combo, const QStringList &steps)
{
    QStringList failed;
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(':'), 0, 0);
        const QString text = step.section(QLatin1Char(':'), 1);
        bool done = true;
        if (what == QLatin1String("type")) {
            retype(combo->lineEdit(), text);
        } else if (what == QLatin1String("keys")) {
            QTest::keyClicks(combo->lineEdit(), text);
        } else if (step == QLatin1String("key:Backspace")) {
            QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);
        } else if (step == QLatin1String("key:Delete")) {
            QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
        } else if (what == QLatin1String("pickClick")) {
            done = pickFromList(combo, text, ListOpening::Click);
        } else if (what == QLatin1String("pickF4")) {
            done = pickFromList(combo, text, ListOpening::F4);
        } else if (what == QLatin1String("pickAltDown")) {
            done = pickFromList(combo, text, ListOpening::AltDown);
        } else {
            done = false;
        }
        if (!done)
            failed << step;
    }
    return failed;
}
