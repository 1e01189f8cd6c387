// The helpers the windows build their controls with: buttons that Enter in a box never presses,
// labels that show their whole caption, the two fonts and the centring on the screen.
#include "tests/platformnotices.h"
#include "widgets/widgethelpers.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

using ButtonMaker = std::function<QPushButton *(QWidget *parent)>;
using FontSetter = std::function<void(QWidget &window)>;
Q_DECLARE_METATYPE(ButtonMaker)
Q_DECLARE_METATYPE(FontSetter)

class TestWidgetHelpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installPlatformNoticeFilter(); }

    // A dialog makes its first auto-default button the default when it is shown, and Enter in
    // any box would then press it: in the settings dialog, Enter in the password box would
    // reset the settings or cancel the dialog.
    void enterInABoxPressesNoButton_data()
    {
        QTest::addColumn<ButtonMaker>("make");
        QTest::newRow("at a geometry") << ButtonMaker([](QWidget *parent) {
            return Widgets::button(parent, "Button", QStringLiteral("&Reset"), {8, 40, 90, 25});
        });
        QTest::newRow("in a layout") << ButtonMaker([](QWidget *parent) {
            auto *b = Widgets::button(parent, "Button", QStringLiteral("&Reset"),
                                      QStringLiteral("Reset the values"));
            parent->layout()->addWidget(b);
            return b;
        });
    }
    void enterInABoxPressesNoButton()
    {
        QFETCH(ButtonMaker, make);
        QDialog dialog;
        new QVBoxLayout(&dialog);
        auto *box = new QLineEdit(&dialog);
        dialog.layout()->addWidget(box);
        QPushButton *button = make(&dialog);
        int presses = 0;
        connect(button, &QPushButton::clicked, this, [&] { ++presses; });
        int rejects = 0;
        connect(&dialog, &QDialog::rejected, this, [&] { ++rejects; });

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(presses, 0);
        QVERIFY(!button->isDefault());
        QVERIFY(dialog.isVisible());

        // A click still presses it.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(presses, 1);
        QCOMPARE(rejects, 0);
    }

    // A label is placed by its top-left corner and made as wide as its caption, whatever the
    // caption: none is cut by a width fixed in advance.
    void labelShowsItsWholeCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << QStringLiteral("to") << QStringLiteral("to");
        QTest::newRow("long") << QStringLiteral("(western hemisphere is negative), and more")
                              << QStringLiteral("(western hemisphere is negative), and more");
        QTest::newRow("mnemonic") << QStringLiteral("&Database") << QStringLiteral("Database");
        QTest::newRow("empty") << QString() << QString();
    }
    void labelShowsItsWholeCaption()
    {
        QFETCH(QString, caption);
        QFETCH(QString, shown);
        QWidget window;
        Widgets::useDesignFont(window);
        QLabel *label = Widgets::label(&window, "Caption", caption, 24, 12);
        QCOMPARE(label->objectName(), QStringLiteral("Caption"));
        QCOMPARE(label->pos(), QPoint(24, 12));
        QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(shown),
                 qPrintable(QStringLiteral("%1 px for %2 px of text")
                                .arg(label->width())
                                .arg(label->fontMetrics().horizontalAdvance(shown))));
    }

    // The boxes' windows get the narrow family the boxes were measured with; the help text keeps
    // the platform's family. Both are at the design size, which every control of the window
    // takes over, also one made before the font was set.
    void fontsOfTheWindows_data()
    {
        QTest::addColumn<FontSetter>("use");
        QTest::addColumn<bool>("narrow");
        QTest::newRow("boxes") << FontSetter(Widgets::useDesignFont) << true;
        QTest::newRow("text") << FontSetter(Widgets::useDesignFontSize) << false;
    }
    void fontsOfTheWindows()
    {
        QFETCH(FontSetter, use);
        QFETCH(bool, narrow);
        QWidget window;
        const QStringList platformFamilies = window.font().families();
        auto *before = new QLabel(QStringLiteral("before"), &window);
        use(window);
        auto *after = new QLabel(QStringLiteral("after"), &window);
        for (const QWidget *w :
             {static_cast<const QWidget *>(&window), static_cast<const QWidget *>(before),
              static_cast<const QWidget *>(after)}) {
            QCOMPARE(w->font().pixelSize(), Widgets::designFontPixels);
            if (narrow)
                QCOMPARE(w->font().families().value(0), QStringLiteral("Liberation Sans"));
            else
                QCOMPARE(w->font().families(), platformFamilies);
        }
    }

    // Wherever the window stood and whatever its size, its frame ends up on the middle of the
    // screen's available area, shown or not yet.
    void centredOnTheScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<bool>("shown");
        QTest::newRow("small, hidden") << QSize(297, 242) << QPoint(0, 0) << false;
        QTest::newRow("small, shown") << QSize(297, 242) << QPoint(0, 0) << true;
        QTest::newRow("large, off to the right") << QSize(823, 632) << QPoint(900, 500) << false;
        QTest::newRow("odd sizes, shown") << QSize(301, 173) << QPoint(37, 11) << true;
    }
    void centredOnTheScreen()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, from);
        QFETCH(bool, shown);
        QWidget window;
        window.resize(size);
        window.move(from);
        if (shown) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        Widgets::centreOnScreen(window);
        QCOMPARE(window.size(), size);
        const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
        const QPoint offset = window.frameGeometry().center() - centre;
        QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
                 qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));
    }
};

QTEST_MAIN(TestWidgetHelpers)
#include "tst_widgets.moc"
