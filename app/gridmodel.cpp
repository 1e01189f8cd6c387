#include "app/gridmodel.h"

#include <algorithm>

GridModel::GridModel(int columns, int gridRows, QObject *parent)
    : QAbstractTableModel(parent)
    , store_(columns, gridRows)
{ }

void GridModel::startRun()
{
    store_.blank();
    const int columns = store_.columnCount();
    const int rows = rowCount();
    if (columns > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, columns - 1);
        if (rows > 0)
            emit dataChanged(index(0, 0), index(rows - 1, columns - 1), {Qt::DisplayRole});
    }
}

void GridModel::setResultColumns(std::vector<std::string> names)
{
    const int before = store_.columnCount();
    const int after = static_cast<int>(names.size()) + 2;
    if (after > before) {
        beginInsertColumns({}, before, after - 1);
        store_.setColumnCount(after);
        endInsertColumns();
    } else if (after < before) {
        beginRemoveColumns({}, after, before - 1);
        store_.setColumnCount(after);
        endRemoveColumns();
    }
    store_.setHeader(std::move(names));
    emit headerDataChanged(Qt::Horizontal, 0, after - 1);
}

void GridModel::appendRecords(std::shared_ptr<const RecordBatch> batch)
{
    if (!batch || batch->recordCount() == 0)
        return;

    // Table rows are grid rows less the header row. The records that land on rows the grid has
    // already (blank since startRun) are written and announced as changed first; the rest are
    // inserted, so no existing row changes while rows are being inserted.
    const int oldRows = rowCount();
    const int firstRow = store_.recordCount();
    const int count = batch->recordCount();
    const int refill = std::clamp(oldRows - firstRow, 0, count);
    if (refill > 0) {
        store_.appendRecords(batch, 0, refill);
        if (store_.columnCount() > 0) {
            emit dataChanged(index(firstRow, 0),
                             index(firstRow + refill - 1, store_.columnCount() - 1),
                             {Qt::DisplayRole});
        }
    }
    if (refill < count) {
        beginInsertRows({}, firstRow + refill, firstRow + count - 1);
        store_.appendRecords(std::move(batch), refill, count - refill);
        endInsertRows();
    }
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(0, store_.rowCount() - 1);
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : store_.columnCount();
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return store_.cellText(index.column(), index.row() + 1);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= store_.columnCount())
            return {};
        return store_.cellText(section, 0);
    }
    return section + 1;
}
