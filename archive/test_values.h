#pragma once

#include "store/measurement_table.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace archive {

// One test as the archive holds it: the values of a table row's 24 fields. A blank field, and
// a number field that holds no number, is empty.
struct TestValues {
    std::array<std::optional<double>, store::kFieldCount> numbers{}; // the number fields
    std::array<QString, store::kFieldCount> texts{};                 // the text fields

    std::optional<double> number(store::Field f) const { return numbers[static_cast<std::size_t>(f)]; }
    const QString& text(store::Field f) const { return texts[static_cast<std::size_t>(f)]; }
    // NB_TYPE as a whole number; -1 when blank.
    int kind() const;
    bool operator==(const TestValues&) const = default;
};

// Whether the field holds text (DATE, TIME, ZAV, TYPE, COMMENT, T) rather than a number.
bool isTextField(store::Field f);
// The archive's column of a field: "f_" and its name, "f_p1".
QString fieldColumn(store::Field f);

// The values of a record of the table (by physical number), whatever its view shows.
TestValues readRecord(const store::MeasurementTable& table, std::uint32_t record);

// What makes two rows one test: the instrument's type and serial, the kind, the date and time,
// and the forces P1 to P5. N is not part of it (renumbering changes it), nor anything typed
// in later (comment, type, layer). Equal keys, equal tests, whatever the tables' field widths.
QByteArray identityOf(const TestValues& values);

// A number as the archive writes it in texts (identities, the change log): the shortest text
// that reads back as the same double; -0 is "0".
QByteArray numberText(double value);

// DATE ("dd.mm.yyyy") as an ISO date ("yyyy-mm-dd"); empty when it is no date.
QString isoDay(const QString& date);

} // namespace archive
