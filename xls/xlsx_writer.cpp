#include "xls/xlsx_writer.h"

#include "xls/file_refusal.h"
#include "xls/biff_palette.h"
#include "xls/biff_sheet.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include "platform/file_io.h"
#include "platform/native_name.h"
#include "platform/replacement_file.h"

#include <QByteArray>
#include <QFileInfo>
#include <QStringView>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <optional>
#include <vector>

#include <cerrno>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace xls {

namespace {

// The longest text a cell holds, in characters.
constexpr qsizetype kMaxCellText = 32767;
// The longest header or footer, control codes included, in characters.
constexpr qsizetype kMaxHeaderFooter = 255;
// Font names and number formats: the library keeps this many bytes of UTF-8 and cuts the
// rest wherever it falls, so we cut first, between characters.
constexpr qsizetype kMaxFormatField = 127;
// Print scales the format takes, in percent.
constexpr int kMinPrintScale = 10;
constexpr int kMaxPrintScale = 400;
// Page counts, first page numbers: 16 bits in the library, 32,767 in Excel.
constexpr int kMaxPageCount = 32767;

// Column widths in pixels: a digit of the Normal font is 7 pixels wide (Arial 10 of the .xls
// and Calibri 11 of the library's .xlsx alike), a column has 5 pixels of padding, and below
// one digit Excel counts 12 pixels a digit.
constexpr int kDigitPixels = 7;
constexpr int kPaddingPixels = 5;
constexpr int kNarrowDigitPixels = 12;

// The message naming a sheet in errors about its content.
std::string sheetMessage(const XlsWorksheet& sheet, const QString& what)
{
    return QStringLiteral("Лист \"%1\" нельзя записать в файл Excel: %2").arg(sheet.name(), what).toStdString();
}

// What went wrong inside the library, in the user's words.
QString libraryReason(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("не хватило памяти");
    case LXW_ERROR_CREATING_XLSX_FILE:
        return QStringLiteral("файл не удалось создать (нет папки или нет прав на запись в неё)");
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("не удалось записать или прочитать временный файл");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("не удалось упаковать книгу (возможно, диск заполнен)");
    default:
        break;
    }
    return QStringLiteral("ошибка библиотеки xlsx %1 (%2)")
        .arg(static_cast<int>(error))
        .arg(QString::fromUtf8(lxw_strerror(error)));
}

XlsError writeError(const QString& fileName, const QString& reason)
{
    return XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла «%1»: %2")
                                               .arg(QFileInfo(fileName).fileName(), reason)
                                               .toStdString());
}

// At most `max` characters (code points) of `text`, never half a surrogate pair.
QStringView cutCharacters(QStringView text, qsizetype max)
{
    if (text.size() <= max)
        return text;
    qsizetype units = 0;
    for (qsizetype chars = 0; chars < max && units < text.size(); ++chars)
        units += text[units].isHighSurrogate() && units + 1 < text.size() && text[units + 1].isLowSurrogate() ? 2 : 1;
    return text.first(units);
}

// A cell's text as the file stores it. The file writes a character by its code as "_xHHHH_"
// (the library does so for control characters), so a text that holds such a sequence itself
// has its "_" written as "_x005F_"; otherwise Excel would read "_x0041_" as "A".
QString withCodesKept(QStringView text)
{
    const auto isHex = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    QString out;
    out.reserve(text.size() + 7);
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && isHex(text[i + 2]) &&
            isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == u'_')
            out += QStringLiteral("x005F_");
    }
    return out;
}

// The UTF-8 of a cell's text: at most as many characters as a cell holds, codes kept.
QByteArray cellText(QStringView text)
{
    text = cutCharacters(text, kMaxCellText);
    if (!text.contains(QStringLiteral("_x")))
        return text.toUtf8();
    return withCodesKept(text).toUtf8();
}

// At most `max` bytes of the UTF-8 of `text`, ending between characters.
QByteArray cutUtf8(const QString& text, qsizetype max)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= max)
        return bytes;
    qsizetype end = max;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end; // bytes[end] continues a character: cut before the character's first byte
    bytes.truncate(end);
    return bytes;
}

