#pragma once

#include "common/messageseam.h"

class QWidget;

// The real message boxes: modal, centred on the screen.
class QtMessageSeam : public MessageSeam
{
public:
    void information(const QString &text) override;
    bool warning(const QString &text) override;
    bool confirm(const QString &text) override;
    void plain(const QString &text) override;
    void error(const QString &caption, const QString &text) override;
};
