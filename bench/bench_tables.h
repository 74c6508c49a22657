#pragma once

#include <QString>

namespace bench {

// Writes `rows` measurement rows to a new table at `path`: a few years of field work, both
// kinds mixed, dates over ten years in random order (as appended downloads of several
// instruments leave them), realistic magnitudes. The same rows on every run.
void writeFieldWorkTable(const QString& path, int rows);

} // namespace bench
