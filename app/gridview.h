#pragma once

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QPersistentModelIndex>
#include <QPointer>

class QAbstractItemModel;
class QHeaderView;

// The result grid's view: a table of text cells over a table model (the grid's GridModel), the
// model's horizontal header as its column names, both scroll bars. Every row has the same
// height, so the view keeps nothing per row: where a row is on screen follows from its number,
// and ten million rows cost the view no more than ten. (A QTableView keeps an entry per row in
// its row header, hidden or not, and with millions of rows its layout after rows are added
// stalls the window for a tenth of a second whenever that list doubles.) Only the rows on
// screen are painted, and rows added below them change only the scroll bar.
//
// The vertical scroll bar counts rows: its value is the first row shown. The horizontal one
// counts pixels. The current cell is shown highlighted; a click or the keys move it (arrows,
// Page Up/Down, Home/End, with Ctrl Home/End to the first or last row) and the view scrolls to
// keep it in sight. Columns are resized by dragging the header's dividers. Cells cannot be
// edited.
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

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int rowCount() const;
    int columnCount() const;
    void placeHeader();
    void updateScrollRanges();
    // Repaints the rows from first to last if any of them is on screen.
    void updateRows(int first, int last);
    void rowsAdded(const QModelIndex &parent, int first, int last);
    void moveCurrent(int row, int column);

    QPointer<QAbstractItemModel> source;
    QHeaderView *header;
    int rowPixels = 16;
    QPersistentModelIndex current;
    QList<QMetaObject::Connection> connections;
};
