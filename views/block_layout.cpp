#include "views/block_layout.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace views {

BlockLayout::BlockLayout(const std::vector<Slot>& columns)
{
    const int n = static_cast<int>(columns.size());
    m_places.assign(columns.size(), Place{});
    m_visible.resize(columns.size());
    for (int c = 0; c < n; ++c)
        m_visible[static_cast<std::size_t>(c)] = columns[static_cast<std::size_t>(c)].visible;

    int x = 0;
    int c = 0;
    while (c < n) {
        // The block runs from a column that opens one up to the next that does; the first
        // column opens a block whatever its place says.
        int last = c;
        while (last + 1 < n) {
            const Slot& s = columns[static_cast<std::size_t>(last + 1)];
            if (s.level == 0 && s.index == 0)
                break;
            ++last;
        }
        Block block;
        block.firstColumn = c;
        block.lastColumn = last;
        block.x = x;
        const int blockNo = static_cast<int>(m_blocks.size());

        // Lines by level; inside a line, by index and then by column order.
        std::map<int, std::vector<int>> lines;
        int maxLevel = 0;
        for (int k = c; k <= last; ++k) {
            const Slot& s = columns[static_cast<std::size_t>(k)];
            const int level = std::max(s.level, 0);
            lines[level].push_back(k);
            if (s.visible)
                maxLevel = std::max(maxLevel, level);
        }
        for (auto& [level, members] : lines) {
            std::stable_sort(members.begin(), members.end(), [&](int a, int b) {
                return columns[static_cast<std::size_t>(a)].index < columns[static_cast<std::size_t>(b)].index;
            });
            int lx = x;
            for (int k : members) {
                const Slot& s = columns[static_cast<std::size_t>(k)];
                Place& p = m_places[static_cast<std::size_t>(k)];
                p.block = blockNo;
                p.line = level;
                p.x = lx;
                p.width = s.visible ? std::max(s.width, 0) : 0;
                lx += p.width;
            }
            block.width = std::max(block.width, lx - x);
        }
        // A line narrower than the block: its last visible column reaches the block's edge.
        for (auto& [level, members] : lines) {
            for (auto it = members.rbegin(); it != members.rend(); ++it) {
                Place& p = m_places[static_cast<std::size_t>(*it)];
                if (!columns[static_cast<std::size_t>(*it)].visible)
                    continue;
                p.width = x + block.width - p.x;
                break;
            }
        }
        block.lines = maxLevel + 1;
        m_maxLines = std::max(m_maxLines, block.lines);
        m_blocks.push_back(block);
        x += block.width;
        c = last + 1;
    }
    m_totalWidth = x;
}

BlockLayout BlockLayout::scaled(double factor) const
{
    BlockLayout out = *this;
    const auto at = [factor](int v) { return static_cast<int>(std::lround(v * factor)); };
    for (Place& p : out.m_places) {
        const int left = at(p.x);
        p.width = at(p.x + p.width) - left;
        p.x = left;
    }
    for (Block& b : out.m_blocks) {
        const int left = at(b.x);
        b.width = at(b.x + b.width) - left;
        b.x = left;
    }
    out.m_totalWidth = at(m_totalWidth);
    return out;
}

