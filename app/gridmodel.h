#pragma once

#include "store/resultstore.h"

#include <QAbstractTableModel>

#include <memory>
#include <string>
#include <vector>

// The result grid's model over the ResultStore. Row 0 of the grid, the column names, is the
// horizontal header; grid row r is the table's row r - 1. Texts are made only for the cells a
// view asks for.
//
// The grid shows the output of the run that started last; which output belongs to that run is
// decided before it gets here.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    GridModel(int columns, int gridRows, QObject *parent = nullptr);

    // Grid size as the rest of the program counts it: rows include the header row.
    int gridColumnCount() const { return store_.columnCount(); }
    int gridRowCount() const { return store_.rowCount(); }
    // The content, for the exports.
    const ResultStore &store() const { return store_; }

    // Blanks every cell, the header row included, keeping the column and row counts.
    void startRun();

    // The result's columns: the column count becomes names.size() + 2 and row 0 the names.
    void setResultColumns(std::vector<std::string> names);
    // The batch's records go to the rows after the last record written, one row each; the grid
    // gets more rows where it is too short.
    void appendRecords(std::shared_ptr<const RecordBatch> batch);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ResultStore store_;
};
