#pragma once

#include "export/gridtext.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QFileDialog;
class ResultStore;

// The result grid's three exports as the main window's buttons run them, over the grid's store
// (GridModel::store()). The main window wires them like this:
//
//   // a member, made in the constructor: saveDialogs = std::make_unique<QtSaveDialog>(this);
//   std::unique_ptr<SaveDialogSeam> saveDialogs;
//   void TForm1::SaveCSVButtonClick() { SaveGridAsCSV(gridModel->store(), *saveDialogs); }
//   void TForm1::ClipboardCSVButtonClick()
//   {
//       CopyGridToClipboard(gridModel->store(), ClipboardMode::CommaDelimited);
//   }
//   void TForm1::ClipboardSpaceButtonClick()
//   {
//       CopyGridToClipboard(gridModel->store(), ClipboardMode::SpaceAligned);
//   }
//
// connected as the other buttons are, e.g.
//   connect(SaveCSVButton, &QPushButton::clicked, this, &TForm1::SaveCSVButtonClick);
// The handlers catch nothing: a failed save throws ExportError (csvfile.h), and the
// application object's error box shows its text with the final full stop. Tests hand
// SaveGridAsCSV a seam of their own instead of QtSaveDialog.

// The save dialog, asked once per save.
class SaveDialogSeam
{
public:
    virtual ~SaveDialogSeam() = default;
    // Shows the dialog modally; the path the user chose, or nothing when the user cancelled.
    virtual std::optional<QString> chooseSavePath() = 0;
};

// The real save dialog: a new QFileDialog for each save, so it remembers nothing of the last
// one. It lists files by the one filter "Comma delimited (*.csv)", in any letter case, adds no
// extension of its own, does not ask before replacing a file, and can be resized.
class QtSaveDialog : public SaveDialogSeam
{
public:
    explicit QtSaveDialog(QWidget *parent = nullptr)
        : parent(parent)
    { }

    std::optional<QString> chooseSavePath() override;

    // Gives a dialog the settings above; for the dialog made per save and for tests.
    static void configure(QFileDialog &dialog);

    static inline const QString filter = QStringLiteral("Comma delimited (*.csv)");

private:
    QPointer<QWidget> parent;
};

// Asks for a path and writes the grid there as a CSV file, with ".csv" appended unless the
// name ends in it. A cancel touches nothing. The wait cursor shows from the dialog's close to
// the end of the write, whatever the outcome. Throws ExportError when the file cannot be made
// or written; an earlier file of that name is then left as it was.
void SaveGridAsCSV(const ResultStore &grid, SaveDialogSeam &dialogs);

// Puts the grid's text on the clipboard as plain text, replacing what it held. A text too large
// for the memory the system can still give is not made: the clipboard is left as it was and
// the reason is returned (ClipboardRefusal), for the caller to show; else the result is empty.
QString CopyGridToClipboard(const ResultStore &grid, ClipboardMode mode);
// Puts UTF-8 text on the clipboard as plain text.
void PutTextOnClipboard(const QByteArray &text);