BlockLayout BlockLayout::withoutEmptyLines(const std::vector<bool>& empty) const
{
    BlockLayout out = *this;
    out.m_maxLines = 1;
    for (Block& b : out.m_blocks) {
        b.weights.clear();
        // The lines that keep their room, renumbered from the top.
        std::vector<bool> kept(static_cast<std::size_t>(b.lines), false);
        for (int c = b.firstColumn; c <= b.lastColumn; ++c) {
            const auto k = static_cast<std::size_t>(c);
            const Place& p = m_places[k];
            if (m_visible[k] && p.width > 0 && !(k < empty.size() && empty[k]))
                kept[static_cast<std::size_t>(p.line)] = true;
        }
        std::vector<int> newLine(kept.size(), -1);
        int lines = 0;
        for (std::size_t l = 0; l < kept.size(); ++l)
            if (kept[l])
                newLine[l] = lines++;
        if (lines == 0) {
            // Nothing of the block shows a value: one line, its first column across it.
            for (int c = b.firstColumn; c <= b.lastColumn; ++c) {
                Place& p = out.m_places[static_cast<std::size_t>(c)];
                p.width = c == b.firstColumn && m_visible[static_cast<std::size_t>(c)] ? b.width : 0;
                p.x = b.x;
                p.line = 0;
            }
            b.lines = 1;
            continue;
        }
        for (int c = b.firstColumn; c <= b.lastColumn; ++c) {
            Place& p = out.m_places[static_cast<std::size_t>(c)];
            const int line = newLine[static_cast<std::size_t>(p.line)];
            if (line < 0) {
                p.width = 0; // a dropped line's columns take no room
                p.line = 0;
            } else {
                p.line = line;
            }
        }
        b.lines = lines;
        out.m_maxLines = std::max(out.m_maxLines, lines);
    }
    return out;
}

std::pair<int, int> BlockLayout::lineSpan(int line, int lines, int height)
{
    lines = std::max(lines, 1);
    return {height * line / lines, height * (line + 1) / lines};
}

std::pair<int, int> BlockLayout::lineSpan(int line, const Block& block, int height)
{
    if (block.weights.size() != static_cast<std::size_t>(block.lines))
        return lineSpan(line, block.lines, height);
    long long total = 0, before = 0;
    for (std::size_t l = 0; l < block.weights.size(); ++l) {
        total += block.weights[l];
        if (static_cast<int>(l) < line)
            before += block.weights[l];
    }
    if (total <= 0)
        return lineSpan(line, block.lines, height);
    const long long upTo = before + block.weights[static_cast<std::size_t>(std::clamp(line, 0, block.lines - 1))];
    return {static_cast<int>(height * before / total), static_cast<int>(height * upTo / total)};
}

int BlockLayout::fitLineHeights(const std::function<int(int column, int width)>& need, int minLineHeight)
{
    int height = minLineHeight;
    for (Block& b : m_blocks) {
        b.weights.assign(static_cast<std::size_t>(b.lines), minLineHeight);
        for (int c = b.firstColumn; c <= b.lastColumn; ++c) {
            const Place& p = m_places[static_cast<std::size_t>(c)];
            if (m_visible[static_cast<std::size_t>(c)] && p.width > 0 && p.line < b.lines) {
                int& line = b.weights[static_cast<std::size_t>(p.line)];
                line = std::max(line, need(c, p.width));
            }
        }
        int sum = 0;
        for (const int w : b.weights)
            sum += w;
        height = std::max(height, sum);
    }
    return height;
}

QRect BlockLayout::cellRect(int column, int top, int height) const
{
    if (column < 0 || column >= columnCount())
        return {};
    const Place& p = m_places[static_cast<std::size_t>(column)];
    const Block& b = m_blocks[static_cast<std::size_t>(p.block)];
    const auto [y0, y1] = lineSpan(p.line, b, height);
    return QRect(p.x, top + y0, p.width, y1 - y0);
}

int BlockLayout::columnAt(int x, int y, int top, int height) const
{
    for (const Block& b : m_blocks) {
        if (x < b.x || x >= b.x + b.width)
            continue;
        for (int c = b.firstColumn; c <= b.lastColumn; ++c) {
            const QRect r = cellRect(c, top, height);
            if (r.width() > 0 && r.contains(x, y))
                return c;
        }
        return -1;
    }
    return -1;
}

int BlockLayout::bandHeight(const std::function<int(int column, int width)>& need, int minLineHeight) const
{
    int height = m_maxLines * minLineHeight;
    for (const Block& b : m_blocks) {
        int line = minLineHeight;
        for (int c = b.firstColumn; c <= b.lastColumn; ++c)
            if (m_visible[static_cast<std::size_t>(c)])
                line = std::max(line, need(c, m_places[static_cast<std::size_t>(c)].width));
        height = std::max(height, line * b.lines);
    }
    return height;
}

} // namespace views
