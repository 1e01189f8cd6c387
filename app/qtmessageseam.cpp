#include "app/qtmessageseam.h"

#include "widgets/widgethelpers.h"

#include <QMessageBox>

namespace {

int runCentred(QMessageBox &box)
{
    // A server's error text or a file name is shown as it is, also when it looks like markup.
    box.setTextFormat(Qt::PlainText);
    box.adjustSize();
    Widgets::centreOnScreen(box);
    return box.exec();
}

} // namespace

void QtMessageSeam::information(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok);
    runCentred(box);
}

bool QtMessageSeam::warning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text,
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return runCentred(box) == QMessageBox::Ok;
}

bool QtMessageSeam::confirm(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text,
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return runCentred(box) == QMessageBox::Ok;
}

void QtMessageSeam::plain(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
    runCentred(box);
}

void QtMessageSeam::error(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    runCentred(box);
}