// A colour 0x00BBGGRR (or a system colour) as the library's 0xRRGGBB. The library reads 0 as
// "no colour", so black has a value of its own there.
lxw_color_t rgbOf(XlsColor color)
{
    const std::uint32_t bgr = biff::Palette::resolveSystemColor(color) & 0x00FFFFFFu;
    const std::uint32_t rgb = ((bgr & 0xFFu) << 16) | (bgr & 0xFF00u) | ((bgr >> 16) & 0xFFu);
    return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : static_cast<lxw_color_t>(rgb);
}

// The font family byte, as the .xls writes it from the pitch: 0 lets the reader choose.
std::uint8_t familyOf(XlsFontPitch pitch)
{
    switch (pitch) {
    case XlsFontPitch::Fixed:
        return 1;
    case XlsFontPitch::Variable:
        return 2;
    case XlsFontPitch::Default:
        break;
    }
    return 0;
}

// The vertical alignments of the model, in the library's numbering; none for values the
// format has no name for.
std::uint8_t verticalOf(std::uint8_t vertical)
{
    switch (vertical & 0x07u) {
    case XlsVertical::Top:
        return LXW_ALIGN_VERTICAL_TOP;
    case XlsVertical::Center:
        return LXW_ALIGN_VERTICAL_CENTER;
    case XlsVertical::Justify:
        return LXW_ALIGN_VERTICAL_JUSTIFY;
    case 4:
        return LXW_ALIGN_VERTICAL_DISTRIBUTED;
    default:
        break;
    }
    return LXW_ALIGN_VERTICAL_BOTTOM;
}

// The rotation as the library takes it: degrees counter-clockwise (negative clockwise), 270
// for letters stacked from top to bottom; 0 for a file value that means nothing.
int rotationOf(std::uint8_t rotation)
{
    if (rotation <= 90)
        return rotation;
    if (rotation <= 180)
        return 90 - rotation;
    return rotation == 255 ? 270 : 0;
}

// The largest line style both formats number alike (slanted dash-dot).
constexpr std::uint8_t kMaxLineStyle = LXW_BORDER_SLANT_DASH_DOT;

bool sameStyle(const XlsCellStyle& a, const XlsCellStyle& b)
{
    return a.Borders == b.Borders && a.Font == b.Font && a.HorizontalAlignment == b.HorizontalAlignment &&
           a.VerticalAlignment == b.VerticalAlignment && a.WrapText == b.WrapText && a.Rotation == b.Rotation &&
           a.Format == b.Format && a.FillPattern == b.FillPattern &&
           a.ForegroundFillColor == b.ForegroundFillColor && a.BackgroundFillColor == b.BackgroundFillColor;
}

// The library's cell formats of one save, one per distinct style.
class Formats {
public:
    Formats(lxw_workbook* workbook, const QString& fileName) : m_workbook(workbook), m_fileName(fileName) {}

    lxw_format* of(const XlsCellStyle& style)
    {
        if (&style == m_lastStyle)
            return m_lastFormat;
        auto it = std::find_if(m_entries.begin(), m_entries.end(),
                               [&](const Entry& e) { return sameStyle(e.style, style); });
        if (it == m_entries.end()) {
            m_entries.push_back({style, make(style)});
            it = std::prev(m_entries.end());
        }
        m_lastStyle = &style;
        m_lastFormat = it->format;
        return it->format;
    }

private:
    struct Entry {
        XlsCellStyle style;
        lxw_format* format;
    };

