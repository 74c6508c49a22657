#include "export/csv_export.h"

#include "document/column_catalogue.h"
#include "export/replacing_write.h"
#include "platform/file_io.h"
#include "platform/ordered_blocks.h"
#include "store/dbf_table.h"
#include "store/row_cursor.h"
#include "store/text_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace table_export {
namespace {

using document::CatalogueColumn;

struct CsvColumn {
    QString heading;
    const char* field;
};

// The sheet's columns in their order; a force line under its heading "F, …" becomes a
// column "F1, …" of its own.
const std::vector<CsvColumn>& csvColumns()
{
    static const std::vector<CsvColumn> columns = [] {
        std::vector<CsvColumn> out;
        QString parent;
        for (const CatalogueColumn& c : document::columns(document::ColumnSet::Export)) {
            const QString caption = QString::fromUtf8(c.caption);
            if (c.line == 0)
                parent = caption;
            if (*c.field == '\0')
                continue;
            if (c.line == 0) {
                out.push_back({caption, c.field});
                continue;
            }
            // "F, Усилие пенетрации, Н" → "F3, Усилие пенетрации, Н"
            const qsizetype comma = parent.indexOf(QLatin1Char(','));
            const QString numbered = comma > 0
                ? parent.left(comma) + QString::number(c.line) + parent.mid(comma)
                : QStringLiteral("%1 %2").arg(parent).arg(c.line);
            out.push_back({numbered, c.field});
        }
        return out;
    }();
    return columns;
}

} // namespace

bool csvTakesAsFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    // A formula, a command (DDE), or a control character that a spreadsheet may drop and
    // then read what follows as one.
    if (first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('@') || first.unicode() < 0x20)
        return true;
    if (first != QLatin1Char('-') || text.size() == 1)
        return false;
    // A minus starts a formula when a name or a reference follows it ("-A1", "-cmd") or an
    // operator, a bracket, a range or a command comes anywhere after it. A minus before a
    // number or a blank, with words after it ("-2 слой", "-1,5 м"), is text and is written as
    // typed.
    const QChar second = text[1];
    if (!second.isDigit() && second != QLatin1Char(' '))
        return true;
    static const QString formulaSigns = QStringLiteral("=+-*/^&|!()<>@%$:;\"'[]{}#~");
    for (qsizetype i = 1; i < text.size(); ++i)
        if (formulaSigns.contains(text[i]) || text[i].unicode() < 0x20)
            return true;
    return false;
}

namespace {

// A block of the file's bytes as they are made: fields are formatted straight into the buffer
// behind a write position, rather than into a temporary of their own that is then copied,
// and the buffer doubles when a field would not fit. Cleared, it keeps its memory for the
// next block. 100,000 records hold 1.6 million fields.
class CsvBuffer {
public:
    // Room for `n` more bytes at the write position.
    char* room(std::size_t n)
    {
        if (std::size_t(m_bytes.size() - m_at) < n) {
            m_bytes.resize(std::max({m_bytes.size() * 2, m_at + qsizetype(n), qsizetype(4096)}));
            m_data = m_bytes.data();
        }
        return m_data + m_at;
    }
    // The bytes up to `end` (inside the room just asked for) are written.
    void wrote(const char* end) { m_at = end - m_data; }

    void append(char c) { *room(1) = c, ++m_at; }
    void append(std::string_view bytes)
    {
        char* at = room(bytes.size());
        std::memcpy(at, bytes.data(), bytes.size());
        m_at += qsizetype(bytes.size());
    }
    void append(const QByteArray& bytes) { append(std::string_view(bytes.constData(), std::size_t(bytes.size()))); }

