#pragma once

#include <QAbstractTableModel>

// The result grid's model. Row 0 of the grid, the column names, is the horizontal header;
// the records are the table's rows. Until a query fills it the grid is empty cells only.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    GridModel(int columns, int gridRows, QObject *parent = nullptr);

    // Grid size as the rest of the program counts it: rows include the header row.
    int gridColumnCount() const { return columns; }
    int gridRowCount() const { return gridRows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int columns;
    int gridRows;
};
