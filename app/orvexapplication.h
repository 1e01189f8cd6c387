#pragma once

#include <QApplication>

class MessageSeam;

// The program's application object. An error that escapes an event handler is shown in an
// error box, and the event loop goes on with the next event.
class OrvexApplication : public QApplication
{
    Q_OBJECT

public:
    OrvexApplication(int &argc, char **argv);

    // The seam through which escaped errors are shown; none means they are only written to
    // the standard error output.
    void setMessageSeam(MessageSeam *seam) { messages = seam; }

    bool notify(QObject *receiver, QEvent *event) override;

    // Caption of error boxes: the program file's name without its folder, cut at the first
    // full stop, every letter after the first in lower case.
    static QString applicationTitle(const QString &programPath);

    // The error box text: the error's message with a final full stop added when the code of
    // its last character is above that of the full stop (a letter, a digit, but also ':', '?'
    // or ']'); a message ending in a blank, a full stop or a character below it ('!', ')',
    // ',') is left as it is.
    static QString errorText(const QString &message);

private:
    void showEscapedError(const QString &message);

    MessageSeam *messages = nullptr;
};
