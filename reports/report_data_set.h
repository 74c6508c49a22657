#pragma once

#include "reports/report_design.h"

#include <QLocale>
#include <QString>

#include <functional>

namespace store {
class DbfTable;
class MeasurementTable;
}
namespace document {
struct Limits;
}

namespace reports {

// The text of a number in one of the report formats, always with the decimal comma whatever
// the system says: a printed protocol reads the same on every machine.
QString formatNumber(double value, ValueFormat format);

// The data band's source: the rows of a table's view, in its filter and order of the moment
// the report is prepared, read by position without moving the table's cursor.
class ReportDataSet {
public:
    explicit ReportDataSet(const store::DbfTable& table) : m_table(table) {}

    const store::DbfTable& table() const noexcept { return m_table; }
    bool isActive() const;
    int rowCount() const;

    // The cell text of field `name` on the view's row `row`: an empty field, a field the
    // table does not have, or a row outside the view gives an empty text. Text fields are
    // printed as stored whatever the format.
    QString value(int row, const QString& name, ValueFormat format) const;

    // Rows to mark (tests below a limit): the data band's cell of `field` gets the report's
    // mark on those rows. `note` is printed under the title (the limits marked by).
    using RowMarker = std::function<bool(int row)>;
    void setMarks(RowMarker marker, const QString& field, const QString& note);
    bool isMarked(int row) const { return m_marker && m_marker(row); }
    const QString& markedField() const noexcept { return m_markedField; }
    const QString& titleNote() const noexcept { return m_titleNote; }

private:
    const store::DbfTable& m_table;
    RowMarker m_marker;
    QString m_markedField;
    QString m_titleNote;
};

// Marks, on `data` over `table`'s view, the tests below `limits` in their N cell, and names the
// limits under the title; nothing when no limit is set.
void markTestsBelowLimits(ReportDataSet& data, const store::MeasurementTable& table, const document::Limits& limits);

} // namespace reports
