#include "app/print_commands.h"

#include "app/archive_commands.h"
#include "app/chart_commands.h"
#include "app/error_report.h"
#include "app/file_dialogs.h"
#include "app/resources.h"
#include "app/table_files.h"

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
#include <QMessageBox>

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
    m_preview->setIcon(programIcon("preview"));
    m_print = makeCommand(this, m_context, "printAction", QStringLiteral("Печать"), [this] { print(); });
    m_print->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    m_print->setIcon(programIcon("print"));
    m_savePdf = makeCommand(this, m_context, "savePdfAction", QStringLiteral("Сохранить отчёт в PDF…"),
                            [this] { savePdf(); });
    m_savePdf->setToolTip(QStringLiteral("Сохранить то, что печатает «Печать», в файл PDF"));
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
    // The site the archive knows for these tests, when they share one, under the title.
    report->setSubtitle(ArchiveCommands::siteLineOf(m_context.document));
    return report->prepare(m_context.document, m_appendix()) ? report : nullptr;
}

void PrintCommands::preview()
{
    reports::ReportTemplate* report = preparedReport();
    if (!report)
        return;
    report->showPreview(m_context.window, [this, report](QWidget* preview) {
        runCommand(preview, [&] { writePdf(*report, preview); });
    });
}

void PrintCommands::print()
{
    reports::ReportTemplate* report = preparedReport();
    if (!report)
        return;
    if (reports::ReportTemplate::printerInstalled()) {
        report->print(m_context.window);
        return;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Печать"),
                    QStringLiteral("Принтер не установлен.\nСохранить отчёт в файл PDF?"),
                    QMessageBox::Yes | QMessageBox::No, m_context.window);
    box.setObjectName(QStringLiteral("NoPrinterBox"));
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() == QMessageBox::Yes)
        writePdf(*report, m_context.window);
}

void PrintCommands::savePdf()
{
    if (reports::ReportTemplate* report = preparedReport())
        writePdf(*report, m_context.window);
}

void PrintCommands::writePdf(const reports::ReportTemplate& report, QWidget* parent)
{
    QString file;
    {
        // The save dialog serves New and the export too: it offers PDF for this question.
        FileTypeChoice types(m_context.files.saveDialog(), {{QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral("pdf")}});
        file = chosenFile(m_context.files.saveDialog());
    }
    if (file.isEmpty())
        return;
    // Never over the table itself; written beside the file and moved into place.
    table_export::requireExportTarget(m_context.document.table().table().path(), file);
    reports::writePdfFile(report.prepared(), file);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Сохранить отчёт в PDF"),
                    QStringLiteral("Отчёт сохранён в файл %1.").arg(QFileInfo(file).fileName()), QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("PdfDoneBox"));
    box.exec();
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
        reports::withSubtitle(reports::designOf(reports::reportKindOf(document)), ArchiveCommands::siteLineOf(document)),
        document, appended);
    if (report.isEmpty())
        throw store::StoreError(store::StoreError::Code::NotActive,
                                QStringLiteral("В таблице нет строк для отчёта: файл «%1» не записан.")
                                    .arg(QFileInfo(out).fileName())
                                    .toStdString());
    reports::writePdfFile(report, out);
}


} // namespace app
