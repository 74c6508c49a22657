#pragma once

#include "xls/xls_value.h"

#include <QString>

#include <array>
#include <cstdint>

namespace xls {

class XlsWorksheet;
struct CellWriteInfo; // the writer's bookkeeping of one range during a save

// Colours are 0x00BBGGRR (red in the low byte). With the top bit set the low 24 bits name a
// system colour, which the writer resolves when it saves.
using XlsColor = std::uint32_t;
inline constexpr XlsColor kXlsBlack = 0x00000000;
inline constexpr XlsColor kXlsSystemColorFlag = 0x80000000;

enum class XlsFontPitch : std::uint8_t { Default, Variable, Fixed };

struct XlsFontStyle {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    bool operator==(const XlsFontStyle&) const = default;
};

// The font of a range. The writer derives the height in twentieths of a point from Size.
struct XlsFont {
    QString Name = QStringLiteral("Arial");
    int Size = 10; // points
    XlsColor Color = kXlsBlack;
    XlsFontStyle Style;
    std::uint8_t Charset = 1; // the platform's default character set
    XlsFontPitch Pitch = XlsFontPitch::Default;
    bool operator==(const XlsFont&) const = default;
};

// One border line. LineStyle is the BIFF8 line style: 0 none, 1 thin, 2 medium, 3 dashed,
// 4 dotted, 5 thick, 6 double, 7 hair, 8 medium dashed, 9 dash-dot, 10 medium dash-dot,
// 11 dash-dot-dot, 12 medium dash-dot-dot, 13 slanted dash-dot.
struct XlsBorder {
    XlsColor Color = kXlsBlack;
    std::uint8_t LineStyle = 0;
    bool operator==(const XlsBorder&) const = default;
};

// The six borders of a range, by index.
struct XlsBorders {
    static constexpr int kDiagonalDown = 0; // top left to bottom right
    static constexpr int kDiagonalUp = 1;   // bottom left to top right
    static constexpr int kBottom = 2;
    static constexpr int kLeft = 3;
    static constexpr int kRight = 4;
    static constexpr int kTop = 5;
    static constexpr int kCount = 6;

    XlsBorder& operator[](int index) { return m_borders.at(static_cast<std::size_t>(index)); }
    const XlsBorder& operator[](int index) const { return m_borders.at(static_cast<std::size_t>(index)); }
    bool operator==(const XlsBorders&) const = default;

private:
    std::array<XlsBorder, kCount> m_borders{};
};

// How the writer stores a range: a number for the numeric value types, text for everything
// else (empty, null, boolean, date, the other integer widths).
enum class XlsCellKind { Number, Text };

// The values of XlsCellStyle::HorizontalAlignment, as the file stores them.
struct XlsHorizontal {
    static constexpr std::uint8_t General = 0; // texts to the left, numbers to the right
    static constexpr std::uint8_t Left = 1;
    static constexpr std::uint8_t Center = 2;
    static constexpr std::uint8_t Right = 3;
    static constexpr std::uint8_t Fill = 4;
    static constexpr std::uint8_t Justify = 5;
    static constexpr std::uint8_t CenterAcrossSelection = 6;
};

// The values of XlsCellStyle::VerticalAlignment, as the file stores them.
struct XlsVertical {
    static constexpr std::uint8_t Top = 0;
    static constexpr std::uint8_t Center = 1;
    static constexpr std::uint8_t Bottom = 2;
    static constexpr std::uint8_t Justify = 3;
};

// The style of a range; the defaults are those of a new cell. Plain cells (see XlsWorksheet::
// setCell) all have this default style. A heading, for example, is a range with
// Font.Style.Bold, WrapText (its text breaks at blanks to fit the column's width; the row must
// be tall enough for the lines, see XlsWorksheet::setRowHeight) and XlsHorizontal::Center.
struct XlsCellStyle {
    XlsBorders Borders;
    XlsFont Font;
    std::uint8_t HorizontalAlignment = XlsHorizontal::General; // one of XlsHorizontal
    std::uint8_t VerticalAlignment = XlsVertical::Bottom;      // one of XlsVertical
    bool WrapText = false;
    std::uint8_t Rotation = 0;            // as the file stores it
    QString Format;                       // number format; empty = General
    std::uint8_t FillPattern = 0;         // 0 = no fill
    XlsColor ForegroundFillColor = kXlsBlack;
    XlsColor BackgroundFillColor = kXlsBlack;

    // The style of a new cell, shared by every plain cell.
    static const XlsCellStyle& defaultStyle();
};

// A rectangle of cells of one sheet with one value and one style: a single cell when it
// spans one column and one row, merged cells otherwise. Bounds are column and row indexes
// from 0, both ends included; they are fixed when the sheet creates the range.
class XlsRange : public XlsCellStyle {
public:
    XlsRange(XlsWorksheet* sheet, std::int32_t left, std::int32_t top, std::int32_t right,
             std::int32_t bottom) noexcept
        : m_sheet(sheet), m_left(left), m_top(top), m_right(right), m_bottom(bottom) {}
    XlsRange(const XlsRange&) = delete;
    XlsRange& operator=(const XlsRange&) = delete;

    XlsWorksheet* worksheet() const noexcept { return m_sheet; }
    std::int32_t left() const noexcept { return m_left; }
    std::int32_t top() const noexcept { return m_top; }
    std::int32_t right() const noexcept { return m_right; }
    std::int32_t bottom() const noexcept { return m_bottom; }
    bool isSingleCell() const noexcept { return m_left == m_right && m_top == m_bottom; }

    const XlsValue& value() const noexcept { return m_value; }
    // Stores a copy of `value`. Texts (8-bit or wide) are stored as Type::Text with every
    // CR LF pair turned into a single LF.
    void setValue(const XlsValue& value);
    XlsCellKind cellKind() const noexcept;

    // Set by the writer to its own record of this range while it saves the workbook;
    // meaningless outside a save.
    CellWriteInfo* WriteSlot = nullptr;

private:
    // The sheet turns a plain cell into a range with the value the cell already holds, which
    // must not go through setValue's line-break rule a second time.
    friend class XlsWorksheet;

    XlsWorksheet* m_sheet;
    std::int32_t m_left;
    std::int32_t m_top;
    std::int32_t m_right;
    std::int32_t m_bottom;
    XlsValue m_value;
};

} // namespace xls
