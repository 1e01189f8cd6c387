#include "app/gridview.h"

#include "app/gridaccessible.h"
#include "app/gridexport.h"
#include "app/gridmodel.h"
#include "export/gridtext.h"
#include "store/memorybudget.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace {
// Space between a cell's text and its left and right edges.
constexpr int textMargin = 2;
} // namespace

GridView::GridView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , header(new QHeaderView(Qt::Horizontal, this))
    , copyAction(new QAction(QStringLiteral("Copy"), this))
    , copyNamesAction(new QAction(QStringLiteral("Copy with column names"), this))
    , selectAllAction(new QAction(QStringLiteral("Select All"), this))
{
    installGridAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, 0);
    horizontalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setRange(0, 0);

    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->viewport()->installEventFilter(this);
    connect(header, &QHeaderView::sectionPressed, this, &GridView::headerPressed);
    connect(header, &QHeaderView::sectionEntered, this, &GridView::headerEntered);
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, &GridView::fitColumnToContents);

    copyAction->setShortcut(QKeySequence::Copy);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    connect(copyAction, &QAction::triggered, this, [this] { copy(false); });
    connect(copyNamesAction, &QAction::triggered, this, [this] { copy(true); });
    connect(selectAllAction, &QAction::triggered, this, &GridView::selectAll);
    // A column resized or added changes what the rows show and how far they scroll.
    const auto relayout = [this] {
        updateScrollRanges();
        viewport()->update();
    };
    connect(header, &QHeaderView::sectionResized, this, relayout);
    connect(header, &QHeaderView::sectionCountChanged, this, relayout);
    connect(header, &QHeaderView::geometriesChanged, this, [this] { placeHeader(); });
}

GridView::~GridView()
{
    // The header is a child: the base class's destructor, which runs after this one, hides and
    // deletes it, and a header being hidden reports new geometries. By then this object is a
    // GridView no more, so nothing may reach its handlers.
    disconnect(header, nullptr, this, nullptr);
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        disconnect(connection);
}

void GridView::setModel(QAbstractItemModel *model)
{
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        disconnect(connection);
    connections.clear();
    source = model;
    header->setModel(model);
    current = QPersistentModelIndex();
    selection_.clear();
    anchorRow = anchorColumn = 0;
    announceModelChange(QAccessibleTableModelChangeEvent::ModelReset);
    if (model) {
        const auto whole = [this] {
            updateScrollRanges();
            viewport()->update();
            announceModelChange(QAccessibleTableModelChangeEvent::ModelReset);
        };
        connections << connect(model, &QAbstractItemModel::rowsInserted, this,
                               &GridView::rowsAdded);
        connections << connect(model, &QAbstractItemModel::rowsRemoved, this, whole);
        connections << connect(model, &QAbstractItemModel::columnsInserted, this, whole);
        connections << connect(model, &QAbstractItemModel::columnsRemoved, this, whole);
        connections << connect(model, &QAbstractItemModel::modelReset, this, whole);
        connections << connect(model, &QAbstractItemModel::layoutChanged, this, whole);
        connections << connect(model, &QAbstractItemModel::rowsMoved, this, whole);
        connections << connect(model, &QAbstractItemModel::columnsMoved, this, whole);
        connections << connect(model, &QAbstractItemModel::dataChanged, this,
                               [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                                   updateRows(topLeft.row(), bottomRight.row());
                                   announceModelChange(
                                       QAccessibleTableModelChangeEvent::DataChanged, topLeft.row(),
                                       bottomRight.row());
                               });
        connections << connect(model, &QAbstractItemModel::headerDataChanged, this, [this] {
            if (!QAccessible::isActive())
                return;
            QAccessibleEvent event(this, QAccessible::TableColumnHeaderChanged);
            QAccessible::updateAccessibility(&event);
        });
    }
    updateScrollRanges();
    viewport()->update();
}

int GridView::rowCount() const
{
    return source ? source->rowCount() : 0;
}

int GridView::columnCount() const
{
    return source ? source->columnCount() : 0;
}

int GridView::rowHeight(int) const
{
    return rowPixels;
}

void GridView::setRowHeight(int height)
{
    rowPixels = std::max(height, 1);
    updateScrollRanges();
    viewport()->update();
}

int GridView::columnWidth(int column) const
{
    return header->sectionSize(column);
}

void GridView::setColumnWidth(int column, int width)
{
    header->resizeSection(column, width);
}

int GridView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int GridView::visibleRowCount() const
{
    return std::max(viewport()->height() / rowPixels, 1);
}

