#pragma once

#include "app/command_context.h"

#include <QObject>

class QAction;

namespace app {

// "Экспорт в Excel": the rows of the tab in front, in file order, into an Excel 97
// workbook, an .xlsx workbook or a CSV file for any spreadsheet.
class ExportCommand : public QObject {
    Q_OBJECT

public:
    ExportCommand(const CommandContext& context, QObject* parent);

    QAction* exportAction() const noexcept { return m_export; }

    // Asks for the file, resets both tabs' sorting, writes the file and reports success. The
    // grid keeps its current row and scroll position. Throws XlsError or StoreError when the
    // file cannot be written.
    void exportToFile();

private:
    CommandContext m_context;
    QAction* m_export = nullptr;
};

} // namespace app
