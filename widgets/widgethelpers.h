#pragma once

#include <QFrame>
#include <QRect>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// How the windows build themselves: each control is made under its parent with the object name
// that tests, accessibility tools and the tab order go by, and most windows place their controls
// at designed pixel positions rather than in layouts.
namespace Widgets {

// Gives the widget its object name and returns it, so it can be made, named and stored at once.
template<typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The same, with the name a screen reader says for it.
template<typename Widget> Widget *named(Widget *widget, const char *name, const QString &accessible)
{
    named(widget, name)->setAccessibleName(accessible);
    return widget;
}

// Names the widget and sets its geometry: for controls that need nothing else at creation.
template<typename Widget> Widget *placed(Widget *widget, const char *name, const QRect &geometry)
{
    named(widget, name)->setGeometry(geometry);
    return widget;
}

// A label placed by its top-left corner and sized to its caption, so no caption is ever cut.
QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top);
QLineEdit *edit(QWidget *parent, const char *name, const QString &text, const QRect &geometry);
QCheckBox *check(QWidget *parent, const char *name, const QString &text, bool checked,
                 const QRect &geometry);

// Buttons are never auto-default: a dialog makes an auto-default button its default when it is
// shown or once the button has had the focus, and Enter in any of its boxes would then press
// it. This one stands at a designed geometry...
QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &geometry);
// ...and this one in a layout, with a tool tip that says what it does.
QPushButton *button(QWidget *parent, const char *name, const QString &text, const QString &tip);

// A sunken box drawn around a group of controls.
QFrame *bevel(QWidget *parent, const char *name, const QRect &geometry);
// An area of a window holding controls, by default without a frame of its own.
QFrame *panel(QWidget *parent, const char *name, int frameStyle = QFrame::NoFrame);

// The pixel size of the font every window's boxes are sized for.
constexpr int designFontPixels = 11;
// Gives the window a narrow sans at the design size, preferring a family metric-compatible with
// the one the boxes were measured with where it is installed, so every caption fits its box.
// Its controls take it over.
void useDesignFont(QWidget &window);
// Only the design size, in the platform's own family: for text that is read rather than fitted
// into boxes.
void useDesignFontSize(QWidget &window);

// Moves the window so that its frame is centred on the available area of the primary screen.
// Without a screen it stays where it is.
void centreOnScreen(QWidget &window);

} // namespace Widgets
