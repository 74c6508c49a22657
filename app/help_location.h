#pragma once

#include <QString>

namespace app {

// Where the help document is. Beside the executable when it is there (the build tree, and a
// Windows installation, where the program's folder holds everything); otherwise where an
// installation under a prefix puts it, found relative to the executable
// (bin/../share/kvel/kvel.html), so a prefix that was moved elsewhere still works. When it is
// in neither place, the path beside the executable: that is where the user is told to put it.
QString helpFilePath();

// The same for a program whose executable lies in executableDir.
QString helpFilePath(const QString& executableDir);

} // namespace app
