#include "run/canceltexts.h"

QString killingQueryLine(const QString &processId)
{
    return QStringLiteral("Killing query ") + processId + QStringLiteral("...");
}

QString killedQueryLine(const QString &processId)
{
    return QStringLiteral("Killed query ") + processId + QLatin1Char('.');
}
