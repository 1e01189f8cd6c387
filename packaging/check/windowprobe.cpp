// A library that scripts/package.sh loads into the installed program (LD_PRELOAD) to see that
// its main window comes up. It is never installed and the program knows nothing of it.
//
// When the program's application object is made, the probe waits for a visible, exposed
// top-level window with the title in WINDOWPROBE_TITLE, up to WINDOWPROBE_TIMEOUT seconds
// (default 20). It then checks that the window has drawn something (its image has more than a
// few colours), that it holds push buttons, and that every resource listed in
// WINDOWPROBE_RESOURCES (separated by ';', e.g. ":/finder/stations.tsv") opens and is not
// empty, and that the program names the desktop entry WINDOWPROBE_DESKTOP_ID as its own, when
// that is set. It saves the window's image to WINDOWPROBE_SCREENSHOT when that is set,
// prints one line starting "windowprobe: ok" and ends the program with status 0. Anything else
// prints "windowprobe: FAIL ..." and ends it with status 97.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int failStatus = 97;

QString env(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

void say(const QString &text)
{
    std::fprintf(stderr, "windowprobe: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

[[noreturn]] void fail(const QString &why)
{
    say(QStringLiteral("FAIL ") + why);
    // Out at once: the program may sit in a modal loop, or may not end on its own.
    std::_Exit(failStatus);
}

QWidget *findWindow(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == title && w->isVisible() && w->windowHandle()
            && w->windowHandle()->isExposed())
            return w;
    }
    return nullptr;
}

QString topLevelTitles()
{
    QStringList titles;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            titles << QStringLiteral("'%1'").arg(w->windowTitle());
    }
    return titles.isEmpty() ? QStringLiteral("none visible") : titles.join(QStringLiteral(", "));
}

void inspect(QWidget *window)
{
    const QImage image = window->grab().toImage();
    if (image.isNull() || image.width() < 100 || image.height() < 100)
        fail(QStringLiteral("the window's image is %1x%2").arg(image.width()).arg(image.height()));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() <= 1000; y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    }
    // A window whose widgets or text failed to draw is one or two flat colours.
    if (colours.size() < 8)
        fail(QStringLiteral("the window's image has only %1 colours").arg(colours.size()));

    QStringList buttons;
    for (QPushButton *b : window->findChildren<QPushButton *>()) {
        if (b->isVisible())
            buttons << b->text().remove(QLatin1Char('&'));
    }
    if (buttons.isEmpty())
        fail(QStringLiteral("the window shows no buttons"));

    const QStringList resources =
        env("WINDOWPROBE_RESOURCES").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &path : resources) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
            fail(QStringLiteral("resource %1 is missing or empty").arg(path));
    }

    // The desktop matches the program's windows to its menu entry by this name.
    const QString desktopId = env("WINDOWPROBE_DESKTOP_ID");
    if (!desktopId.isEmpty() && QGuiApplication::desktopFileName() != desktopId)
        fail(QStringLiteral("the program names its desktop entry '%1', not '%2'")
                 .arg(QGuiApplication::desktopFileName(), desktopId));

    const QString shot = env("WINDOWPROBE_SCREENSHOT");
    if (!shot.isEmpty() && !image.save(shot, "PNG"))
        fail(QStringLiteral("cannot save the window's image to %1").arg(shot));

    say(QStringLiteral("ok: window '%1' shown on platform %2, %3x%4, %5%6 colours, %7 buttons (%8)"
                       ", resources found: %9, desktop entry '%10'%11")
            .arg(window->windowTitle(), QGuiApplication::platformName())
            .arg(image.width())
            .arg(image.height())
            .arg(colours.size() > 1000 ? QStringLiteral("over ") : QString())
            .arg(qMin<qsizetype>(colours.size(), 1000))
            .arg(buttons.size())
            .arg(buttons.join(QStringLiteral(", ")))
            .arg(resources.isEmpty() ? QStringLiteral("none asked")
                                     : resources.join(QStringLiteral(", ")))
            .arg(QGuiApplication::desktopFileName())
            .arg(shot.isEmpty() ? QString() : QStringLiteral(", image saved to ") + shot));
    QCoreApplication::exit(0);
}

void startWatching()
{
    const QString title = env("WINDOWPROBE_TITLE");
    if (title.isEmpty())
        fail(QStringLiteral("WINDOWPROBE_TITLE is not set"));
    bool ok = false;
    int timeout = env("WINDOWPROBE_TIMEOUT").toInt(&ok);
    if (!ok || timeout <= 0)
        timeout = 20;

    auto *poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(100);
    auto *waited = new int(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        if (QWidget *window = findWindow(title)) {
            poll->stop();
            // One more turn of the event loop, so the first paint is done before the grab.
            QTimer::singleShot(200, window, [window] { inspect(window); });
            return;
        }
        if (++*waited * 100 >= timeout * 1000)
            fail(QStringLiteral("no window titled '%1' within %2 s; top-level windows: %3")
                     .arg(title)
                     .arg(timeout)
                     .arg(topLevelTitles()));
    });
    poll->start();
}

// Runs inside the application object's construction; the watch starts with its event loop.
void onApplicationMade()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        fail(QStringLiteral("the program made no QApplication"));
    QMetaObject::invokeMethod(QCoreApplication::instance(), startWatching, Qt::QueuedConnection);
}

struct Register
{
    Register() { qAddPreRoutine(onApplicationMade); }
} registerProbe;

} // namespace
