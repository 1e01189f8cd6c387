#pragma once

#include <QString>

// Every modal message box of the program goes through this interface, so the window shows real
// boxes while tests read each message and give the answer.
class MessageSeam
{
public:
    virtual ~MessageSeam() = default;

    // "Information" box with the information icon and one OK button.
    virtual void information(const QString &text) = 0;
    // "Warning" box with the warning icon, OK (default) and Cancel. Returns true for OK;
    // Escape and closing the box answer Cancel.
    virtual bool warning(const QString &text) = 0;
    // "Information" box with the information icon, OK (default) and Cancel, for a confirmation.
    // Returns true for OK; Escape and closing the box answer Cancel.
    virtual bool confirm(const QString &text) = 0;
    // Box without caption or icon, for the system's text of an operating-system error.
    virtual void plain(const QString &text) = 0;
    // Error box shown by the event loop for an error that escaped a handler.
    virtual void error(const QString &caption, const QString &text) = 0;
};
