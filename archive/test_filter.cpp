#include "archive/test_filter.h"

#include "store/measurement_table.h"

namespace archive {

SqlCondition conditionOf(const TestFilter& filter, Dialect dialect)
{
    SqlCondition out;
    QStringList parts;
    const auto add = [&](const QString& text, std::initializer_list<QVariant> values) {
        parts << text;
        out.values.insert(out.values.end(), values.begin(), values.end());
    };
    if (filter.kind)
        add(QStringLiteral("t.kind = ?"), {*filter.kind});
    if (filter.from)
        add(QStringLiteral("t.test_day >= ?"), {filter.from->toString(Qt::ISODate)});
    if (filter.to)
        add(QStringLiteral("t.test_day <= ?"), {filter.to->toString(Qt::ISODate)});
    if (filter.serial)
        add(QStringLiteral("t.f_serial = ?"), {*filter.serial});
    if (!filter.commentText.isEmpty()) {
        // Both sides folded to one case: the comment by the database, the text here.
        QString escaped = filter.commentText.toCaseFolded();
        escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        add(QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(foldedText(dialect, QStringLiteral("t.f_comment"))),
            {QStringLiteral("%") + escaped + QStringLiteral("%")});
    }
    if (filter.below.any()) {
        QStringList below;
        if (filter.below.minK) {
            below << QStringLiteral("(CASE WHEN t.kind = %1 THEN t.f_p7 ELSE t.f_k END) < ?").arg(store::kPenetrometerKind);
            out.values.push_back(*filter.below.minK);
        }
        if (filter.below.minE) {
            below << QStringLiteral("t.f_u < ?");
            out.values.push_back(*filter.below.minE);
        }
        parts << QStringLiteral("(") + below.join(QStringLiteral(" OR ")) + QStringLiteral(")");
    }
    const auto name = [&](const std::optional<QString>& value, const char* column) {
        if (!value)
            return;
        if (value->trimmed().isEmpty())
            parts << QStringLiteral("t.%1 IS NULL").arg(QLatin1String(column));
        else
            add(QStringLiteral("t.%1 = ?").arg(QLatin1String(column)), {value->trimmed()});
    };
    name(filter.object, "site_object");
    name(filter.section, "site_section");
    name(filter.layer, "site_layer");
    if (!filter.ids.empty()) {
        QStringList marks;
        for (const qint64 id : filter.ids) {
            marks << QStringLiteral("?");
            out.values.push_back(id);
        }
        parts << QStringLiteral("t.id IN (%1)").arg(marks.join(QStringLiteral(", ")));
    }
    out.text = parts.isEmpty() ? QStringLiteral("1 = 1") : parts.join(QStringLiteral(" AND "));
    return out;
}

QString testOrder(Dialect dialect, const QString& table)
{
    // SQLite puts NULL first in an ascending order, PostgreSQL last unless told.
    const QString nulls = dialect == Dialect::PostgreSQL ? QStringLiteral(" NULLS FIRST") : QString();
    return QStringLiteral("%1.test_day%2, %1.f_time%2, %1.id").arg(table, nulls);
}

} // namespace archive
