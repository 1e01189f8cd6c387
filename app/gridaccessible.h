#pragma once

// How assistive technology (screen readers, UI automation) reads the result grid: as a table
// whose children are the column names (children 0 to columns - 1) and then the cells, row by
// row. The table answers from the view and its model; the interfaces of single cells are made
// when asked for and only the last few hundred asked for are kept, so a grid of ten million rows
// costs no more to read than one of ten.

// Installs, once, the factory that gives every GridView its table interface.
void installGridAccessibility();

// The child index of a cell in the table's children; the largest int when it is beyond them.
int gridAccessibleChild(int row, int column, int columns);

// How many cell interfaces the table keeps at most.
inline constexpr int gridAccessibleCellsKept = 256;
