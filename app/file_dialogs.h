#pragma once

#include <QString>

class QFileDialog;

namespace app {

// Shows a file dialog that starts without a file name and returns the chosen file; empty
// when the dialog was cancelled or gave no name.
QString chosenFile(QFileDialog* dialog);

} // namespace app
