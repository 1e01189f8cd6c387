#pragma once

#include <QString>
#include <QtGlobal>

// The offscreen platform reports window-manager requests it cannot carry out ("This plugin does
// not support ..."); they say nothing about the program, so GUI tests drop them and pass every
// other message on to the test library's own handler.
inline QtMessageHandler &platformNoticeNextHandler()
{
    static QtMessageHandler next = nullptr;
    return next;
}

inline void dropPlatformNotices(QtMsgType type, const QMessageLogContext &context,
                                const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    platformNoticeNextHandler()(type, context, message);
}

// Call from initTestCase, when the test library's handler is in place.
inline void installPlatformNoticeFilter()
{
    platformNoticeNextHandler() = qInstallMessageHandler(dropPlatformNotices);
}
