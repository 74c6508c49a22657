// "Экспорт в Excel": the rows of the shown tab into a new Excel 97 workbook.

#include "app/file_dialogs.h"
#include "app/main_window.h"

#include "export/table_export.h"
#include "views/grid_tabs.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace app {
namespace {

// The save dialog serves New as well; the export sets its own filter and suffix for the one
// question and gives the dialog back as it found it.
class ExportDialogSetup {
public:
    explicit ExportDialogSetup(QFileDialog* dialog)
        : m_dialog(dialog), m_filters(dialog->nameFilters()), m_suffix(dialog->defaultSuffix())
    {
        m_dialog->setNameFilter(QStringLiteral("Книга Excel (*.xls)"));
        m_dialog->setDefaultSuffix(QStringLiteral("xls"));
        // Replacing an existing file is asked about by the dialog itself.
        m_dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    }
    ~ExportDialogSetup()
    {
        m_dialog->setNameFilters(m_filters);
        m_dialog->setDefaultSuffix(m_suffix);
    }
    ExportDialogSetup(const ExportDialogSetup&) = delete;
    ExportDialogSetup& operator=(const ExportDialogSetup&) = delete;

    // The chosen file; empty when the dialog was cancelled or gave no name.
    QString ask() { return chosenFile(m_dialog); }

private:
    QFileDialog* m_dialog;
    QStringList m_filters;
    QString m_suffix;
};

} // namespace

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
    {
        ExportDialogSetup dialog(m_saveDialog);
        file = dialog.ask();
    }
    if (file.isEmpty())
        return;

    // The export writes the rows in file order: both tabs lose their sorting first, as
    // "Убрать сортировку" would do it. It walks them with a cursor of its own, so the row
    // the user is on stays where it is.
    m_gridTabs->N33Click();
    {
        xls::XlsWorkbook book;
        table_export::fillWorkbook(m_document.table(), book);
        // Errors of the writer reach the general error handler: no success message then.
        xls::BiffWriter writer;
        writer.Save(book, file);
    }

    QMessageBox box(QMessageBox::Information, QStringLiteral("Экспорт в Excel"),
                    QStringLiteral("Экспорт в файл ") + QFileInfo(file).fileName() +
                        QStringLiteral(" завершен успешно."),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ExportDoneBox"));
    box.exec();
}

} // namespace app