    std::string_view bytes() const { return std::string_view(m_data, std::size_t(m_at)); }
    void clear() { m_at = 0; }

private:
    QByteArray m_bytes;
    char* m_data = nullptr;
    qsizetype m_at = 0;
};

// Rows formatted as one block: about 330 KB of text, a piece of work worth a thread's while
// and small enough that writing out the first blocks overlaps formatting the rest.
constexpr std::size_t kBlockRows = 2048;

// The longest number in fixed notation: a sign, 309 digits before the point of the largest
// double, or "0." and 324 places for the smallest.
constexpr std::size_t kMaxNumberText = 1 + 2 + 330;

// From 2^53 on every double is a whole number, but not every whole number a double: fixed
// notation then gives the double's exact digits (1e23 → 99999999999999991611392), where the
// shortest text that reads back as it is its shortest digits followed by zeros
// (100000000000000000000000), as the export has always written it. Below 2^53 a whole
// number of the shortest text is itself a double, so the two agree.
constexpr double kExactDigitsFrom = 9007199254740992.0;

// The shortest digits of a large `v` (at least kExactDigitsFrom in size), padded with zeros.
char* writeLargeNumber(double v, char* out)
{
    char scientific[32]; // "-1.2345678901234567e+308"
    const char* const end = std::to_chars(scientific, scientific + sizeof scientific, v, std::chars_format::scientific).ptr;
    const char* p = scientific;
    if (*p == '-')
        *out++ = *p++;
    const char* const e = std::find(p, end, 'e');
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    int digits = 0;
    for (; p < e; ++p)
        if (*p != '.')
            *out++ = *p, ++digits;
    // Whole: the exponent is never below the places of the digits after the first.
    for (; digits <= exponent; ++digits)
        *out++ = '0';
    return out;
}

// Writes the CSV text of `value` at `out` (room for kMaxNumberText) and returns its end.
char* writeNumber(double value, char* out)
{
    // The shortest text that reads back as the same number, never in exponent form; -0 is 0.
    const double v = value == 0.0 ? 0.0 : value;
    if (std::isfinite(v) && std::abs(v) >= kExactDigitsFrom)
        return writeLargeNumber(v, out);
    if (std::abs(v) < 1e6) {
        // A table's numbers were stored with at most nine decimals, and most are below a
        // million. When m / 10^9 reads back as the number, that decimal has at most 15
        // significant digits, and no other text of 15 digits or fewer reads as the same
        // double (DBL_DIG): it is the shortest one. Its digits come from an integer, which
        // costs a fraction of the general search. (m and 10^9 are exact doubles, and the
        // division rounds correctly, so the test is exact.)
        const long long m = std::llround(v * 1e9);
        if (static_cast<double>(m) / 1e9 == v) {
            if (m < 0)
                *out++ = '-';
            const unsigned long long u = m < 0 ? 0ull - static_cast<unsigned long long>(m) : static_cast<unsigned long long>(m);
            out = std::to_chars(out, out + 8, u / 1'000'000'000ull).ptr;
            unsigned long long fraction = u % 1'000'000'000ull;
            if (fraction == 0)
                return out;
            int places = 9;
            for (; fraction % 10 == 0; fraction /= 10)
                --places;
            *out++ = ',';
            for (int i = places - 1; i >= 0; --i, fraction /= 10)
                out[i] = static_cast<char>('0' + fraction % 10);
            return out + places;
        }
    }
    char* const end = std::to_chars(out, out + kMaxNumberText, v, std::chars_format::fixed).ptr;
    // Only a fraction has a point, and only one; the search starts after the sign or the
    // first digit, neither of which can be it.
    for (char* p = out + 1; p < end; ++p)
        if (*p == '.') {
            *p = ',';
            break;
        }
    return end;
}

// Writes the CSV text of a number stored in the shape this program writes it ("  -12.500000000":
// blanks, a minus, digits, a point and digits), straight from the stored bytes: the sign, the
// digits without the zeros that do not count, a decimal comma. When the digits from the first
// to the last non-zero one are at most 15, that is the text writeNumber makes of the value:
// the decimal reads back as the stored double, and no other text of 15 digits or fewer reads
// as the same double (DBL_DIG), so it is the shortest. Returns null, having written nothing,
// for any other field (blank, another shape, more digits): those go through the value.
char* writeStoredDecimal(std::string_view stored, char* out)
{
    const char* p = stored.data();
    const char* end = p + stored.size();
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    const auto digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
    while (p < end && blank(*p))
        ++p;
    while (end > p && blank(end[-1]))
        --end;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    const char* whole = p;
    while (p < end && digit(*p))
        ++p;
    const char* wholeEnd = p;
    if (wholeEnd == whole)
        return nullptr;
    const char* fraction = wholeEnd;
    const char* fractionEnd = wholeEnd;
    if (p < end) {
        if (*p != '.')
            return nullptr;
        fraction = ++p;
        while (p < end && digit(*p))
            ++p;
        fractionEnd = p;
        if (fractionEnd == fraction || p != end)
            return nullptr;
    }
    while (whole < wholeEnd && *whole == '0')
        ++whole;
    while (fractionEnd > fraction && fractionEnd[-1] == '0')
        --fractionEnd;
    // The significant digits: from the first non-zero one to the last.
    int significant;
    if (whole < wholeEnd) {
        const char* last = wholeEnd;
        if (fractionEnd == fraction)
            while (last[-1] == '0')
                --last;
        significant = int(last - whole) + int(fractionEnd - fraction);
    } else {
        const char* first = fraction;
        while (first < fractionEnd && *first == '0')
            ++first;
        significant = int(fractionEnd - first);
        if (significant == 0) {
            *out = '0'; // -0 too
            return out + 1;
        }
    }
    if (significant > 15)
        return nullptr;
    if (negative)
        *out++ = '-';
    if (whole == wholeEnd)
        *out++ = '0';
    out = std::copy(whole, wholeEnd, out);
    if (fractionEnd > fraction) {
        *out++ = ',';
        out = std::copy(fraction, fractionEnd, out);
    }
    return out;
}

// Writes the CSV text of a stored numeric field at `out` (room for kMaxNumberText) and
// returns its end: nothing for a blank field or one that holds no number. Nearly every
// number is stored as this program writes it and is copied; the rest are read and written
// from their value.
char* writeStoredNumber(std::string_view stored, char* out)
{
    if (char* const end = writeStoredDecimal(stored, out))
        return end;
    const std::optional<double> value = store::parseNumeric(stored);
    return value ? writeNumber(*value, out) : out;
}

void appendText(CsvBuffer& out, const QString& text)
{
    QString value = text;
    if (csvTakesAsFormula(value))
        value.prepend(QLatin1Char('\''));
    const bool quoted = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('"'))
        || value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
    if (!quoted) {
        out.append(value.toUtf8());
        return;
    }
    value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    out.append('"');
    out.append(value.toUtf8());
    out.append('"');
}

// A stored text field (without its padding), converted from the table's code page
// straight into the buffer. Both code pages keep ASCII as ASCII and map no byte above it to
// an ASCII character, so quotes, separators and line breaks are found in the stored bytes.
// A text that may be taken for a formula (it starts with one of the characters that
// csvTakesAsFormula looks at) is rare; it takes the way through QString, so that the rules
// live in one place.
void appendStoredText(CsvBuffer& out, std::string_view stored, const store::TextCodec& codec)
{
    if (stored.empty())
        return;
    const unsigned char first = static_cast<unsigned char>(stored.front());
    if (first < 0x20 || first == '=' || first == '+' || first == '@' || first == '-') {
        appendText(out, codec.decode(stored));
        return;
    }
    const bool quoted = stored.find_first_of(std::string_view(";\"\n\r", 4)) != std::string_view::npos;
    if (!quoted) {
        out.wrote(codec.toUtf8(stored, out.room(stored.size() * store::TextCodec::kMaxUtf8PerByte)));
        return;
    }
    // Quoted, with every quote doubled: at most twice the text, and the two quotes.
    char* at = out.room(2 + stored.size() * 2 * store::TextCodec::kMaxUtf8PerByte);
    *at++ = '"';
    for (std::size_t from = 0; from <= stored.size();) {
        const std::size_t quote = std::min(stored.find('"', from), stored.size());
        at = codec.toUtf8(stored.substr(from, quote - from), at);
        if (quote == stored.size())
            break;
        *at++ = '"';
        *at++ = '"';
        from = quote + 1;
    }
    *at++ = '"';
    out.wrote(at);
}

} // namespace

