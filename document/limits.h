#pragma once

#include "store/measurement_table.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace document {

// The required minimums a test must reach: the compaction coefficient K and the modulus of
// elasticity E. Either may be unset (the default): no test fails it then. A test whose value
// is empty is not judged on it.
struct Limits {
    std::optional<double> minK;
    std::optional<double> minE;

    bool any() const noexcept { return minK.has_value() || minE.has_value(); }
    friend bool operator==(const Limits&, const Limits&) = default;
};

// Stored in the program's settings as "Limit_K" and "Limit_E" (absent: unset). Values that do
// not read as numbers are taken as unset.
Limits readLimits(const QSettings& settings);
void writeLimits(QSettings& settings, const Limits& limits);

// Whether record `record` falls short of a limit. K is P7 in a penetrometer row and K in a
// press row; E is U in both.
bool failsLimits(const Limits& limits, const store::MeasurementTable& table, std::uint32_t record);

// How many rows of the table's view fall short, read with a cursor of its own.
int failingRows(const Limits& limits, const store::MeasurementTable& table);

// "K ≥ 0,95; E ≥ 20 МПа" for what is set; empty when nothing is. Numbers as the locale
// writes them.
QString limitsText(const Limits& limits);

// Why a test fails the limits, one text per limit it is below, in the decimal comma:
// "K = 0,93 < 0,95", "E = 18 < 20 МПа". Empty when it fails none.
QStringList limitFailures(const Limits& limits, const store::MeasurementTable& table, std::uint32_t record);

} // namespace document