void GridView::placeHeader()
{
    const int height = header->isHidden()
        ? 0
        : std::clamp(header->sizeHint().height(), header->minimumHeight(), header->maximumHeight());
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    header->setGeometry(area.left(), area.top() - height, area.width(), height);
}

void GridView::updateScrollRanges()
{
    const int rows = rowCount();
    const int fit = visibleRowCount();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(fit);
    vertical->setRange(0, std::max(rows - fit, 0));

    QScrollBar *horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    horizontal->setPageStep(width);
    horizontal->setRange(0, std::max(header->length() - width, 0));
    header->setOffset(horizontal->value());
}

void GridView::updateRows(int first, int last)
{
    const int top = firstVisibleRow();
    // One row more than fit whole: the last one may show in part.
    const int bottom = top + visibleRowCount();
    if (last >= top && first <= bottom)
        viewport()->update();
}

void GridView::rowsAdded(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    // Rows added below those on screen change the scroll bar only.
    updateScrollRanges();
    updateRows(first, std::max(last, rowCount() - 1));
    announceModelChange(QAccessibleTableModelChangeEvent::RowsInserted, first, last);
}

void GridView::announceModelChange(int kind, int firstRow, int lastRow)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(
        this, static_cast<QAccessibleTableModelChangeEvent::ModelChangeType>(kind));
    event.setFirstRow(firstRow);
    event.setLastRow(lastRow);
    QAccessible::updateAccessibility(&event);
}

void GridView::announceCurrent()
{
    if (!QAccessible::isActive() || !hasFocus() || !current.isValid())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(gridAccessibleChild(current.row(), current.column(), columnCount()));
    QAccessible::updateAccessibility(&event);
}

void GridView::selectionChanged()
{
    viewport()->update();
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent within(this, QAccessible::SelectionWithin);
    QAccessible::updateAccessibility(&within);
    // Bridges that take no notice of the above hear of the current cell: the only one selected,
    // or one added to the selection. Blocks are never announced cell by cell.
    if (!current.isValid() || !selection_.contains(current.row(), current.column()))
        return;
    const bool alone = selection_.ranges().size() == 1
        && selection_.ranges().front()
            == CellRange {current.row(), current.column(), current.row(), current.column()};
    QAccessibleEvent cell(this, alone ? QAccessible::Selection : QAccessible::SelectionAdd);
    cell.setChild(gridAccessibleChild(current.row(), current.column(), columnCount()));
    QAccessible::updateAccessibility(&cell);
}

QRect GridView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != source)
        return {};
    const int x = header->sectionViewportPosition(index.column());
    const int y = (index.row() - firstVisibleRow()) * rowPixels;
    return QRect(x, y, header->sectionSize(index.column()), rowPixels);
}

QModelIndex GridView::indexAt(const QPoint &point) const
{
    if (!source || point.y() < 0)
        return {};
    const int row = firstVisibleRow() + point.y() / rowPixels;
    const int column = header->logicalIndexAt(point.x());
    if (row >= rowCount() || column < 0)
        return {};
    return source->index(row, column);
}

void GridView::setCurrentIndex(const QModelIndex &index)
{
    if (index.isValid() && index.model() != source)
        return;
    current = index;
    if (index.isValid()) {
        anchorRow = index.row();
        anchorColumn = index.column();
        selection_.select({anchorRow, anchorColumn, anchorRow, anchorColumn});
    } else {
        selection_.clear();
    }
    selectionChanged();
    announceCurrent();
}

void GridView::scrollTo(const QModelIndex &index)
{
    if (!index.isValid() || index.model() != source)
        return;
    QScrollBar *vertical = verticalScrollBar();
    const int fit = visibleRowCount();
    if (index.row() < vertical->value())
        vertical->setValue(index.row());
    else if (index.row() >= vertical->value() + fit)
        vertical->setValue(index.row() - fit + 1);

    QScrollBar *horizontal = horizontalScrollBar();
    const int left = header->sectionPosition(index.column());
    const int right = left + header->sectionSize(index.column());
    const int width = viewport()->width();
    if (left < horizontal->value())
        horizontal->setValue(left);
    else if (right > horizontal->value() + width)
        horizontal->setValue(std::min(left, right - width));
}

void GridView::moveCurrent(int row, int column, bool extend)
{
    const int rows = rowCount();
    const int columns = columnCount();
    if (!source || rows == 0 || columns == 0)
        return;
    const QModelIndex index =
        source->index(std::clamp(row, 0, rows - 1), std::clamp(column, 0, columns - 1));
    if (extend) {
        current = index;
        selection_.replaceLast(
            CellRange::between(anchorRow, anchorColumn, index.row(), index.column()));
        selectionChanged();
        announceCurrent();
    } else {
        setCurrentIndex(index);
    }
    scrollTo(index);
}

