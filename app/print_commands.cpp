#include "app/print_commands.h"

#include "app/chart_commands.h"

#include "document/measurement_document.h"
#include "export/replacing_write.h"
#include "reports/chart_page.h"
#include "reports/report_painter.h"
#include "reports/report_template.h"
#include "reports/report_templates.h"
#include "reports/table_report.h"
#include "settings/program_settings.h"
#include "store/store_error.h"
#include "views/chart_data.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>

namespace app {

PrintCommands::PrintCommands(const CommandContext& context, Appendix appendix, QObject* parent)
    : QObject(parent), m_context(context), m_appendix(std::move(appendix))
{
    const auto report = [this](std::shared_ptr<const reports::ReportDesign> design, const char* name) {
        auto* made = new reports::ReportTemplate(std::move(design), this);
        made->setObjectName(QString::fromLatin1(name));
        return made;
    };
    m_penetrometer = report(reports::penetrometerDesign(), "penetrometerReport");
    m_press = report(reports::pressDesign(), "pressReport");
    m_plateTest = report(reports::plateTestDesign(), "plateTestReport");

    m_preview = makeCommand(this, m_context, "previewAction", QStringLiteral("Предварительный просмотр"),
                            [this] { preview(); });
    m_preview->setIcon(QIcon(QStringLiteral(":/kvel/icons/preview.svg")));
    m_print = makeCommand(this, m_context, "printAction", QStringLiteral("Печать"), [this] { print(); });
    m_print->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    m_print->setIcon(QIcon(QStringLiteral(":/kvel/icons/print.svg")));
}

reports::ReportTemplate* PrintCommands::preparedReport()
{
    if (!m_context.document.isOpen())
        return nullptr;
    reports::ReportTemplate* report = m_penetrometer;
    // Plate-test instruments store their tests as penetrometer rows, with a report of their own.
    switch (reports::reportKindOf(m_context.document)) {
    case reports::ReportKind::Press:
        report = m_press;
        break;
    case reports::ReportKind::PlateTest:
        report = m_plateTest;
        break;
    case reports::ReportKind::Penetrometer:
        break;
    }
    return report->prepare(m_context.document, m_appendix()) ? report : nullptr;
}

void PrintCommands::preview()
{
    if (reports::ReportTemplate* report = preparedReport())
        report->showPreview(m_context.window);
}

void PrintCommands::print()
{
    if (reports::ReportTemplate* report = preparedReport())
        report->print(m_context.window);
}

void printReportPdf(document::MeasurementDocument& document, const QString& out)
{
    table_export::requireExportTarget(document.table().table().path(), out);
    // With "Графики в отчёте" on, the charts page follows the rows, as in the window; the
    // current test is the first row.
    const ChartSettings charts = readChartSettings(*settings::open());
    std::vector<std::shared_ptr<const reports::PageDrawing>> appended;
    if (charts.inReport) {
        const int current = document.table().table().recordCount() > 0 ? 0 : -1;
        appended.push_back(reports::chartPage(views::chartSnapshot(document.table(), charts.measure, document.kind(),
                                                                   document.limits(), current)));
    }
    const reports::PreparedReport report = reports::prepareTableReport(
        reports::designOf(reports::reportKindOf(document)), document, appended);
    if (report.isEmpty())
        throw store::StoreError(store::StoreError::Code::NotActive,
                                QStringLiteral("В таблице нет строк для отчёта: файл «%1» не записан.")
                                    .arg(QFileInfo(out).fileName())
                                    .toStdString());
    reports::writePdfFile(report, out);
}


} // namespace app