    // A new format with everything the style says; the library dismisses duplicates again.
    lxw_format* make(const XlsCellStyle& style)
    {
        lxw_format* f = workbook_add_format(m_workbook);
        if (!f)
            throw writeError(m_fileName, libraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
        const XlsFont& font = style.Font;
        format_set_font_name(f, cutUtf8(font.Name, kMaxFormatField).constData());
        format_set_font_size(f, font.Size);
        format_set_font_color(f, rgbOf(font.Color));
        if (font.Style.Bold)
            format_set_bold(f);
        if (font.Style.Italic)
            format_set_italic(f);
        if (font.Style.Underline)
            format_set_underline(f, LXW_UNDERLINE_SINGLE);
        if (font.Style.StrikeOut)
            format_set_font_strikeout(f);
        format_set_font_family(f, familyOf(font.Pitch));
        format_set_font_charset(f, font.Charset);
        if (!style.Format.isEmpty())
            format_set_num_format(f, cutUtf8(style.Format, kMaxFormatField).constData());
        // Horizontal values 0..7 are numbered alike in both formats, 0 being General.
        if (const std::uint8_t horizontal = style.HorizontalAlignment & 0x07u; horizontal != XlsHorizontal::General)
            format_set_align(f, horizontal);
        format_set_align(f, verticalOf(style.VerticalAlignment));
        if (style.WrapText)
            format_set_text_wrap(f);
        if (const int rotation = rotationOf(style.Rotation); rotation != 0)
            format_set_rotation(f, static_cast<std::int16_t>(rotation));
        if (style.FillPattern != 0) {
            // Pattern numbers are alike too. For a solid fill the library takes the cell's
            // colour as the "background" and writes it where the file wants the foreground.
            format_set_pattern(f, style.FillPattern);
            const lxw_color_t fore = rgbOf(style.ForegroundFillColor);
            const lxw_color_t back = rgbOf(style.BackgroundFillColor);
            const bool solid = style.FillPattern == LXW_PATTERN_SOLID;
            format_set_fg_color(f, solid ? back : fore);
            format_set_bg_color(f, solid ? fore : back);
        }
        setBorders(f, style.Borders);
        return f;
    }

    static void setBorders(lxw_format* f, const XlsBorders& borders)
    {
        struct Side {
            int index;
            void (*style)(lxw_format*, std::uint8_t);
            void (*color)(lxw_format*, lxw_color_t);
        };
        const Side sides[] = {
            {XlsBorders::kLeft, format_set_left, format_set_left_color},
            {XlsBorders::kRight, format_set_right, format_set_right_color},
            {XlsBorders::kTop, format_set_top, format_set_top_color},
            {XlsBorders::kBottom, format_set_bottom, format_set_bottom_color},
        };
        for (const Side& side : sides) {
            const XlsBorder& b = borders[side.index];
            if (b.LineStyle != 0 && b.LineStyle <= kMaxLineStyle) {
                side.style(f, b.LineStyle);
                side.color(f, rgbOf(b.Color));
            }
        }
        // Both formats keep one line for the diagonals: the upward one's when it has one.
        const XlsBorder& up = borders[XlsBorders::kDiagonalUp];
        const XlsBorder& down = borders[XlsBorders::kDiagonalDown];
        const XlsBorder* diagonal = up.LineStyle ? &up : down.LineStyle ? &down : nullptr;
        if (!diagonal || diagonal->LineStyle > kMaxLineStyle)
            return;
        format_set_diag_type(f, up.LineStyle && down.LineStyle ? LXW_DIAGONAL_BORDER_UP_DOWN
                                : up.LineStyle                 ? LXW_DIAGONAL_BORDER_UP
                                                               : LXW_DIAGONAL_BORDER_DOWN);
        format_set_diag_border(f, diagonal->LineStyle);
        format_set_diag_color(f, rgbOf(diagonal->Color));
    }

    lxw_workbook* m_workbook;
    const QString& m_fileName;
    std::vector<Entry> m_entries;
    const XlsCellStyle* m_lastStyle = nullptr;
    lxw_format* m_lastFormat = nullptr;
};

// Why the format refuses a sheet name; empty when it takes it. Names alike regardless of case
// are one sheet to Excel, so `taken` holds the names of the sheets before it, case-folded.
QString nameFault(const QString& name, std::vector<QString>& taken)
{
    if (name.isEmpty())
        return QStringLiteral("у листа нет имени");
    static const QString kForbidden = QStringLiteral(":\\/?*[]");
    for (const QChar c : name)
        if (kForbidden.contains(c))
            return QStringLiteral("в имени листа есть знак %1 (нельзя: %2)").arg(c).arg(kForbidden);
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("имя листа начинается или кончается апострофом");
    QString folded = name.toCaseFolded();
    if (std::find(taken.begin(), taken.end(), folded) != taken.end())
        return QStringLiteral("в книге уже есть лист с таким именем");
    taken.push_back(std::move(folded));
    return {};
}

// Checks one sheet against the format. Throws XlsError at the first fault.
void checkSheet(const XlsWorksheet& sheet, std::vector<QString>& names)
{
    if (const QString fault = nameFault(sheet.name(), names); !fault.isEmpty())
        throw XlsError(XlsError::Code::BadArgument, sheetMessage(sheet, fault));
    const int count = sheet.cellCount();
    for (int i = 0; i < count; ++i) {
        const XlsCell c = sheet.cellAt(i);
        if (c.left() < 0 || c.top() < 0 || c.right() < c.left() || c.bottom() < c.top())
            throw XlsError(XlsError::Code::BadRange, sheetMessage(sheet, QStringLiteral("неверные границы ячеек")));
        if (c.cellKind() == XlsCellKind::Number && !std::isfinite(c.number()))
            throw XlsError(XlsError::Code::BadValue,
                           sheetMessage(sheet, QStringLiteral("число не конечно (строка %1, столбец %2)")
                                                   .arg(c.top() + 1)
                                                   .arg(c.left() + 1)));
    }
    const auto tooManyRows = [&](const QString& what) {
        return XlsError(XlsError::Code::TooManyRows, sheetMessage(sheet, what.arg(XlsxWriter::kMaxRow + 1)));
    };
    const auto tooManyColumns = [&](const QString& what) {
        return XlsError(XlsError::Code::TooManyColumns, sheetMessage(sheet, what.arg(XlsxWriter::kMaxColumn + 1)));
    };
    // The used area covers every range there ever was, so it bounds them all.
    if (sheet.usedBottom() > XlsxWriter::kMaxRow)
        throw tooManyRows(QStringLiteral("строк больше %1"));
    const std::vector<XlsColumnWidth>& widths = sheet.columnWidths();
    if (sheet.usedRight() > XlsxWriter::kMaxColumn || (!widths.empty() && widths.back().Index > XlsxWriter::kMaxColumn))
        throw tooManyColumns(QStringLiteral("столбцов больше %1"));
    if (sheet.printTitleRows() && sheet.printTitleRows()->Last > XlsxWriter::kMaxRow)
        throw tooManyRows(QStringLiteral("строки заголовка страницы дальше строки %1"));
    const std::vector<XlsRowHeight>& heights = sheet.rowHeights();
    if (!heights.empty() && heights.back().Index > XlsxWriter::kMaxRow)
        throw tooManyRows(QStringLiteral("высота строки дальше строки %1"));
    // The first row and column that scroll must lie on the sheet.
    if (sheet.frozenRows() > XlsxWriter::kMaxRow)
        throw tooManyRows(QStringLiteral("закреплено строк не меньше %1"));
    if (sheet.frozenColumns() > XlsxWriter::kMaxColumn)
        throw tooManyColumns(QStringLiteral("закреплено столбцов не меньше %1"));
}

// The width to hand the library for a column `width` 1/256 digits wide, padding included:
// the library counts digits without the padding and rounds to whole pixels, so the width is
// given as the pixel count Excel makes of it and comes back as that many pixels.
double libraryWidth(int width)
{
    // Excel's pixels of a width: (256 * characters + 128 / 7) / 256 * 7, cut to a whole number.
    const int pixels = (width + 128 / kDigitPixels) * kDigitPixels / 256;
    if (pixels < kNarrowDigitPixels)
        return static_cast<double>(pixels) / kNarrowDigitPixels;
    return static_cast<double>(pixels - kPaddingPixels) / kDigitPixels;
}

// Writes one workbook into the library's model, sheet after sheet, and closes it. Throws
// XlsError; the caller removes whatever file is left.
class BookWriter {
public:
    BookWriter(const XlsWorkbook& book, const QString& fileName) : m_book(book), m_fileName(fileName) {}

