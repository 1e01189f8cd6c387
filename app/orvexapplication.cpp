#include "app/orvexapplication.h"

#include "common/messageseam.h"

#include <QFileInfo>

#include <cstdio>
#include <exception>

OrvexApplication::OrvexApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{ }

bool OrvexApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showEscapedError(QString::fromUtf8(error.what()));
    } catch (...) {
        showEscapedError(QStringLiteral("Unknown error"));
    }
    return false;
}

void OrvexApplication::showEscapedError(const QString &message)
{
    const QString text = errorText(message);
    if (messages)
        messages->error(applicationTitle(applicationFilePath()), text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString OrvexApplication::applicationTitle(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype stop = name.indexOf(QLatin1Char('.'));
    if (stop >= 0)
        name.truncate(stop);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

QString OrvexApplication::errorText(const QString &message)
{
    // Only the character's code counts: a message ending in a letter, a digit, ':', '?' or ']'
    // gets its full stop; one ending in a blank, '.', '!', ')' or ',' is left as it is.
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + QLatin1Char('.');
}
