#include "app/gridaccessible.h"

#include "app/gridview.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <list>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

int rowsOf(const GridView *view)
{
    return view && view->model() ? view->model()->rowCount() : 0;
}

int columnsOf(const GridView *view)
{
    return view && view->model() ? view->model()->columnCount() : 0;
}

QRect globalRect(const QWidget *widget, const QRect &local)
{
    return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

// What one column name and one cell have in common: a place in a view, no children of their own.
class GridPartAccessible : public QAccessibleInterface
{
public:
    GridPartAccessible(GridView *view, int column)
        : view(view)
        , column(column)
    { }

    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return view ? view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return view ? QAccessible::queryAccessibleInterface(view.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override { }

    const QPointer<GridView> view;
    const int column;
};

class GridHeaderAccessible : public GridPartAccessible
{
public:
    using GridPartAccessible::GridPartAccessible;

    bool isValid() const override { return view && column < columnsOf(view); }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !isValid())
            return {};
        return view->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        return globalRect(view->horizontalHeader()->viewport(), localRect());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid() || !view->horizontalHeader()->viewport()->rect().intersects(localRect()))
            state.invisible = state.offscreen = true;
        return state;
    }

private:
    QRect localRect() const
    {
        const QHeaderView *header = view->horizontalHeader();
        return QRect(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                     header->height());
    }
};

class GridCellAccessible : public GridPartAccessible, public QAccessibleTableCellInterface
{
public:
    GridCellAccessible(GridView *view, int row, int column)
        : GridPartAccessible(view, column)
        , row(row)
    { }

    bool isValid() const override { return view && row < rowsOf(view) && column < columnsOf(view); }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        return nullptr;
    }
    QString text(QAccessible::Text kind) const override
    {
        if ((kind != QAccessible::Name && kind != QAccessible::Value) || !isValid())
            return {};
        const QAbstractItemModel *model = view->model();
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        return globalRect(view->viewport(), localRect());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid())
            return state;
        state.selectable = true;
        state.focusable = true;
        state.multiSelectable = true;
        state.extSelectable = true;
        state.selected = view->isSelected(row, column);
        state.focused = view->hasFocus() && view->currentIndex().row() == row
            && view->currentIndex().column() == column;
        if (!view->viewport()->rect().intersects(localRect()))
            state.invisible = state.offscreen = true;
        return state;
    }

    bool isSelected() const override { return view && view->isSelected(row, column); }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        QAccessibleInterface *table = this->table();
        QAccessibleInterface *name = table ? table->child(column) : nullptr;
        return name ? QList<QAccessibleInterface *> {name} : QList<QAccessibleInterface *> {};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column; }
    int rowIndex() const override { return row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    const int row;

private:
    QRect localRect() const { return view->visualRect(view->model()->index(row, column)); }
};

class GridTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit GridTableAccessible(GridView *view)
        : QAccessibleWidget(view, QAccessible::Table)
        , letGo(std::make_shared<std::vector<QAccessible::Id>>())
    { }
    ~GridTableAccessible() override
    {
        for (const auto &[index, id] : order)
            letGo->push_back(id);
        deleteLetGo(*letGo);
    }

    GridView *view() const { return static_cast<GridView *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override
    {
        const qint64 count = (qint64(rowsOf(view())) + 1) * columnsOf(view());
        return static_cast<int>(std::min<qint64>(count, INT_MAX));
    }

    QAccessibleInterface *child(int index) const override
    {
        const int columns = columnsOf(view());
        if (index < 0 || columns == 0 || index >= childCount())
            return nullptr;
        // A child's index means another cell once the columns change; the model's changes are
        // not heard while no assistive technology listens, so the count is checked here too.
        if (columns != keptColumns) {
            forgetCells();
            keptColumns = columns;
        }
        if (const auto found = kept.find(index); found != kept.end()) {
            // The most recently asked for stay longest.
            order.splice(order.end(), order, found->second);
            if (QAccessibleInterface *known =
                    QAccessible::accessibleInterface(found->second->second))
                return known;
        }
        QAccessibleInterface *made = index < columns
            ? static_cast<QAccessibleInterface *>(new GridHeaderAccessible(view(), index))
            : new GridCellAccessible(view(), index / columns - 1, index % columns);
        keep(index, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->role() == QAccessible::Cell) {
            const auto *cell = static_cast<const GridCellAccessible *>(child);
            if (cell->view == view() && cell->isValid())
                return gridAccessibleChild(cell->row, cell->column, columnsOf(view()));
        } else if (child->role() == QAccessible::ColumnHeader) {
            const auto *name = static_cast<const GridHeaderAccessible *>(child);
            if (name->view == view() && name->isValid())
                return name->column;
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint global(x, y);
        QHeaderView *header = view()->horizontalHeader();
        const QPoint inHeader = header->viewport()->mapFromGlobal(global);
        if (header->isVisible() && header->viewport()->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader.x());
            return column >= 0 ? child(column) : nullptr;
        }
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(global));
        return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        if (!view()->hasFocus() || !current.isValid())
            return nullptr;
        return cellAt(current.row(), current.column());
    }

    // The table
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
            return nullptr;
        return child(gridAccessibleChild(row, column, columnCount()));
    }
    int columnCount() const override { return columnsOf(view()); }
    int rowCount() const override { return rowsOf(view()); }
    QString columnDescription(int column) const override
    {
        if (column < 0 || column >= columnCount())
            return {};
        return view()->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    QString rowDescription(int) const override { return {}; }

    int selectedCellCount() const override
    {
        const qint64 count = view()->selection().cellCount(rowCount(), columnCount());
        return static_cast<int>(std::min<qint64>(count, INT_MAX));
    }
    // The first selected cells, row by row, as many as the table keeps: a list of every cell of
    // a million selected rows would be of no use to anyone.
    QList<QAccessibleInterface *> selectedCells() const override
    {
        QList<QAccessibleInterface *> cells;
        const GridSelection &selection = view()->selection();
        const std::vector<IndexSpan> columns = selection.columnSpans(columnCount());
        for (const IndexSpan &rows : selection.rowSpans(rowCount())) {
            for (int row = rows.first; row <= rows.last; ++row) {
                for (const IndexSpan &span : columns) {
                    for (int column = span.first; column <= span.last; ++column) {
                        if (cells.size() == gridAccessibleCellsKept)
                            return cells;
                        if (selection.contains(row, column))
                            cells.append(cellAt(row, column));
                    }
                }
            }
        }
        return cells;
    }
    int selectedColumnCount() const override { return int(selectedColumns().size()); }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    QList<int> selectedColumns() const override
    {
        QList<int> columns;
        for (const IndexSpan &span : view()->selection().columnSpans(columnCount())) {
            for (int column = span.first; column <= span.last; ++column) {
                if (isColumnSelected(column))
                    columns.append(column);
            }
        }
        return columns;
    }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        for (const IndexSpan &span : view()->selection().rowSpans(rowCount())) {
            for (int row = span.first; row <= span.last; ++row) {
                if (isRowSelected(row))
                    rows.append(row);
            }
        }
        return rows;
    }
    bool isColumnSelected(int column) const override
    {
        GridSelection inColumn;
        for (const CellRange &block : view()->selection().ranges()) {
            if (block.left <= column && column <= block.right)
                inColumn.add({block.top, 0, block.bottom, 0});
        }
        const std::vector<IndexSpan> spans = inColumn.rowSpans(rowCount());
        return rowCount() > 0 && spans.size() == 1 && spans[0] == IndexSpan {0, rowCount() - 1};
    }
    bool isRowSelected(int row) const override
    {
        GridSelection inRow;
        for (const CellRange &block : view()->selection().ranges()) {
            if (block.top <= row && row <= block.bottom)
                inRow.add({0, block.left, 0, block.right});
        }
        const std::vector<IndexSpan> spans = inRow.columnSpans(columnCount());
        return columnCount() > 0 && spans.size() == 1
            && spans[0] == IndexSpan {0, columnCount() - 1};
    }
    bool selectRow(int row) override
    {
        if (row < 0 || row >= rowCount())
            return false;
        view()->selectRow(row, true);
        return true;
    }
    bool selectColumn(int column) override
    {
        if (column < 0 || column >= columnCount())
            return false;
        view()->selectColumn(column, true);
        return true;
    }
    bool unselectRow(int row) override
    {
        if (row < 0 || row >= rowCount())
            return false;
        view()->deselect({row, 0, row, INT_MAX});
        return true;
    }
    bool unselectColumn(int column) override
    {
        if (column < 0 || column >= columnCount())
            return false;
        view()->deselect({0, column, CellRange::toLastRow, column});
        return true;
    }

    void modelChange(QAccessibleTableModelChangeEvent *event) override
    {
        // Rows are only ever added at the end and cells changed in place, which leaves every
        // cell's child index as it was; anything else starts afresh.
        switch (event->modelChangeType()) {
        case QAccessibleTableModelChangeEvent::RowsInserted:
        case QAccessibleTableModelChangeEvent::DataChanged:
            break;
        default:
            forgetCells();
            break;
        }
    }

