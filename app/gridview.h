#pragma once

#include "export/gridselection.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QPersistentModelIndex>
#include <QPointer>

class QAbstractItemModel;
class QAction;
class QHeaderView;
class QMenu;

// The result grid's view: a table of text cells over a table model (the grid's GridModel), the
// model's horizontal header as its column names, both scroll bars. Every row has the same
// height, so the view keeps nothing per row: where a row is on screen follows from its number,
// and ten million rows cost the view no more than ten. (A QTableView keeps an entry per row in
// its row header, hidden or not, and with millions of rows its layout after rows are added
// stalls the window for a tenth of a second whenever that list doubles.) Only the rows on
// screen are painted, and rows added below them change only the scroll bar.
//
// The vertical scroll bar counts rows: its value is the first row shown. The horizontal one
// counts pixels. A click or the keys move the current cell (arrows, Page Up/Down, Home/End, with
// Ctrl Home/End to the first or last row) and the view scrolls to keep it in sight.
//
// The selection is a few blocks of cells (GridSelection), never a list of cells or rows, and is
// shown highlighted. A click or a key selects the current cell alone; with Shift, or dragging,
// the block from the cell where the selection started to the current one; Ctrl+click adds a
// cell. A click on a column's name selects the whole column (with Shift, the columns from the
// last one clicked; with Ctrl, besides the selection), and Ctrl+A the whole grid; both take in
// rows that arrive later. Ctrl+C and the context menu copy the selected cells as tab-separated
// text. Columns are resized by dragging the header's dividers, and fitted to their text by a
// double click on one. Cells cannot be edited.
//
// Assistive technology reads the grid as a table (gridaccessible.h): the view reports its
// current cell, selection and model changes to it.
class GridView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit GridView(QWidget *parent = nullptr);
    ~GridView() override;

    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *model() const { return source; }
    // The column names; its sections give the columns' widths.
    QHeaderView *horizontalHeader() const { return header; }

    // The height of every row, in pixels.
    int rowHeight(int row = 0) const;
    void setRowHeight(int height);
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    // The view never edits a cell.
    QAbstractItemView::EditTriggers editTriggers() const
    {
        return QAbstractItemView::NoEditTriggers;
    }

    // The first row shown at the top.
    int firstVisibleRow() const;
    // The rows that fit whole in the view.
    int visibleRowCount() const;

    QModelIndex currentIndex() const { return current; }
    void setCurrentIndex(const QModelIndex &index);
    // The cell at a point of the viewport; invalid outside every cell.
    QModelIndex indexAt(const QPoint &point) const;
    // The cell's rectangle in viewport coordinates, also when it is out of sight.
    QRect visualRect(const QModelIndex &index) const;
    // Scrolls as little as needed to show the cell whole.
    void scrollTo(const QModelIndex &index);

    const GridSelection &selection() const { return selection_; }
    bool isSelected(int row, int column) const { return selection_.contains(row, column); }
    void selectAll();
    void clearSelection();
    // Selects the whole column or row, rows that arrive later included; with add, besides what
    // is selected already.
    void selectColumn(int column, bool add = false);
    void selectRow(int row, bool add = false);
    // Takes the block's cells out of the selection.
    void deselect(const CellRange &range);
    // The selected cells as tab-separated text (BuildSelectionText), with the columns' names
    // first if asked; empty without a selection or over a model other than the grid's.
    QByteArray selectedText(bool withNames = false) const;
    // Puts the selected text on the clipboard; does nothing without a selection. A text too
    // large for the free memory is not made: copyRefused tells why, and the clipboard keeps
    // what it held.
    void copy(bool withNames = false);
    // Makes the column as wide as the widest of its name and its texts on screen.
    void fitColumnToContents(int column);
    // The view's context menu: "Copy", "Copy with column names" and "Select All". The caller
    // owns it.
    QMenu *createContextMenu();

signals:
    void copyRefused(const QString &text);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int rowCount() const;
    int columnCount() const;
    void placeHeader();
    void updateScrollRanges();
    // Repaints the rows from first to last if any of them is on screen.
    void updateRows(int first, int last);
    void rowsAdded(const QModelIndex &parent, int first, int last);
    // Makes the cell current and scrolls to it; it becomes the selection, or with extend the
    // block from the anchor to it does.
    void moveCurrent(int row, int column, bool extend = false);
    // A press on a column's name, with the modifiers the press came with.
    void headerPressed(int column);
    void headerEntered(int column);
    void selectionChanged();
    // Reports the current cell to assistive technology while the view has the focus.
    void announceCurrent();
    void announceModelChange(int kind, int firstRow = -1, int lastRow = -1);

    QPointer<QAbstractItemModel> source;
    QHeaderView *header;
    int rowPixels = 16;
    QPersistentModelIndex current;
    GridSelection selection_;
    // The cell or column where a Shift+click or Shift+key selection starts.
    int anchorRow = 0;
    int anchorColumn = 0;
    Qt::KeyboardModifiers headerModifiers;
    bool dragging = false;
    QAction *copyAction;
    QAction *copyNamesAction;
    QAction *selectAllAction;
    QList<QMetaObject::Connection> connections;
};
