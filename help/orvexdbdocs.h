#pragma once

#include <QWidget>

class QFrame;
class QPushButton;
class QTextEdit;

// The help window: a fixed text on how to state a search. Created once, hidden; shown
// without modality and hidden again by Close, keeping its text, size and place.
class TOrvexNavigatorDocForm : public QWidget
{
    Q_OBJECT

public:
    explicit TOrvexNavigatorDocForm(QWidget *parent = nullptr);

    // Makes the window visible and brings it to the front; centred on the screen the first time.
    void showHelp();

    // The help text, one entry per line.
    static const QStringList &helpLines();

    QFrame *Panel1 = nullptr;
    QPushButton *CloseButton = nullptr;
    QFrame *Panel2 = nullptr;
    QTextEdit *RichEdit1 = nullptr;

public slots:
    void CloseButtonClick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool shownBefore = false;
};
