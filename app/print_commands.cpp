// Preview and print: the report of the shown tab over the rows of its view.

#include "app/main_window.h"

#include "reports/report_data_set.h"
#include "reports/report_template.h"
#include "reports/report_templates.h"

#include <QTabWidget>

namespace app {

reports::ReportTemplate* MainWindow::Report1()
{
    if (!m_report1)
        m_report1 = new reports::ReportTemplate(reports::penetrometerDesign(), this);
    return m_report1;
}

reports::ReportTemplate* MainWindow::Report2()
{
    if (!m_report2)
        m_report2 = new reports::ReportTemplate(reports::pressDesign(), this);
    return m_report2;
}

reports::ReportTemplate* MainWindow::Report3()
{
    if (!m_report3)
        m_report3 = new reports::ReportTemplate(reports::plateTestDesign(), this);
    return m_report3;
}

reports::ReportTemplate* MainWindow::chosenReport()
{
    if (!m_document.isOpen())
        return nullptr;
    // Plate-test instruments store their tests as penetrometer rows, with a report of their own.
    switch (reports::reportFor(m_pages->currentWidget() == m_tabSheet2, m_document.deviceType())) {
    case reports::ReportKind::Press:
        return Report2();
    case reports::ReportKind::PlateTest:
        return Report3();
    case reports::ReportKind::Penetrometer:
        break;
    }
    return Report1();
}

reports::ReportTemplate* MainWindow::prepareChosenReport()
{
    reports::ReportTemplate* report = chosenReport();
    if (!report)
        return nullptr;
    // The report reads the rows by their place in the view: the grid's current row and
    // scroll position stay as the user left them.
    reports::ReportDataSet data(m_document.table().table());
    reports::markTestsBelowLimits(data, m_document.table(), m_document.limits());
    return report->prepare(data, reportAppendix()) ? report : nullptr;
}

void MainWindow::N8Click()
{
    if (reports::ReportTemplate* report = prepareChosenReport())
        report->showPreview(this);
}

void MainWindow::N9Click()
{
    if (reports::ReportTemplate* report = prepareChosenReport())
        report->print(this);
}

// The grids' "Печать" does what the menu's does: the report of the tab in front, prepared
// afresh. Sending whatever the penetrometer report prepared last, whichever tab is shown,
// would print stale or foreign pages.
void MainWindow::N22Click()
{
    N9Click();
}

} // namespace app
