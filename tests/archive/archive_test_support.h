#pragma once

// Helpers of the archive tests: tables of penetrometer tests made here, and what the archive
// holds, read with plain SQL.

#include "archive/archive.h"
#include "tests/store/store_test_support.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace archive::test {

using store::test::Cells;

// A penetrometer test of instrument `serial` at `time` on 01.05.2026, numbered `n`, with the
// forces 100·k + `force` (k = 1…5), K 0,95 and the comment `comment`.
Cells penetrometerRow(double n, const QString& time, double serial = 1234, double force = 0,
                      const QString& comment = QStringLiteral("песок"));
// A press test (NB_TYPE 1).
Cells pressRow(double n, const QString& time, double serial = 77);

// The value of the first column of the first row of `sql`, run on the archive; an invalid
// QVariant when there is none.
QVariant scalar(Archive& archive, const QString& sql);
inline qint64 count(Archive& archive, const QString& sql) { return scalar(archive, sql).toLongLong(); }

// The number of tests, of placements still present, and of lines in the change log.
struct Counts {
    qint64 tests = 0;
    qint64 present = 0;
    qint64 gone = 0;
    qint64 changes = 0;
    bool operator==(const Counts&) const = default;
};
Counts counts(Archive& archive);
void PrintTo(const Counts& c, std::ostream* os);

} // namespace archive::test
