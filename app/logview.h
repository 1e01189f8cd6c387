#pragma once

#include "store/logstore.h"

#include <QAbstractScrollArea>

#include <memory>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QTextLayout;

// The log memo: a read-only view over the program's log lines, which can hold one line per
// record of a result of millions of records. Only the lines on screen are laid out, each
// wrapped at the view's width; the lines themselves stay in a LogStore and are never changed by
// the wrapping. The vertical scroll bar counts lines, so its range stays small whatever the
// lines' lengths. While the view shows the end of the log it follows new lines.
//
// The user selects whole lines, with the mouse (click, drag, Shift+click) or the keyboard
// (arrows, Page Up/Down, Home/End; with Shift to extend; Ctrl+A for all), and copies them with
// Ctrl+C or the context menu: the selected lines joined by "\n". Typing changes nothing.
//
// Assistive technology reads the log as read-only text, the lines joined by "\n"
// (logaccessible.h); the view reports lines added and the log cleared to it.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    const LogStore &store() const { return log; }
    qsizetype lineCount() const { return log.lineCount(); }
    QString line(qsizetype index) const { return log.line(index); }
    // All lines joined by "\n": for tests and small logs.
    QString toPlainText() const;

    // Appending costs no layout: at most a few lines at the end are laid out later, once, to
    // fit the scroll range, however many lines came in the meantime.
    void appendLine(const QString &text);
    // As a plain text box adds text: each line of the text (split at "\n") becomes a line.
    void appendPlainText(const QString &text);
    // One line per record of the batch (the record's echo line), sharing the batch's storage.
    void appendEchoLines(std::shared_ptr<const RecordBatch> batch);
    void clear();
    // Replaces the log by the lines of the text; an empty text leaves no line.
    void setPlainText(const QString &text);

    bool hasSelection() const { return selecting; }
    // The selected lines, first to last, joined by "\n"; empty without a selection.
    QString selectedText() const;
    void selectAll();
    // Puts the selected text on the clipboard; does nothing without a selection.
    void copy() const;
    // The first line at the top of the view.
    qsizetype firstVisibleLine() const;

    // The first and last selected line; -1 and -1 without a selection.
    std::pair<qsizetype, qsizetype> selectedLines() const;
    // Selects the lines from first to last, the cursor on last, and scrolls to it.
    void selectLines(qsizetype first, qsizetype last);
    void clearSelection();
    // The line the keys move from.
    qsizetype cursorLine() const { return cursor; }
    // The line under a viewport position; above or below the lines shown, the first or last
    // one; -1 without lines.
    qsizetype lineAt(int y) const;
    // The line's place in the viewport; a null rectangle when it is not on screen.
    QRect lineRect(qsizetype index) const;
    // Scrolls as little as needed to show the line whole.
    void ensureVisible(qsizetype index);
    // Changes whenever lines are taken away (clear, setPlainText), never when lines are added.
    quint64 clearCount() const { return clears; }

    // The view's context menu: "Copy" and "Select All". The caller owns it.
    QMenu *createStandardContextMenu();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    struct Placed
    {
        qsizetype index;
        int top;
        int height;
    };

    int textWidth() const;
    int layOut(QTextLayout &layout, qsizetype index) const;
    int lineHeight(qsizetype index) const;
    std::vector<Placed> visibleLines() const;

    int estimatedLinesPerPage() const;
    qsizetype linesFittingAtEnd() const;
    void setScrollRange(qsizetype linesOnLastPage);
    void linesAppended();
    void fitScrollRange();

    void moveCursor(qsizetype to, bool extend);
    bool isSelected(qsizetype index) const;
    // Tells assistive technology of the lines from first on, just added.
    void announceLines(qsizetype first, qint64 position);
    // Where the text of lines appended now will start, for announceLines; -1 when no assistive
    // technology listens.
    qint64 textEnd() const;

    LogStore log;
    bool selecting = false;
    qsizetype anchor = 0;
    qsizetype cursor = 0;
    bool followEnd = false;
    bool fitPending = false;
    quint64 clears = 0;
    QAction *copyAction;
    QAction *selectAllAction;
};
