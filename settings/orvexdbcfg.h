#pragma once

#include "common/connectionsettings.h"

#include <QDialog>

class MessageSeam;
class QLabel;
class QLineEdit;
class QPushButton;

// The connection settings dialog: four edit boxes for the values with which connections reach
// the server. Created once at start-up and hidden between uses, so the boxes keep whatever was
// typed into them; they are never reloaded from the program's settings.
class TOrvexSettingsForm : public QDialog
{
    Q_OBJECT

public:
    // The seam shows the reset's confirmation; it must outlive the dialog.
    explicit TOrvexSettingsForm(MessageSeam &messages, QWidget *parent = nullptr);

    // Shows the dialog modally. On OK copies the four boxes' texts into `settings` exactly as
    // they stand and returns true; on Cancel leaves `settings` alone and returns false.
    bool run(ConnectionSettings &settings);

    // The four boxes' texts as they stand.
    ConnectionSettings editedValues() const;

    QLabel *Label1 = nullptr;
    QLineEdit *CfgHost = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *CfgDatabase = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *CfgUser = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *CfgPw = nullptr;
    QPushButton *RevertButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *CloseButton = nullptr;

public slots:
    void CloseButtonClick();
    void CancelButtonClick();
    void RevertButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showValues(const ConnectionSettings &values);

    MessageSeam &messages;
    bool placedBefore = false;
};
