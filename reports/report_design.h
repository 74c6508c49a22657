#pragma once

#include <QSizeF>
#include <QString>

#include <vector>

namespace reports {

// Every length of a template is in 1/96 inch, measured from the paper's top-left corner
// (across) and from the top of its band (down). Painting scales them to the device.

// How a field's value becomes the text of a cell.
enum class ValueFormat {
    Plain,    // text as stored; numbers in the general form with the system's separator
    Fixed2,   // "0.00": two decimals always, comma
    Decimal3, // ##0.###: up to three decimals, trailing zeros dropped, comma
};

// One piece of a cell's expression; a cell shows its pieces one after the other.
struct Piece {
    enum class Kind { Text, Field, PageNumber, PageCount };
    Kind kind = Kind::Text;
    QString text;  // Kind::Text: the text; Kind::Field: the field's name
    ValueFormat format = ValueFormat::Plain;

    static Piece literal(const QString& text) { return {Kind::Text, text, ValueFormat::Plain}; }
    static Piece field(const QString& name, ValueFormat format = ValueFormat::Plain)
    {
        return {Kind::Field, name, format};
    }
    static Piece pageNumber() { return {Kind::PageNumber, {}, ValueFormat::Plain}; }
    static Piece pageCount() { return {Kind::PageCount, {}, ValueFormat::Plain}; }
};

struct CellFont {
    QString family = QStringLiteral("Arial");
    double pointSize = 10;
    bool bold = false;
};

enum class HAlign { Left, Center, Right };

struct ReportCell {
    double left = 0;   // from the paper's left edge
    double top = 0;    // from the top of the band
    double width = 0;
    double height = 0;
    bool frame = false;   // all four lines
    CellFont font;
    HAlign align = HAlign::Center; // vertically always centred
    bool wrap = false;             // break lines inside the box
    std::vector<Piece> pieces;
};

struct ReportBand {
    double height = 0;
    std::vector<ReportCell> cells;
};

struct PageMargins {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// A banded page design: the title once at the top of the first page, the page header at the
// top of every page (below the title on the first), the data band once for every row of the
// view, the page footer at the bottom of every page.
struct ReportDesign {
    QString name;
    QSizeF paper;        // A4 portrait or landscape
    bool landscape = false;
    PageMargins margins;
    ReportBand title;
    ReportBand pageHeader;
    ReportBand data;
    ReportBand pageFooter;
};

// A4 in 1/96 inch: 210 mm × 297 mm.
inline constexpr double kA4ShortSide = 210.0 / 25.4 * 96.0;
inline constexpr double kA4LongSide = 297.0 / 25.4 * 96.0;

} // namespace reports