    void write(const std::string& path)
    {
        // Without merged cells every row is complete once the walk has passed it, and the
        // library may write it out at once instead of keeping the whole sheet until the end.
        lxw_workbook_options options{};
        options.constant_memory = singleCellsOnly(m_book) ? LXW_TRUE : LXW_FALSE;
        m_workbook = workbook_new_opt(path.c_str(), &options);
        if (!m_workbook)
            throw XlsError(XlsError::Code::CreateFile,
                           QStringLiteral("Ошибка записи файла «%1»: %2")
                               .arg(QFileInfo(m_fileName).fileName(), libraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED))
                               .toStdString());
        try {
            Formats formats(m_workbook, m_fileName);
            const QByteArray author = m_book.userName().toUtf8();
            lxw_doc_properties properties{};
            properties.author = const_cast<char*>(author.constData());
            check(workbook_set_properties(m_workbook, &properties));
            for (int s = 0; s < m_book.sheetCount(); ++s)
                writeSheet(m_book.sheet(s), formats);
        } catch (...) {
            lxw_workbook_free(m_workbook);
            throw;
        }
        errno = 0;
        const lxw_error closed = workbook_close(m_workbook); // frees the workbook too
        const int systemError = errno;
        if (closed != LXW_NO_ERROR) {
            // A file the library could not write has the system's reason, which says more
            // than the library's code.
            const bool fileFailure = closed != LXW_ERROR_MEMORY_MALLOC_FAILED && systemError != 0;
            const QString reason = fileFailure ? QString::fromUtf8(platform::errnoReason(systemError).c_str())
                                               : libraryReason(closed);
            throw XlsError(closed == LXW_ERROR_CREATING_XLSX_FILE ? XlsError::Code::CreateFile : XlsError::Code::Write,
                           QStringLiteral("Ошибка записи файла «%1»: %2")
                               .arg(QFileInfo(m_fileName).fileName(), reason)
                               .toStdString());
        }
    }

private:
    // Whether no sheet of `book` has a range over more than one cell.
    static bool singleCellsOnly(const XlsWorkbook& book)
    {
        for (int s = 0; s < book.sheetCount(); ++s) {
            const XlsWorksheet& sheet = book.sheet(s);
            if (sheet.maxRangeHeight() > 1)
                return false;
            for (int i = 0, count = sheet.cellCount(); i < count; ++i)
                if (!sheet.cellAt(i).isSingleCell())
                    return false;
        }
        return true;
    }

