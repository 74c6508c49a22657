#pragma once

#include "archive/archive.h"
#include "archive/test_filter.h"

#include <QString>
#include <QStringList>

class QTextStream;

namespace app {

// The archive's command-line work (kvel --archive-import, --archive-export), without a
// window. Both return the exit status: 0 done, 1 failed.

// Adds the tables and the tables in the folders (with their subfolders) to the archive at
// `location` (the user's own when empty). A table that cannot be read (damaged, open in
// another program) gets a line on `err` with its reason, and the others are added; the
// status is then 1. The last line on `out` says what was added.
int importIntoArchive(const QStringList& paths, const QString& location, const archive::SiteAssignment& site,
                      QTextStream& out, QTextStream& err);

// Exports the tests the filter chooses from the archive at `location` into `file`, in the
// format its extension names (.xls, .xlsx, .csv; another one is refused before any work).
int exportFromArchive(const QString& file, const QString& location, const archive::TestFilter& filter,
                      QTextStream& err);

} // namespace app
