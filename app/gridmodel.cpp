#include "gridmodel.h"

GridModel::GridModel(int columns, int gridRows, QObject *parent)
    : QAbstractTableModel(parent)
    , columns(columns)
    , gridRows(gridRows)
{ }

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRows - 1;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return QString();
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columns ? QVariant(QString()) : QVariant();
    return QVariant(section + 1);
}