    void check(lxw_error error) const
    {
        if (error != LXW_NO_ERROR)
            throw writeError(m_fileName, libraryReason(error));
    }

    void writeSheet(const XlsWorksheet& sheet, Formats& formats)
    {
        const QByteArray name = sheet.name().toUtf8();
        lxw_worksheet* ws = workbook_add_worksheet(m_workbook, name.constData());
        if (!ws)
            throw writeError(m_fileName, QStringLiteral("лист \"%1\" не добавлен").arg(sheet.name()));
        worksheet_set_default_row(ws, biff::kDefaultRowHeight / 20.0, LXW_FALSE);
        RowHeights heights(sheet);
        writeCells(ws, sheet, formats, heights);
        heights.writeUpTo(ws, XlsxWriter::kMaxRow, *this);
        writeColumns(ws, sheet);
        if (sheet.hasFrozenPanes())
            worksheet_freeze_panes(ws, static_cast<lxw_row_t>(sheet.frozenRows()),
                                   static_cast<lxw_col_t>(sheet.frozenColumns()));
        if (const auto& titles = sheet.printTitleRows())
            check(worksheet_repeat_rows(ws, static_cast<lxw_row_t>(titles->First), static_cast<lxw_row_t>(titles->Last)));
        writePageSetup(ws, sheet.pageSetup());
    }

    // The heights of their own of the rows within the used area (the .xls writes no other),
    // handed to the library in row order together with the cells: a row written row by row
    // takes its height before its first cell.
    class RowHeights {
    public:
        explicit RowHeights(const XlsWorksheet& sheet)
            : m_heights(sheet.rowHeights()), m_top(sheet.usedTop()), m_bottom(sheet.usedBottom())
        {
        }
        // Gives the library every height up to row `row`, `row` included.
        void writeUpTo(lxw_worksheet* ws, std::int32_t row, const BookWriter& writer)
        {
            for (; m_next < m_heights.size() && m_heights[m_next].Index <= row; ++m_next) {
                const XlsRowHeight& h = m_heights[m_next];
                if (h.Index >= m_top && h.Index <= m_bottom)
                    writer.check(worksheet_set_row(ws, static_cast<lxw_row_t>(h.Index), h.Height / 20.0, nullptr));
            }
        }

    private:
        const std::vector<XlsRowHeight>& m_heights; // ordered by row
        std::int32_t m_top, m_bottom;
        std::size_t m_next = 0;
    };

