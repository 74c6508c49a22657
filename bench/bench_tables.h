#pragma once

#include <QString>

namespace bench {

// Writes `rows` measurement rows to a new table at `path`: a few years of field work, both
// kinds mixed, dates over ten years in random order (as appended downloads of several
// instruments leave them), realistic magnitudes. The same rows on every run.
// Another `seed` gives other rows.
void writeFieldWorkTable(const QString& path, int rows, unsigned seed = 20050131);

} // namespace bench
