#pragma once

#include "archive/sql_statement.h"
#include "document/limits.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace archive {

// Which tests a view, an export or a report of the archive takes. Every part is optional; the
// parts given must all hold.
struct TestFilter {
    std::optional<int> kind; // NB_TYPE: store::kPenetrometerKind, store::kPressKind
    std::optional<QDate> from;
    std::optional<QDate> to;
    std::optional<double> serial;
    QString commentText; // found in COMMENT, whatever the case of its letters
    // Tests below one of these limits (K is P7 on a penetrometer row and K on a press row,
    // E is U, as the window marks them).
    document::Limits below;
    // The site: a name, or an empty text for the tests that have none ("Без объекта").
    std::optional<QString> object;
    std::optional<QString> section;
    std::optional<QString> layer;
    std::vector<qint64> ids; // only these tests (a selection); empty: no such condition
};

// The filter as an SQL condition on the tests table (named `t`), with "?" for each value, in
// order. "1 = 1" when it takes everything. Values are never written into the text.
struct SqlCondition {
    QString text;
    std::vector<QVariant> values;
};
SqlCondition conditionOf(const TestFilter& filter, Dialect dialect);

// The order of the archive's tests: by date, then time, then as they came. Tests without a
// readable date come first, in every database.
QString testOrder(Dialect dialect, const QString& table = QStringLiteral("t"));

} // namespace archive
