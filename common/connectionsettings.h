#pragma once

#include <QString>

// The four values with which every connection reaches the server. They live in memory only
// and start at the defaults on every start of the program.
struct ConnectionSettings
{
    QString host = QStringLiteral("localhost");
    QString database = QStringLiteral("orvex");
    QString userName = QStringLiteral("root");
    QString password = QStringLiteral("qxzv");

    bool operator==(const ConnectionSettings &) const = default;
};