    // Every entry of the list in list order, which is row order: plain cells with the default
    // style's format, ranges with their own, merged when they span more than one cell.
    void writeCells(lxw_worksheet* ws, const XlsWorksheet& sheet, Formats& formats, RowHeights& heights)
    {
        lxw_format* const plain = formats.of(XlsCellStyle::defaultStyle());
        const int count = sheet.cellCount();
        for (int i = 0; i < count; ++i) {
            const XlsCell c = sheet.cellAt(i);
            const XlsRange* range = c.range();
            lxw_format* const format = range ? formats.of(*range) : plain;
            heights.writeUpTo(ws, c.top(), *this);
            const auto row = static_cast<lxw_row_t>(c.top());
            const auto column = static_cast<lxw_col_t>(c.left());
            const bool merged = !c.isSingleCell();
            if (merged)
                check(worksheet_merge_range(ws, row, column, static_cast<lxw_row_t>(c.bottom()),
                                            static_cast<lxw_col_t>(c.right()), "", format));
            if (c.cellKind() == XlsCellKind::Number) {
                const double v = c.number();
                check(worksheet_write_number(ws, row, column, v == 0.0 ? 0.0 : v, format)); // -0 reads "-0"
                continue;
            }
            QString rangeText;
            QStringView text;
            if (range) {
                rangeText = range->value().toText();
                text = rangeText;
            } else {
                const std::u16string_view plainText = c.plainText();
                text = QStringView(plainText.data(), static_cast<qsizetype>(plainText.size()));
            }
            if (!text.isEmpty())
                check(worksheet_write_string(ws, row, column, cellText(text).constData(), format));
            else if (!merged)
                check(worksheet_write_blank(ws, row, column, format));
        }
    }

    void writeColumns(lxw_worksheet* ws, const XlsWorksheet& sheet)
    {
        for (const XlsColumnWidth& w : sheet.columnWidths()) {
            const auto column = static_cast<lxw_col_t>(w.Index);
            if (w.Width == 0) {
                lxw_row_col_options hidden{};
                hidden.hidden = LXW_TRUE;
                check(worksheet_set_column_opt(ws, column, column, 0, nullptr, &hidden));
            } else {
                check(worksheet_set_column(ws, column, column, libraryWidth(w.Width), nullptr));
            }
        }
    }

    void writePageSetup(lxw_worksheet* ws, const XlsPageSetup& ps)
    {
        if (ps.Orientation == XlsPageSetup::kLandscape)
            worksheet_set_landscape(ws);
        else
            worksheet_set_portrait(ws);
        worksheet_set_paper(ws, ps.PaperSize);
        // Scale and fitting exclude each other; the last call wins, so fitting comes last.
        if (ps.Zoom != 100 && ps.Zoom >= kMinPrintScale && ps.Zoom <= kMaxPrintScale)
            worksheet_set_print_scale(ws, static_cast<std::uint16_t>(ps.Zoom));
        if (ps.FitToPages)
            worksheet_fit_to_pages(ws, static_cast<std::uint16_t>(std::clamp(ps.FitToPagesWide, 0, kMaxPageCount)),
                                   static_cast<std::uint16_t>(std::clamp(ps.FitToPagesTall, 0, kMaxPageCount)));
        worksheet_set_margins(ws, ps.LeftMargin, ps.RightMargin, ps.TopMargin, ps.BottomMargin);
        writeHeaderFooter(ws, biff::headerFooterText(ps.LeftHeader, ps.CenterHeader, ps.RightHeader),
                          ps.HeaderMargin, worksheet_set_header_opt);
        writeHeaderFooter(ws, biff::headerFooterText(ps.LeftFooter, ps.CenterFooter, ps.RightFooter),
                          ps.FooterMargin, worksheet_set_footer_opt);
        if (ps.FirstPageNumber != 1)
            worksheet_set_start_page(ws, static_cast<std::uint16_t>(std::clamp(ps.FirstPageNumber, 0, kMaxPageCount)));
        if (ps.Order == 1)
            worksheet_print_across(ws);
        if (ps.PrintGridLines)
            worksheet_gridlines(ws, LXW_SHOW_ALL_GRIDLINES);
        if (ps.PrintHeadings)
            worksheet_print_row_col_headers(ws);
        if (ps.CenterHorizontally)
            worksheet_center_horizontally(ws);
        if (ps.CenterVertically)
            worksheet_center_vertically(ws);
    }

