#include "widgets/widgethelpers.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace Widgets {

QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top)
{
    auto *l = named(new QLabel(text, parent), name);
    l->move(left, top);
    l->adjustSize();
    return l;
}

QLineEdit *edit(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    return placed(new QLineEdit(text, parent), name, geometry);
}

QCheckBox *check(QWidget *parent, const char *name, const QString &text, bool checked,
                 const QRect &geometry)
{
    auto *c = named(new QCheckBox(text, parent), name);
    c->setChecked(checked);
    c->setGeometry(geometry);
    return c;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *b = placed(new QPushButton(text, parent), name, geometry);
    b->setAutoDefault(false);
    return b;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, const QString &tip)
{
    auto *b = named(new QPushButton(text, parent), name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

QFrame *bevel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *f = named(new QFrame(parent), name);
    f->setFrameStyle(QFrame::Box | QFrame::Sunken);
    f->setGeometry(geometry);
    return f;
}

QFrame *panel(QWidget *parent, const char *name, int frameStyle)
{
    auto *p = named(new QFrame(parent), name);
    p->setFrameStyle(frameStyle);
    return p;
}

void useDesignFont(QWidget &window)
{
    QFont font = window.font();
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(designFontPixels);
    window.setFont(font);
}

void useDesignFontSize(QWidget &window)
{
    QFont font = window.font();
    font.setPixelSize(designFontPixels);
    window.setFont(font);
}

void centreOnScreen(QWidget &window)
{
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

} // namespace Widgets
