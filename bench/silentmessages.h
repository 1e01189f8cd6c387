#pragma once

#include "common/messageseam.h"

// Answers every message box of a benchmark at once, as the user who clicks OK would: nothing
// waits for a person.
class SilentMessages : public MessageSeam
{
public:
    void information(const QString &) override { }
    bool warning(const QString &) override { return true; }
    bool confirm(const QString &) override { return true; }
    void plain(const QString &) override { }
    void error(const QString &, const QString &) override { }
};
