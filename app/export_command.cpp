// "Экспорт в Excel": the rows of the shown tab into a new Excel 97 workbook, an .xlsx
// workbook, or a CSV file for any spreadsheet.

#include "app/export_format.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"

#include "export/csv_export.h"
#include "export/replacing_write.h"
#include "export/table_export.h"
#include "views/grid_tabs.h"
#include "xls/biff_writer.h"
#include "xls/xlsx_writer.h"
#include "xls/xls_workbook.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace app {
namespace {

// The file types the export writes, in the order the save dialog offers them; the first is
// the one it starts on.
struct ExportType {
    ExportFormat format;
    const char* filter;
    const char* suffix;
};
constexpr ExportType kExportTypes[] = {
    {ExportFormat::Xls, "Книга Excel (*.xls)", "xls"},
    {ExportFormat::Xlsx, "Книга Excel 2007 и новее (*.xlsx)", "xlsx"},
    {ExportFormat::Csv, "Текст CSV для электронных таблиц (*.csv)", "csv"},
};

// The save dialog serves New as well; the export sets its own filters and suffix for the one
// question and gives the dialog back as it found it. The suffix follows the type chosen.
class ExportDialogSetup {
public:
    explicit ExportDialogSetup(QFileDialog* dialog)
        : m_dialog(dialog), m_filters(dialog->nameFilters()), m_suffix(dialog->defaultSuffix())
    {
        QStringList filters;
        for (const ExportType& type : kExportTypes)
            filters << QString::fromUtf8(type.filter);
        m_dialog->setNameFilters(filters);
        m_dialog->selectNameFilter(filters.front());
        m_dialog->setDefaultSuffix(QString::fromLatin1(kExportTypes[0].suffix));
        m_follow = QObject::connect(m_dialog, &QFileDialog::filterSelected, m_dialog, [this](const QString& filter) {
            m_dialog->setDefaultSuffix(QString::fromLatin1(typeOfFilter(filter).suffix));
        });
        // Replacing an existing file is asked about by the dialog itself.
        m_dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    }
    ~ExportDialogSetup()
    {
        QObject::disconnect(m_follow);
        m_dialog->setNameFilters(m_filters);
        m_dialog->setDefaultSuffix(m_suffix);
    }
    ExportDialogSetup(const ExportDialogSetup&) = delete;
    ExportDialogSetup& operator=(const ExportDialogSetup&) = delete;

    // The chosen file; empty when the dialog was cancelled or gave no name.
    QString ask() { return chosenFile(m_dialog); }
    // The type of the chosen file: the one its name says, else the one chosen in the dialog.
    ExportFormat format(const QString& file) const
    {
        return exportFormatOf(file, typeOfFilter(m_dialog->selectedNameFilter()).format);
    }

private:
    static const ExportType& typeOfFilter(const QString& filter)
    {
        for (const ExportType& type : kExportTypes)
            if (filter == QString::fromUtf8(type.filter))
                return type;
        return kExportTypes[0];
    }

    QFileDialog* m_dialog;
    QStringList m_filters;
    QString m_suffix;
    QMetaObject::Connection m_follow;
};

} // namespace

ExportFormat exportFormatOf(const QString& file, ExportFormat otherwise)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return ExportFormat::Xls;
    if (suffix == QLatin1String("xlsx"))
        return ExportFormat::Xlsx;
    if (suffix == QLatin1String("csv"))
        return ExportFormat::Csv;
    return otherwise;
}

void writeExport(const store::MeasurementTable& table, const QString& file, ExportFormat format,
                 const document::Limits& limits)
{
    // Nothing is worked out for a file that may not be written: the table itself, another
    // table, a file held open.
    table_export::requireExportTarget(table.table().path(), file);
    switch (format) {
    case ExportFormat::Csv:
        table_export::writeCsvFile(table, file, limits);
        return;
    case ExportFormat::Xls:
    case ExportFormat::Xlsx:
        break;
    }
    // One workbook model for both workbook files, so they cannot drift apart. Each writer
    // writes beside the file and moves it into place: all or nothing.
    xls::XlsWorkbook book;
    table_export::fillWorkbook(table, book, limits);
    if (format == ExportFormat::Xlsx)
        xls::XlsxWriter().save(book, file);
    else
        xls::BiffWriter().save(book, file);
}

void MainWindow::Excel1Click()
{
    // The same export whichever tab is in front: the tab only decides which rows pass.
    if (m_document.isOpen())
        exp2excel();
}

void MainWindow::exp2excel()
{
    if (!m_document.isOpen())
        return;
    QString file;
    ExportFormat format = ExportFormat::Xls;
    {
        ExportDialogSetup dialog(m_saveDialog);
        file = dialog.ask();
        format = dialog.format(file);
    }
    if (file.isEmpty())
        return;

    // The export writes the rows in file order: both tabs lose their sorting first, as
    // "Убрать сортировку" would do it. It walks them with a cursor of its own, so the row
    // the user is on stays where it is.
    m_gridTabs->unsortAll();
    // Errors of the writers reach the general error handler: no success message then.
    writeExport(m_document.table(), file, format, m_document.limits());

    QMessageBox box(QMessageBox::Information, QStringLiteral("Экспорт в Excel"),
                    QStringLiteral("Экспорт в файл ") + QFileInfo(file).fileName() +
                        QStringLiteral(" завершен успешно."),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ExportDoneBox"));
    box.exec();
}

} // namespace app
