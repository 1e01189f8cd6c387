#include "export/gridselection.h"

#include <algorithm>

namespace {

// The spans, sorted and with overlapping or touching ones joined.
std::vector<IndexSpan> joined(std::vector<IndexSpan> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const IndexSpan &a, const IndexSpan &b) { return a.first < b.first; });
    std::vector<IndexSpan> result;
    for (const IndexSpan &span : spans) {
        if (!result.empty() && static_cast<long long>(span.first) <= result.back().last + 1LL)
            result.back().last = std::max(result.back().last, span.last);
        else
            result.push_back(span);
    }
    return result;
}

// The block cut to a grid of the given size; empty spans come out with first > last.
CellRange clipped(const CellRange &range, int rows, int columns)
{
    return {std::max(range.top, 0), std::max(range.left, 0), std::min(range.bottom, rows - 1),
            std::min(range.right, columns - 1)};
}

} // namespace

CellRange CellRange::between(int row1, int column1, int row2, int column2)
{
    return {std::min(row1, row2), std::min(column1, column2), std::max(row1, row2),
            std::max(column1, column2)};
}

void GridSelection::select(const CellRange &range)
{
    blocks.assign(1, range);
}

void GridSelection::add(const CellRange &range)
{
    if (std::find(blocks.begin(), blocks.end(), range) == blocks.end())
        blocks.push_back(range);
}

void GridSelection::replaceLast(const CellRange &range)
{
    if (blocks.empty())
        blocks.push_back(range);
    else
        blocks.back() = range;
}

void GridSelection::remove(const CellRange &cut)
{
    std::vector<CellRange> kept;
    for (const CellRange &block : blocks) {
        const bool overlaps = block.top <= cut.bottom && cut.top <= block.bottom
            && block.left <= cut.right && cut.left <= block.right;
        if (!overlaps) {
            kept.push_back(block);
            continue;
        }
        // Up to four parts stay: the rows above and below the cut, then, beside it, the columns
        // to its left and right.
        const int top = std::max(block.top, cut.top);
        const int bottom = std::min(block.bottom, cut.bottom);
        if (block.top < cut.top)
            kept.push_back({block.top, block.left, cut.top - 1, block.right});
        if (block.bottom > cut.bottom)
            kept.push_back({cut.bottom + 1, block.left, block.bottom, block.right});
        if (block.left < cut.left)
            kept.push_back({top, block.left, bottom, cut.left - 1});
        if (block.right > cut.right)
            kept.push_back({top, cut.right + 1, bottom, block.right});
    }
    blocks = std::move(kept);
}

bool GridSelection::contains(int row, int column) const
{
    return std::any_of(blocks.begin(), blocks.end(),
                       [&](const CellRange &block) { return block.contains(row, column); });
}

std::int64_t GridSelection::cellCount(int rows, int columns) const
{
    // Between two neighbouring row edges of the blocks, the same blocks cover every row: count
    // the columns they cover together once for the whole stretch.
    std::vector<int> edges;
    for (const CellRange &block : blocks) {
        const CellRange cut = clipped(block, rows, columns);
        if (cut.top > cut.bottom || cut.left > cut.right)
            continue;
        edges.push_back(cut.top);
        edges.push_back(cut.bottom + 1);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::int64_t count = 0;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        std::vector<IndexSpan> covering;
        for (const CellRange &block : blocks) {
            const CellRange cut = clipped(block, rows, columns);
            if (cut.left <= cut.right && cut.top <= edges[i] && edges[i] <= cut.bottom)
                covering.push_back({cut.left, cut.right});
        }
        std::int64_t width = 0;
        for (const IndexSpan &span : joined(std::move(covering)))
            width += span.last - span.first + 1;
        count += width * (edges[i + 1] - edges[i]);
    }
    return count;
}

std::vector<IndexSpan> GridSelection::rowSpans(int rows) const
{
    std::vector<IndexSpan> spans;
    for (const CellRange &block : blocks) {
        const int first = std::max(block.top, 0);
        const int last = std::min(block.bottom, rows - 1);
        if (first <= last && block.left <= block.right)
            spans.push_back({first, last});
    }
    return joined(std::move(spans));
}

std::vector<IndexSpan> GridSelection::columnSpans(int columns) const
{
    std::vector<IndexSpan> spans;
    for (const CellRange &block : blocks) {
        const int first = std::max(block.left, 0);
        const int last = std::min(block.right, columns - 1);
        if (first <= last && block.top <= block.bottom)
            spans.push_back({first, last});
    }
    return joined(std::move(spans));
}