void GridView::selectAll()
{
    if (columnCount() == 0)
        return;
    selection_.select({0, 0, CellRange::toLastRow, columnCount() - 1});
    selectionChanged();
}

void GridView::clearSelection()
{
    selection_.clear();
    selectionChanged();
}

void GridView::selectColumn(int column, bool add)
{
    if (column < 0 || column >= columnCount())
        return;
    const CellRange block {0, column, CellRange::toLastRow, column};
    if (add)
        selection_.add(block);
    else
        selection_.select(block);
    selectionChanged();
}

void GridView::selectRow(int row, bool add)
{
    if (row < 0 || row >= rowCount() || columnCount() == 0)
        return;
    const CellRange block {row, 0, row, columnCount() - 1};
    if (add)
        selection_.add(block);
    else
        selection_.select(block);
    selectionChanged();
}

void GridView::deselect(const CellRange &range)
{
    selection_.remove(range);
    selectionChanged();
}

QByteArray GridView::selectedText(bool withNames) const
{
    // The grid's own model copies straight from its store, a million rows at a time.
    const auto *grid = qobject_cast<const GridModel *>(source.data());
    if (!grid || selection_.isEmpty())
        return {};
    return BuildSelectionText(grid->store(), selection_, withNames);
}

void GridView::copy(bool withNames)
{
    const auto *grid = qobject_cast<const GridModel *>(source.data());
    if (grid && !selection_.isEmpty()) {
        const QString refusal = ClipboardRefusal(
            SelectionTextBytes(grid->store(), selection_, withNames), AvailableMemoryBytes());
        if (!refusal.isEmpty()) {
            emit copyRefused(refusal);
            return;
        }
    }
    const QByteArray text = selectedText(withNames);
    if (!text.isEmpty())
        PutTextOnClipboard(text);
}

void GridView::fitColumnToContents(int column)
{
    if (!source || column < 0 || column >= columnCount())
        return;
    const QFontMetrics metrics(font());
    int width = header->sectionSizeHint(column);
    const int first = firstVisibleRow();
    const int last = std::min(rowCount() - 1, first + visibleRowCount());
    for (int row = first; row <= last; ++row) {
        const QString text = source->data(source->index(row, column), Qt::DisplayRole).toString();
        width = std::max(width, metrics.horizontalAdvance(text) + 2 * textMargin + 1);
    }
    setColumnWidth(column, width);
}

QMenu *GridView::createContextMenu()
{
    auto *menu = new QMenu;
    const bool any = !selection_.isEmpty();
    copyAction->setEnabled(any);
    copyNamesAction->setEnabled(any);
    menu->addAction(copyAction);
    menu->addAction(copyNamesAction);
    menu->addSeparator();
    menu->addAction(selectAllAction);
    return menu;
}

void GridView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void GridView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    announceCurrent();
}

void GridView::headerPressed(int column)
{
    if (headerModifiers & Qt::ShiftModifier) {
        selection_.replaceLast({0, std::min(anchorColumn, column), CellRange::toLastRow,
                                std::max(anchorColumn, column)});
        selectionChanged();
    } else {
        selectColumn(column, headerModifiers & Qt::ControlModifier);
        anchorColumn = column;
        anchorRow = 0;
    }
    if (source && rowCount() > 0) {
        current = source->index(current.isValid() ? current.row() : 0, column);
        announceCurrent();
    }
}

void GridView::headerEntered(int column)
{
    // Dragging along the names selects the columns passed over.
    headerModifiers |= Qt::ShiftModifier;
    headerPressed(column);
}

bool GridView::eventFilter(QObject *watched, QEvent *event)
{
    // The header's press signal carries no modifiers: they are taken from the press itself.
    if (watched == header->viewport() && event->type() == QEvent::MouseButtonPress)
        headerModifiers = static_cast<QMouseEvent *>(event)->modifiers();
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool GridView::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::LayoutRequest:
        placeHeader();
        updateScrollRanges();
        break;
    default:
        break;
    }
    return QAbstractScrollArea::event(event);
}

void GridView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    placeHeader();
    updateScrollRanges();
}

