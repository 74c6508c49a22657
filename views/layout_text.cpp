#include "views/layout_text.h"

#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <optional>
#include <utility>

namespace views {

namespace {

const QString kHeader = QStringLiteral("DataGridLayout 1");
const QString kColumn = QStringLiteral("Column");
const QString kEnd = QStringLiteral("End");
const QString kCrLf = QStringLiteral("\r\n");

// Horizontal alignments by name; the vertical part is always centred.
const std::array<std::pair<const char*, Qt::Alignment>, 3> kAlignments = {{
    {"Left", Qt::AlignLeft | Qt::AlignVCenter},
    {"Center", Qt::AlignCenter},
    {"Right", Qt::AlignRight | Qt::AlignVCenter},
}};

const std::array<std::pair<const char*, TitleState>, 3> kTitleStates = {{
    {"None", TitleState::None},
    {"Up", TitleState::Up},
    {"Down", TitleState::Down},
}};

const std::array<std::pair<const char*, unsigned>, 2> kOptions = {{
    {"WrapTitle", WrapTitle},
    {"ElideCells", ElideCells},
}};

QString alignmentName(Qt::Alignment a)
{
    if (a & Qt::AlignLeft)
        return QStringLiteral("Left");
    if (a & Qt::AlignRight)
        return QStringLiteral("Right");
    return QStringLiteral("Center");
}

std::optional<Qt::Alignment> alignmentFrom(const QString& s)
{
    for (const auto& [name, a] : kAlignments)
        if (s == QLatin1String(name))
            return a;
    return std::nullopt;
}

QString titleName(TitleState t)
{
    for (const auto& [name, state] : kTitleStates)
        if (state == t)
            return QLatin1String(name);
    return QStringLiteral("None");
}

std::optional<int> number(const QString& s, int lowest)
{
    bool ok = false;
    const int v = s.toInt(&ok);
    if (!ok || v < lowest)
        return std::nullopt;
    return v;
}

QString optionsText(unsigned options)
{
    QStringList names;
    for (const auto& [name, bit] : kOptions)
        if (options & bit)
            names << QLatin1String(name);
    return names.join(QLatin1Char(','));
}

std::optional<unsigned> optionsFrom(const QString& s)
{
    unsigned options = 0;
    for (const QString& part : s.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool known = false;
        for (const auto& [name, bit] : kOptions)
            if (part == QLatin1String(name)) {
                options |= bit;
                known = true;
            }
        if (!known)
            return std::nullopt;
    }
    return options;
}

// Reads one "Key=Value" line into a column; false when the key is unknown or the value bad.
bool readProperty(const QString& key, const QString& value, GridColumn& c)
{
    if (key == QLatin1String("Field")) {
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]{0,10}$"));
        if (!name.match(value).hasMatch())
            return false;
        c.fieldName = value;
    } else if (key == QLatin1String("Width")) {
        const auto v = number(value, 0);
        if (!v)
            return false;
        c.width = *v;
    } else if (key == QLatin1String("Level") || key == QLatin1String("Index")) {
        const auto v = number(value, 0);
        if (!v)
            return false;
        (key == QLatin1String("Level") ? c.level : c.index) = *v;
    } else if (key == QLatin1String("Title")) {
        const QStringList parts = value.split(QLatin1Char(' '));
        if (parts.size() != 2)
            return false;
        std::optional<TitleState> state;
        for (const auto& [n, t] : kTitleStates)
            if (parts[0] == QLatin1String(n))
                state = t;
        const auto seq = number(parts[1], 0);
        if (!state || !seq)
            return false;
        c.titleState = *state;
        c.sortSequence = *seq;
    } else if (key == QLatin1String("Footer") || key == QLatin1String("Alignment")) {
        const auto a = alignmentFrom(value);
        if (!a)
            return false;
        (key == QLatin1String("Footer") ? c.footerAlignment : c.alignment) = *a;
    } else if (key == QLatin1String("Options")) {
        const auto o = optionsFrom(value);
        if (!o)
            return false;
        c.visualOptions = *o;
    } else if (key == QLatin1String("Color")) {
        static const QRegularExpression rgb(QStringLiteral("^#[0-9a-fA-F]{6}$"));
        if (value == QLatin1String("none"))
            c.color.reset();
        else if (rgb.match(value).hasMatch())
            c.color = QColor(value);
        else
            return false;
    } else if (key == QLatin1String("Font")) {
        if (value.isEmpty()) {
            c.font.reset();
        } else {
            QFont f;
            if (!f.fromString(value))
                return false;
            c.font = f;
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

QString withCrLf(const QString& text)
{
    QString t = text;
    t.replace(kCrLf, QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    // A text that ended with a line end gives an empty last piece: that line end is kept
    // by the join below, not doubled.
    const bool endedWithBreak = lines.size() > 1 && lines.back().isEmpty();
    if (endedWithBreak)
        lines.removeLast();
    QString out = lines.join(kCrLf);
    if (endedWithBreak || !out.isEmpty())
        out += kCrLf;
    return out;
}

QString writeLayoutText(const GridColumns& columns)
{
    QStringList lines{kHeader};
    for (const GridColumn& c : columns) {
        lines << kColumn;
        lines << QStringLiteral("Field=") + c.fieldName;
        lines << QStringLiteral("Width=%1").arg(c.width);
        lines << QStringLiteral("Level=%1").arg(c.level);
        lines << QStringLiteral("Index=%1").arg(c.index);
        lines << QStringLiteral("Title=%1 %2").arg(titleName(c.titleState)).arg(c.sortSequence);
        lines << QStringLiteral("Footer=") + alignmentName(c.footerAlignment);
        lines << QStringLiteral("Options=") + optionsText(c.visualOptions);
        lines << QStringLiteral("Color=") + (c.color ? c.color->name(QColor::HexRgb) : QStringLiteral("none"));
        lines << QStringLiteral("Alignment=") + alignmentName(c.alignment);
        lines << QStringLiteral("Font=") + (c.font ? c.font->toString() : QString());
        lines << kEnd;
    }
    return lines.join(kCrLf) + kCrLf;
}

bool readLayoutText(const QString& text, GridColumns& columns)
{
    QString t = text;
    t.replace(kCrLf, QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines.front() != kHeader)
        return false;

    GridColumns read;
    std::optional<GridColumn> open;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line == kColumn) {
            if (open)
                return false;
            open.emplace();
        } else if (line == kEnd) {
            if (!open)
                return false;
            read.push_back(*open);
            open.reset();
        } else {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (!open || eq <= 0 || !readProperty(line.left(eq), line.mid(eq + 1), *open))
                return false;
        }
    }
    if (open)
        return false;
    columns = std::move(read);
    return true;
}

} // namespace views
