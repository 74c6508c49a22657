#pragma once

#include "xls/xls_range.h"

#include <cstdint>
#include <string_view>

namespace xls {

namespace detail {

// Where the text of a plain cell lies in its sheet's text store, in UTF-16 units.
struct TextSpan {
    std::uint32_t offset;
    std::uint32_t length;
};

// One entry of a sheet's list as the sheet keeps it, in 16 bytes: the top row, the left
// column together with what the entry holds, and then the number, the place of the text, or
// the range. A plain cell (a number or a text with the default style, one column and one row)
// has no XlsRange of its own: at 100,000 exported records that is the difference between
// some 25 MB and a quarter of a gigabyte.
struct CellEntry {
    enum class Kind : std::uint32_t { Number = 0, Text = 1, Range = 2 };
    static constexpr unsigned kKindShift = 30;
    static constexpr std::uint32_t kColumnMask = (std::uint32_t{1} << kKindShift) - 1;
    // The last column a plain cell can stand in; a cell further right gets a range.
    static constexpr std::int32_t kMaxPlainColumn = static_cast<std::int32_t>(kColumnMask);

    std::int32_t top;
    std::uint32_t columnAndKind; // the left column (plain cells only) | kind << kKindShift
    union {
        double number;  // Kind::Number
        TextSpan text;  // Kind::Text
        XlsRange* range; // Kind::Range, owned by the sheet
    };

    static CellEntry plainNumber(std::int32_t column, std::int32_t row, double value) noexcept
    {
        CellEntry e{row, static_cast<std::uint32_t>(column), {}};
        e.number = value;
        return e;
    }
    static CellEntry plainText(std::int32_t column, std::int32_t row, TextSpan span) noexcept
    {
        CellEntry e{row, static_cast<std::uint32_t>(column) | kindBits(Kind::Text), {}};
        e.text = span;
        return e;
    }
    static CellEntry ofRange(XlsRange* r) noexcept
    {
        CellEntry e{r->top(), kindBits(Kind::Range), {}};
        e.range = r;
        return e;
    }

    Kind kind() const noexcept { return static_cast<Kind>(columnAndKind >> kKindShift); }
    bool isRange() const noexcept { return kind() == Kind::Range; }
    std::int32_t left() const noexcept
    {
        return isRange() ? range->left() : static_cast<std::int32_t>(columnAndKind & kColumnMask);
    }
    std::int32_t right() const noexcept { return isRange() ? range->right() : left(); }
    std::int32_t bottom() const noexcept { return isRange() ? range->bottom() : top; }

private:
    static constexpr std::uint32_t kindBits(Kind k) noexcept
    {
        return static_cast<std::uint32_t>(k) << kKindShift;
    }
};
static_assert(sizeof(CellEntry) == 16);

} // namespace detail

// One entry of a sheet's list as a reader walks it (see XlsWorksheet::cellAt): a range, or a
// plain cell that stands where its single-cell range would stand. Reading a plain cell here
// does not turn it into a range, as XlsWorksheet::rangeAt does. Valid until the sheet changes.
class XlsCell {
public:
    XlsCell(const detail::CellEntry& entry, const char16_t* texts) noexcept : m_entry(&entry), m_texts(texts) {}

    std::int32_t left() const noexcept { return m_entry->left(); }
    std::int32_t top() const noexcept { return m_entry->top; }
    std::int32_t right() const noexcept { return m_entry->right(); }
    std::int32_t bottom() const noexcept { return m_entry->bottom(); }
    bool isSingleCell() const noexcept { return !m_entry->isRange() || m_entry->range->isSingleCell(); }

    // The range, or nullptr for a plain cell.
    const XlsRange* range() const noexcept { return m_entry->isRange() ? m_entry->range : nullptr; }
    bool isPlain() const noexcept { return !m_entry->isRange(); }

    XlsCellKind cellKind() const noexcept
    {
        switch (m_entry->kind()) {
        case detail::CellEntry::Kind::Number:
            return XlsCellKind::Number;
        case detail::CellEntry::Kind::Text:
            return XlsCellKind::Text;
        case detail::CellEntry::Kind::Range:
            break;
        }
        return m_entry->range->cellKind();
    }
    // The number a Number cell stores.
    double number() const noexcept
    {
        return m_entry->kind() == detail::CellEntry::Kind::Number ? m_entry->number
                                                                   : range() ? range()->value().toDouble() : 0.0;
    }
    // The text of a plain text cell; empty for anything else (a range's text is in value()).
    std::u16string_view plainText() const noexcept
    {
        if (m_entry->kind() != detail::CellEntry::Kind::Text)
            return {};
        return {m_texts + m_entry->text.offset, m_entry->text.length};
    }
    // The value, as XlsRange::value() gives it.
    XlsValue value() const;
    // The style: the range's own, or the default one of a plain cell.
    const XlsCellStyle& style() const noexcept
    {
        return m_entry->isRange() ? static_cast<const XlsCellStyle&>(*m_entry->range) : XlsCellStyle::defaultStyle();
    }

private:
    const detail::CellEntry* m_entry;
    const char16_t* m_texts;
};

} // namespace xls
