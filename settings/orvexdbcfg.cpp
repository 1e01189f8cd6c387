#include "settings/orvexdbcfg.h"

#include "common/messageseam.h"
#include "widgets/widgethelpers.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using Widgets::button;
using Widgets::edit;
using Widgets::label;

TOrvexSettingsForm::TOrvexSettingsForm(MessageSeam &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
    , messages(messages)
{
    setObjectName(QStringLiteral("OrvexSettingsForm"));
    setWindowTitle(QStringLiteral("Connection settings"));
    setModal(true);
    // The same narrow sans as the main window, so every caption fits its box.
    Widgets::useDesignFont(*this);

    Label1 = label(this, "Label1", QStringLiteral("Host"), 28, 24);
    CfgHost = edit(this, "CfgHost", QString(), {116, 16, 157, 21});
    Label2 = label(this, "Label2", QStringLiteral("Database"), 28, 56);
    CfgDatabase = edit(this, "CfgDatabase", QString(), {116, 52, 157, 21});
    Label3 = label(this, "Label3", QStringLiteral("Username"), 28, 88);
    CfgUser = edit(this, "CfgUser", QString(), {116, 88, 157, 21});
    Label4 = label(this, "Label4", QStringLiteral("Password"), 28, 124);
    // The password is shown in clear, so the user can see what will be sent.
    CfgPw = edit(this, "CfgPw", QString(), {116, 124, 157, 21});
    RevertButton =
        button(this, "RevertButton", QStringLiteral("&Reset to default"), {156, 160, 117, 25});
    CancelButton = button(this, "CancelButton", QStringLiteral("&Cancel"), {48, 200, 103, 25});
    CloseButton = button(this, "CloseButton", QStringLiteral("&Ok"), {168, 200, 105, 25});

    showValues(ConnectionSettings());

    // The boxes top to bottom, then Ok, Reset and Cancel.
    setTabOrder(CfgHost, CfgDatabase);
    setTabOrder(CfgDatabase, CfgUser);
    setTabOrder(CfgUser, CfgPw);
    setTabOrder(CfgPw, CloseButton);
    setTabOrder(CloseButton, RevertButton);
    setTabOrder(RevertButton, CancelButton);

    connect(CloseButton, &QPushButton::clicked, this, &TOrvexSettingsForm::CloseButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TOrvexSettingsForm::CancelButtonClick);
    connect(RevertButton, &QPushButton::clicked, this, &TOrvexSettingsForm::RevertButtonClick);

    // The dialog is designed at 305 x 269 pixels outside, which with a 4-pixel border and a
    // 23-pixel caption leaves this client area. Qt sizes the client area and the window manager
    // adds its own frame around it, so this comes as close to the designed outer size as the
    // platform allows; without a window manager (offscreen) the frame is simply absent.
    resize(297, 242);
}

bool TOrvexSettingsForm::run(ConnectionSettings &settings)
{
    if (exec() != QDialog::Accepted)
        return false;
    settings = editedValues();
    return true;
}

ConnectionSettings TOrvexSettingsForm::editedValues() const
{
    return {CfgHost->text(), CfgDatabase->text(), CfgUser->text(), CfgPw->text()};
}

void TOrvexSettingsForm::showValues(const ConnectionSettings &values)
{
    CfgHost->setText(values.host);
    CfgDatabase->setText(values.database);
    CfgUser->setText(values.userName);
    CfgPw->setText(values.password);
}

void TOrvexSettingsForm::CloseButtonClick()
{
    accept();
}

void TOrvexSettingsForm::CancelButtonClick()
{
    reject();
}

void TOrvexSettingsForm::RevertButtonClick()
{
    // Only the boxes change: the defaults take effect if the dialog then ends with OK.
    if (messages.confirm(QStringLiteral("Are you sure you want to revert to default settings?")))
        showValues(ConnectionSettings());
}

void TOrvexSettingsForm::showEvent(QShowEvent *event)
{
    // Centred the first time; afterwards the dialog comes back where it was last hidden, which
    // Qt keeps once the dialog has been moved.
    if (!placedBefore) {
        placedBefore = true;
        Widgets::centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TOrvexSettingsForm::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject on Escape and press its default button on Enter. Here Escape does
    // nothing, and Enter presses the button that has the focus, if any.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget());
            focused && focused->window() == this && focused->isEnabled()) {
            focused->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