void GridView::scrollContentsBy(int dx, int)
{
    if (dx != 0)
        header->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void GridView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    if (!source)
        return;
    const int rows = rowCount();
    const int columns = columnCount();
    const QRect area = event->rect();

    QStyleOptionViewItem option;
    option.initFrom(this);
    const QColor gridColor = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QPalette colors = palette();
    const QFontMetrics metrics(font());

    // The columns that meet the area to paint, in the order shown.
    const int firstVisual = std::max(header->visualIndexAt(area.left()), 0);
    int lastVisual = header->visualIndexAt(area.right());
    if (lastVisual < 0)
        lastVisual = columns - 1;

    const int firstRow = firstVisibleRow() + std::max(area.top(), 0) / rowPixels;
    const int lastRow =
        std::min(rows - 1, firstVisibleRow() + std::max(area.bottom(), 0) / rowPixels);
    painter.setPen(gridColor);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = (row - firstVisibleRow()) * rowPixels;
        for (int visual = firstVisual; visual <= lastVisual; ++visual) {
            const int column = header->logicalIndex(visual);
            if (column < 0 || header->isSectionHidden(column))
                continue;
            const QRect cell(header->sectionViewportPosition(column), y,
                             header->sectionSize(column), rowPixels);
            const QModelIndex index = source->index(row, column);
            const bool selected = selection_.contains(row, column);
            if (selected)
                painter.fillRect(cell, colors.brush(QPalette::Highlight));
            const QString text = source->data(index, Qt::DisplayRole).toString();
            if (!text.isEmpty()) {
                const QRect textArea = cell.adjusted(textMargin, 0, -textMargin - 1, -1);
                painter.setPen(colors.color(selected ? QPalette::HighlightedText : QPalette::Text));
                painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                                 metrics.elidedText(text, Qt::ElideRight, textArea.width()));
                painter.setPen(gridColor);
            }
            painter.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
            painter.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
            if (index == QModelIndex(current) && hasFocus()) {
                QStyleOptionFocusRect focus;
                focus.initFrom(this);
                focus.rect = cell.adjusted(0, 0, -1, -1);
                focus.backgroundColor =
                    colors.color(selected ? QPalette::Highlight : QPalette::Base);
                style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
                painter.setPen(gridColor);
            }
        }
    }
}

void GridView::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        copy(false);
        event->accept();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        event->accept();
        return;
    }
    const int row = current.isValid() ? current.row() : 0;
    const int column = current.isValid() ? current.column() : 0;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const int page = visibleRowCount();
    switch (event->key()) {
    case Qt::Key_Up:
        moveCurrent(row - 1, column, extend);
        break;
    case Qt::Key_Down:
        moveCurrent(current.isValid() ? row + 1 : 0, column, extend);
        break;
    case Qt::Key_Left:
        moveCurrent(row, column - 1, extend);
        break;
    case Qt::Key_Right:
        moveCurrent(row, current.isValid() ? column + 1 : 0, extend);
        break;
    case Qt::Key_PageUp:
        moveCurrent(row - page, column, extend);
        break;
    case Qt::Key_PageDown:
        moveCurrent(row + page, column, extend);
        break;
    case Qt::Key_Home:
        moveCurrent(control ? 0 : row, 0, extend);
        break;
    case Qt::Key_End:
        moveCurrent(control ? rowCount() - 1 : row, columnCount() - 1, extend);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    event->accept();
    if (!index.isValid())
        return;
    const int row = index.row();
    const int column = index.column();
    // A right click on the selection keeps it for the context menu.
    if (event->button() == Qt::RightButton && selection_.contains(row, column))
        return;
    dragging = event->button() == Qt::LeftButton;
    if (event->modifiers() & Qt::ShiftModifier) {
        moveCurrent(row, column, true);
    } else if (event->modifiers() & Qt::ControlModifier) {
        current = index;
        anchorRow = row;
        anchorColumn = column;
        selection_.add({row, column, row, column});
        selectionChanged();
        announceCurrent();
    } else {
        setCurrentIndex(index);
    }
}

void GridView::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    if (!dragging || !(event->buttons() & Qt::LeftButton))
        return;
    // Past the edges the next cell beyond them is taken, so the view scrolls toward the mouse.
    const QPoint at = event->position().toPoint();
    const int row =
        std::max(at.y() < 0 ? firstVisibleRow() - 1 : firstVisibleRow() + at.y() / rowPixels, 0);
    int column = header->logicalIndexAt(at.x());
    if (column < 0)
        column = at.x() < 0 ? header->logicalIndex(0) : header->logicalIndex(columnCount() - 1);
    const QModelIndex index =
        source ? source->index(std::min(row, rowCount() - 1), column) : QModelIndex();
    if (index.isValid() && index != QModelIndex(current))
        moveCurrent(index.row(), index.column(), true);
}

void GridView::mouseReleaseEvent(QMouseEvent *event)
{
    dragging = false;
    event->accept();
}
