#pragma once

#include "reports/report_design.h"

#include <QLocale>
#include <QString>

namespace store {
class DbfTable;
}

namespace reports {

// The text of a number in one of the report formats. Fixed2 and Decimal3 always use a
// comma, whatever the system says; Plain uses `system`'s separator.
QString formatNumber(double value, ValueFormat format, const QLocale& system = QLocale());

// The data band's source: the rows of a table's view, in its filter and order of the moment
// the report is prepared, read by position without moving the table's cursor.
class ReportDataSet {
public:
    explicit ReportDataSet(store::DbfTable& table) : m_table(table) {}

    store::DbfTable& table() const noexcept { return m_table; }
    bool isActive() const;
    int rowCount() const;

    // The cell text of field `name` on the view's row `row`: an empty field, a field the
    // table does not have, or a row outside the view gives an empty text. Text fields are
    // printed as stored whatever the format.
    QString value(int row, const QString& name, ValueFormat format) const;

private:
    store::DbfTable& m_table;
};

} // namespace reports
