#include "app/gridexport.h"

#include "export/csvfile.h"
#include "export/gridtext.h"
#include "store/memorybudget.h"
#include "store/resultstore.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QMimeData>
#include <QStringList>

namespace {

// The wait cursor for as long as the object lives, so it goes back on every way out.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

std::optional<QString> QtSaveDialog::chooseSavePath()
{
    QFileDialog dialog(parent);
    configure(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

void QtSaveDialog::configure(QFileDialog &dialog)
{
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog matches the filter's pattern in any letter case, as a system dialog on
    // this platform need not.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QString());
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setSizeGripEnabled(true);
}

void SaveGridAsCSV(const ResultStore &grid, SaveDialogSeam &dialogs)
{
    const std::optional<QString> chosen = dialogs.chooseSavePath();
    if (!chosen)
        return;
    const WaitCursor busy;
    SaveCSVFile(grid, *chosen);
}

QString CopyGridToClipboard(const ResultStore &grid, ClipboardMode mode)
{
    const QString refusal =
        ClipboardRefusal(ClipboardTextBytes(grid, mode), AvailableMemoryBytes());
    if (!refusal.isEmpty())
        return refusal;
    PutTextOnClipboard(BuildClipboardText(grid, mode));
    return {};
}

void PutTextOnClipboard(const QByteArray &text)
{
    // The UTF-8 bytes go to the clipboard as they are, under both names of plain text, so a
    // copy of a million rows is not converted to UTF-16 first; QMimeData::text() reads them.
    auto *content = new QMimeData;
    content->setData(QStringLiteral("text/plain;charset=utf-8"), text);
    content->setData(QStringLiteral("text/plain"), text);
    QGuiApplication::clipboard()->setMimeData(content);
}
