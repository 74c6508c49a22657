#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <vector>

namespace views {

// The sort mark of a column title. Up is drawn as an upward triangle; the grid tabs sort
// descending for it (the instrument's users read the newest or largest values first).
enum class TitleState { None, Up, Down };

// How a cell shows its value.
struct DisplayFormat {
    enum class Kind {
        FieldText, // the field's own display text (numbers in the shortest general form)
        Numeric,   // a number with the digits the pattern asks for ("0.00")
        Text,      // the stored text as plain text
    };
    Kind kind = Kind::FieldText;
    QString pattern; // for Numeric: "0", "0.0", "0.00", …

    friend bool operator==(const DisplayFormat&, const DisplayFormat&) = default;
};

// The display formats the grid tabs use by name.
inline const DisplayFormat Format00{DisplayFormat::Kind::Numeric, QStringLiteral("0.00")};
inline const DisplayFormat Format0000{DisplayFormat::Kind::Numeric, QStringLiteral("0.0000")};
inline const DisplayFormat PlainText{DisplayFormat::Kind::Text, {}};

// Visual options of a column, kept with its stored layout.
enum VisualOption : unsigned {
    WrapTitle = 0x1,  // a caption too long for the title cell wraps at blanks
    ElideCells = 0x2, // a cell text too long for its cell ends in "…" instead of being cut
};
inline constexpr unsigned kDefaultVisualOptions = WrapTitle | ElideCells;

// One column of a grid. The layout level and index place it in a column block: a column
// with both 0 opens a block, any other joins the block of the column before it, on line
// `level` at position `index` of that line.
struct GridColumn {
    QString fieldName; // empty: the column shows empty cells and cannot be sorted
    QString caption;
    Qt::Alignment alignment = Qt::AlignCenter; // of the cell text
    int width = 64;                            // design width in pixels, before fit-to-width
    bool readOnly = false;
    bool visible = true;
    DisplayFormat displayFormat;
    int level = 0;
    int index = 0;
    TitleState titleState = TitleState::None;
    int sortSequence = 0; // 1 for the first column given a sort mark, 2 for the next, …; 0 = none
    QString footerText;
    Qt::Alignment footerAlignment = Qt::AlignCenter; // the footer state
    unsigned visualOptions = kDefaultVisualOptions;
    std::optional<QColor> color; // no colour: the grid's normal cell colour
    std::optional<QFont> font;   // no font: the grid's own

    bool isBound() const noexcept { return !fieldName.isEmpty(); }
};

using GridColumns = std::vector<GridColumn>;

// Copies what a stored layout keeps of a column (field name, width, level and index, title
// state and sort sequence, footer state, visual options, colour, alignment, font) and
// nothing else: caption, visibility, read-only and display format stay the target's.
void copyStoredProperties(GridColumn& to, const GridColumn& from);

// Gives each column of `target` the stored properties of its counterpart in `stored`.
// Columns are paired by field name (without regard to case) and, among columns with the
// same field name, by their order; this gives every one of several unbound columns its own
// stored values back. A stored column without counterpart is skipped. Stored sort marks
// are dropped: the sort they stood for did not survive the closing of the table.
void applyStoredLayout(GridColumns& target, const GridColumns& stored);

} // namespace views