    // A header or footer and its margin; nothing for an empty text at the default margin.
    void writeHeaderFooter(lxw_worksheet* ws, const std::u16string& text, double margin,
                           lxw_error (*set)(lxw_worksheet*, const char*, lxw_header_footer_options*))
    {
        if (text.empty() && margin <= 0.0)
            return;
        const QStringView view(text.data(), static_cast<qsizetype>(text.size()));
        const QByteArray utf8 = cutCharacters(view, kMaxHeaderFooter).toUtf8();
        lxw_header_footer_options options{};
        options.margin = margin > 0.0 ? margin : 0.0; // 0: the library keeps Excel's default
        check(set(ws, utf8.constData(), &options));
    }

    const XlsWorkbook& m_book;
    const QString& m_fileName;
    lxw_workbook* m_workbook = nullptr;
};

} // namespace

// Refuses a workbook that the format cannot hold, before anything is written.
void XlsxWriter::validate(const XlsWorkbook& book)
{
    std::vector<QString> names;
    for (int s = 0; s < book.sheetCount(); ++s)
        checkSheet(book.sheet(s), names);
}

namespace {

#ifndef _WIN32
// The library tells the standard error stream about every failure; the program reports the
// failure itself, in the user's words, so the library's lines are kept off the stream while
// it works.
class QuietStandardError {
public:
    QuietStandardError()
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStandardError()
    {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved = -1;
};
#else
struct QuietStandardError {
    QuietStandardError() {} // nothing to quieten: the library writes no messages there
};
#endif

#ifdef __linux__
// The library writes its file by name and says what went wrong on the standard error stream.
// It gets a file in memory instead, which cannot fail for want of disk space; the finished
// bytes then go to the disk through the file layer, which reports a failed write in the
// user's words and keeps the file locked while it is written.
void writeThroughMemory(const XlsWorkbook& book, const QString& fileName, platform::File& out)
{
    struct Descriptor {
        int fd;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } memory{::memfd_create("kvel-xlsx", MFD_CLOEXEC)};
    const std::string byName = "/proc/self/fd/" + std::to_string(memory.fd);
    if (memory.fd < 0 || ::access(byName.c_str(), W_OK) != 0) {
        // No memory file here: the library writes the temporary file itself.
        const QuietStandardError quiet;
        BookWriter(book, fileName).write(out.path());
        return;
    }
    {
        const QuietStandardError quiet;
        BookWriter(book, fileName).write(byName);
    }
    std::vector<char> buffer(std::size_t(1) << 20);
    for (std::uint64_t at = 0;;) {
        const ssize_t n = ::pread(memory.fd, buffer.data(), buffer.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw writeError(fileName, QString::fromUtf8(platform::errnoReason(errno).c_str()));
        if (n == 0)
            break;
        out.writeAt(at, std::string_view(buffer.data(), std::size_t(n)));
        at += std::uint64_t(n);
    }
}
#else
void writeThroughMemory(const XlsWorkbook& book, const QString& fileName, platform::File& out)
{
    // Windows lets no second open share the temporary file: the library gets it to itself.
    const std::string path = out.path();
    out.close();
    const QuietStandardError quiet;
    BookWriter(book, fileName).write(path);
}
#endif

} // namespace

// Writes the workbook file, atomically.
void XlsxWriter::save(const XlsWorkbook& book, const QString& fileName)
{
    if (fileName.isEmpty())
        throw XlsError(XlsError::Code::CreateFile, "Ошибка записи файла: имя файла не задано");
    validate(book);
    // A link is written through: the new file takes the place of the file the link points
    // to. The temporary file lies beside that real file, so that the last step is a rename
    // within one folder.
    const std::string target = platform::resolvedPath(platform::nativeName(fileName));
    try {
        platform::requireReplaceable(target);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::NotReplaceable, refusalText(fileName, e));
    }
    std::optional<platform::ReplacementFile> temp;
    try {
        temp.emplace(target);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::CreateFile, QStringLiteral("Ошибка записи файла «%1»: %2")
                                                       .arg(QFileInfo(fileName).fileName(), QString::fromUtf8(e.reason().c_str()))
                                                       .toStdString());
    }
    try {
        writeThroughMemory(book, fileName, temp->file());
        temp->commit();
    } catch (const platform::FileError& e) {
        throw writeError(fileName, QString::fromUtf8(e.reason().c_str()));
    }
}

} // namespace xls