QByteArray csvNumber(double value)
{
    char text[kMaxNumberText];
    return QByteArray(text, writeNumber(value, text) - text);
}

QByteArray csvStoredNumber(std::string_view stored)
{
    char text[kMaxNumberText];
    return QByteArray(text, writeStoredNumber(stored, text) - text);
}

QStringList csvHeadings(const document::Limits& limits, const ExtraColumns& extra)
{
    QStringList out;
    for (const CsvColumn& c : csvColumns())
        out << c.heading;
    out += extra.headings;
    if (limits.any())
        out << QStringLiteral("Нормативы: ") + document::limitsText(limits);
    return out;
}

void writeCsv(const store::MeasurementTable& table, const document::Limits& limits,
              const std::function<void(std::string_view)>& write, const ExtraColumns& extra)
{
    if (!table.isActive())
        return;
    const store::DbfTable& t = table.table();
    struct Source {
        int field;
        bool text;
    };
    std::vector<Source> sources;
    for (const CsvColumn& c : csvColumns()) {
        const int field = t.requireField(c.field);
        sources.push_back({field, !store::isNumeric(t.fields()[static_cast<std::size_t>(field)].type)});
    }

    CsvBuffer heading;
    heading.append(std::string_view("\xEF\xBB\xBF"));
    const QStringList headings = csvHeadings(limits, extra);
    for (qsizetype i = 0; i < headings.size(); ++i) {
        if (i > 0)
            heading.append(';');
        appendText(heading, headings[i]);
    }
    heading.append(std::string_view("\r\n"));
    write(heading.bytes());

    const std::vector<std::uint32_t> rows = t.viewInFileOrder();
    const store::TextCodec& codec = t.codec();
    const bool marked = limits.any();
    const auto makeRows = [&](int block, CsvBuffer& out) {
        out.clear();
        const std::size_t from = std::size_t(block) * kBlockRows;
        const std::size_t to = std::min(rows.size(), from + kBlockRows);
        for (std::size_t row = from; row < to; ++row) {
            const std::uint32_t rec = rows[row];
            for (std::size_t i = 0; i < sources.size(); ++i) {
                if (i > 0)
                    out.append(';');
                if (sources[i].text) {
                    appendStoredText(out, t.storedText(rec, sources[i].field), codec);
                    continue;
                }
                out.wrote(writeStoredNumber(t.rawField(rec, sources[i].field), out.room(kMaxNumberText)));
            }
            if (extra.count() > 0) {
                const std::vector<ExtraColumns::Value> values = extra.values(rec);
                for (int i = 0; i < extra.count(); ++i) {
                    out.append(';');
                    if (i >= int(values.size()))
                        continue;
                    const ExtraColumns::Value& v = values[std::size_t(i)];
                    if (const auto* text = std::get_if<QString>(&v))
                        appendText(out, *text);
                    else if (const auto* number = std::get_if<double>(&v))
                        out.wrote(writeNumber(*number, out.room(kMaxNumberText)));
                }
            }
            if (marked) {
                out.append(';');
                if (document::failsLimits(limits, table, rec))
                    out.append(std::string_view("не соотв."));
            }
            out.append(std::string_view("\r\n"));
        }
    };
    const int blocks = int((rows.size() + kBlockRows - 1) / kBlockRows);
    platform::makeInOrder<CsvBuffer>(blocks, makeRows, [&](const CsvBuffer& block) { write(block.bytes()); });
}

QByteArray csvBytes(const store::MeasurementTable& table, const document::Limits& limits)
{
    QByteArray out;
    writeCsv(table, limits, [&out](std::string_view bytes) { out.append(bytes.data(), qsizetype(bytes.size())); });
    return out;
}

int writeCsvFile(const store::MeasurementTable& table, const QString& path, const document::Limits& limits,
                 const ExtraColumns& extra)
{
    writeReplacing(path, [&](platform::File& file) {
        std::uint64_t at = 0;
        writeCsv(table, limits, [&](std::string_view bytes) {
            file.writeAt(at, bytes);
            at += bytes.size();
        }, extra);
    });
    return store::RowCursor(table).count();
}

} // namespace table_export
