#pragma once

#include <QRect>

#include <functional>
#include <vector>

namespace views {

// Where the columns of a grid stand, computed from their widths and layout places alone, so
// that the geometry can be checked without painting anything.
//
// A column whose level and index are both 0 opens a block; every other column joins the
// block of the column before it, on line `level` at position `index`. The columns of a line
// stand side by side in the order of their indexes; the lines of a block stand one below the
// other. A block is as wide as its widest line; the last column of a narrower line is
// widened to the block's edge so that no gap is left. Every band of the grid (titles, each
// record, footers) is as tall as the block with the most lines needs, and inside every block
// that height is shared equally among its lines.
class BlockLayout {
public:
    struct Slot {
        int width = 0;
        int level = 0;
        int index = 0;
        bool visible = true; // a hidden column takes no room
    };
    struct Place {
        int block = 0;
        int line = 0;
        int x = 0; // from the left edge of the first block
        int width = 0;
    };
    struct Block {
        int firstColumn = 0;
        int lastColumn = 0; // inclusive
        int x = 0;
        int width = 0;
        int lines = 1;
        // The lines' shares of a band's height; empty: equal shares.
        std::vector<int> weights;
    };

    BlockLayout() = default;
    explicit BlockLayout(const std::vector<Slot>& columns);

    // The same layout stretched by `factor` (fit-to-width); column edges are rounded so that
    // neighbouring columns and blocks still meet without gaps or overlaps.
    BlockLayout scaled(double factor) const;

    // The layout of the bands under the titles (records, footers): a line of a block whose
    // columns all show nothing there (`empty`, by column: a heading over the lines below it)
    // takes no room, and the lines below move up. A block keeps at least its first line, its
    // columns then as wide as the block, so no hole is left. The titles keep every line.
    BlockLayout withoutEmptyLines(const std::vector<bool>& empty) const;

    const std::vector<Place>& columns() const noexcept { return m_places; }
    const std::vector<Block>& blocks() const noexcept { return m_blocks; }
    int totalWidth() const noexcept { return m_totalWidth; }
    int maxLines() const noexcept { return m_maxLines; }
    int columnCount() const noexcept { return static_cast<int>(m_places.size()); }

    // The vertical share of `line` of `lines` in a band `height` tall: [first, second).
    static std::pair<int, int> lineSpan(int line, int lines, int height);
    // The same by the block's weights when it has them.
    static std::pair<int, int> lineSpan(int line, const Block& block, int height);

    // The rectangle of a column's cell in a band starting at `top`, `height` tall.
    QRect cellRect(int column, int top, int height) const;

    // The column whose cell contains (x, y) of a band starting at `top`; -1 when none.
    int columnAt(int x, int y, int top, int height) const;

    // How tall a band must be when the content of each column needs `need(column, width)`
    // pixels in one line of its block: the largest over the blocks of their line count
    // times the tallest need among their columns, and at least `minLineHeight` per line of
    // the block with the most lines.
    int bandHeight(const std::function<int(int column, int width)>& need, int minLineHeight) const;

    // Gives each line of every block the height its tallest column needs (at least
    // `minLineHeight`) instead of an equal share, and returns the band's height: the tallest
    // block's sum. A block that needs less shares the band in the same proportions. So a
    // heading over five one-line captions takes two lines, not six times two.
    int fitLineHeights(const std::function<int(int column, int width)>& need, int minLineHeight);

private:
    std::vector<Place> m_places;
    std::vector<Block> m_blocks;
    std::vector<bool> m_visible;
    int m_totalWidth = 0;
    int m_maxLines = 1;
};

} // namespace views