private:
    using Kept = std::list<std::pair<int, QAccessible::Id>>;

    void keep(int index, QAccessible::Id id) const
    {
        if (const auto old = kept.find(index); old != kept.end()) {
            order.erase(old->second);
            kept.erase(old);
        }
        order.emplace_back(index, id);
        kept[index] = std::prev(order.end());
        while (order.size() > static_cast<std::size_t>(gridAccessibleCellsKept)) {
            const auto [oldest, oldestId] = order.front();
            kept.erase(oldest);
            order.pop_front();
            letGoLater(oldestId);
        }
    }

    void forgetCells() const
    {
        for (const auto &[index, id] : order)
            letGoLater(id);
        order.clear();
        kept.clear();
    }

    // An interface no longer kept may still be held by whoever asked for it during the call
    // under way: asking a cell for its column's name makes the name, and that may push out the
    // cell itself. So interfaces are deleted only once the window's thread is back in its event
    // loop, when no call that handed one out is still running.
    void letGoLater(QAccessible::Id id) const
    {
        if (!view()) {
            QAccessible::deleteAccessibleInterface(id);
            return;
        }
        if (letGo->empty()) {
            QMetaObject::invokeMethod(
                view(),
                [pending = std::weak_ptr<std::vector<QAccessible::Id>>(letGo)] {
                    if (const auto ids = pending.lock())
                        deleteLetGo(*ids);
                },
                Qt::QueuedConnection);
        }
        letGo->push_back(id);
    }

    static void deleteLetGo(std::vector<QAccessible::Id> &ids)
    {
        for (const QAccessible::Id id : std::exchange(ids, {}))
            QAccessible::deleteAccessibleInterface(id);
    }

    mutable int keptColumns = 0;
    mutable Kept order;
    mutable std::unordered_map<int, Kept::iterator> kept;
    // The interfaces let go of and not yet deleted; the queued deletion holds it weakly, so a
    // table gone meanwhile has deleted them itself.
    const std::shared_ptr<std::vector<QAccessible::Id>> letGo;
};

QAccessibleInterface *gridAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("GridView") && object && object->isWidgetType())
        return new GridTableAccessible(static_cast<GridView *>(object));
    return nullptr;
}

} // namespace

void installGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(gridAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

int gridAccessibleChild(int row, int column, int columns)
{
    const qint64 index = (qint64(row) + 1) * columns + column;
    return static_cast<int>(std::min<qint64>(index, INT_MAX));
}
