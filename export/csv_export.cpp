#include "export/csv_export.h"

#include "document/column_catalogue.h"
#include "export/replacing_write.h"
#include "platform/file_io.h"
#include "store/row_cursor.h"

#include <QLocale>

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

void appendText(QByteArray& line, const QString& text)
{
    QString value = text;
    if (csvTakesAsFormula(value))
        value.prepend(QLatin1Char('\''));
    const bool quoted = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('"'))
        || value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
    if (!quoted) {
        line += value.toUtf8();
        return;
    }
    value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    line += '"';
    line += value.toUtf8();
    line += '"';
}

void appendNumber(QByteArray& line, const std::optional<double>& value)
{
    if (!value)
        return;
    // The shortest text that reads back as the same number, never in exponent form; -0 is 0.
    const double v = *value == 0.0 ? 0.0 : *value;
    QByteArray digits = QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
    digits.replace('.', ',');
    line += digits;
}

} // namespace

QStringList csvHeadings(const document::Limits& limits)
{
    QStringList out;
    for (const CsvColumn& c : csvColumns())
        out << c.heading;
    if (limits.any())
        out << QStringLiteral("Нормативы: ") + document::limitsText(limits);
    return out;
}

QByteArray csvBytes(const store::MeasurementTable& table, const document::Limits& limits)
{
    if (!table.isActive())
        return {};
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

    QByteArray out("\xEF\xBB\xBF");
    const QStringList headings = csvHeadings(limits);
    for (qsizetype i = 0; i < headings.size(); ++i) {
        if (i > 0)
            out += ';';
        appendText(out, headings[i]);
    }
    out += "\r\n";

    store::RowCursor rows(table);
    out.reserve(out.size() + qsizetype(rows.count()) * 160);
    for (rows.first(); !rows.atEnd(); rows.next()) {
        const std::uint32_t rec = rows.record();
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (i > 0)
                out += ';';
            if (sources[i].text)
                appendText(out, t.text(rec, sources[i].field));
            else
                appendNumber(out, t.real(rec, sources[i].field));
        }
        if (limits.any()) {
            out += ';';
            if (document::failsLimits(limits, table, rec))
                out += QByteArrayLiteral("не соотв.");
        }
        out += "\r\n";
    }
    return out;
}

int writeCsvFile(const store::MeasurementTable& table, const QString& path, const document::Limits& limits)
{
    const QByteArray bytes = csvBytes(table, limits);
    writeReplacing(path, [&bytes](platform::File& file) {
        file.writeAt(0, std::string_view(bytes.constData(), std::size_t(bytes.size())));
    });
    return store::RowCursor(table).count();
}

} // namespace table_export
