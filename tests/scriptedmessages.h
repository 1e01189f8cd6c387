#pragma once

#include "common/messageseam.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Records every message box the program asks for and answers warnings from a script.
// A warning beyond the script is a test failure waiting to happen, so it is recorded with
// the answer OK and flagged by `unscripted`.
class ScriptedMessages : public MessageSeam
{
public:
    struct Shown
    {
        QString kind; // "information", "warning", "confirm", "plain" or "error"
        QString caption;
        QString text;
        bool operator==(const Shown &) const = default;
    };

    void information(const QString &text) override
    {
        shown.append({QStringLiteral("information"), QStringLiteral("Information"), text});
        if (onInformation)
            onInformation(text);
    }
    bool warning(const QString &text) override
    {
        shown.append({QStringLiteral("warning"), QStringLiteral("Warning"), text});
        if (answers.isEmpty()) {
            ++unscripted;
            return true;
        }
        return answers.takeFirst();
    }
    bool confirm(const QString &text) override
    {
        shown.append({QStringLiteral("confirm"), QStringLiteral("Information"), text});
        if (answers.isEmpty()) {
            ++unscripted;
            return true;
        }
        return answers.takeFirst();
    }
    void plain(const QString &text) override
    {
        shown.append({QStringLiteral("plain"), QString(), text});
    }
    void error(const QString &caption, const QString &text) override
    {
        shown.append({QStringLiteral("error"), caption, text});
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown &s : shown)
            result << s.text;
        return result;
    }

    QList<bool> answers; // answers to warnings and confirmations, in order; true is OK
    QList<Shown> shown;
    int unscripted = 0;
    // Runs while an information box is up, as a user's actions behind a box would.
    std::function<void(const QString &)> onInformation;
};
