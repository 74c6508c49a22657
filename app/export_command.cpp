#include "app/export_command.h"

#include "app/file_dialogs.h"
#include "app/table_files.h"

#include "document/measurement_document.h"
#include "export/export_file.h"

#include <QAction>
#include <QFileInfo>
#include <QMessageBox>

#include <array>

namespace app {
namespace {

using table_export::ExportFormat;

// The file types the export writes, in the order the save dialog offers them; the first is
// the one it starts on.
constexpr std::array<ExportFormat, 3> kFormats = {ExportFormat::Xls, ExportFormat::Xlsx, ExportFormat::Csv};

std::vector<FileType> exportTypes()
{
    return {
        {QStringLiteral("Книга Excel (*.xls)"), QStringLiteral("xls")},
        {QStringLiteral("Книга Excel 2007 и новее (*.xlsx)"), QStringLiteral("xlsx")},
        {QStringLiteral("Текст CSV для электронных таблиц (*.csv)"), QStringLiteral("csv")},
    };
}

} // namespace

ExportCommand::ExportCommand(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    // The same export whichever tab is in front: the tab only decides which rows pass.
    m_export = makeCommand(this, m_context, "exportAction", QStringLiteral("Экспорт в Excel"),
                           [this] { exportToFile(); });
}

void ExportCommand::exportToFile()
{
    if (!m_context.document.isOpen())
        return;
    QString file;
    ExportFormat format = ExportFormat::Xls;
    {
        // The save dialog serves New as well: it offers the export's types for this question.
        FileTypeChoice types(m_context.files.saveDialog(), exportTypes());
        file = chosenFile(m_context.files.saveDialog());
        // The type its name says, else the one chosen in the dialog.
        format = table_export::exportFormatOf(file, kFormats[types.chosen()]);
    }
    if (file.isEmpty())
        return;

    // The export writes the rows in file order with a cursor of its own: the grids keep
    // their sort, the row the user is on and the scroll position.
    // Errors of the writers reach the general error handler: no success message then.
    table_export::exportTable(m_context.document.table(), file, format, m_context.document.limits());

    QMessageBox box(QMessageBox::Information, QStringLiteral("Экспорт в Excel"),
                    QStringLiteral("Экспорт в файл ") + QFileInfo(file).fileName() +
                        QStringLiteral(" завершен успешно."),
                    QMessageBox::Ok, m_context.window);
    box.setObjectName(QStringLiteral("ExportDoneBox"));
    box.exec();
}

} // namespace app
