#include "reports/report_template.h"

#include "reports/report_painter.h"
#include "reports/report_templates.h"
#include "reports/table_report.h"

#include <QAction>
#include <QCoreApplication>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QToolBar>

namespace reports {
namespace {

// The preview's own actions are found by their (translated) captions: Qt gives them no names.
QAction* previewAction(QPrintPreviewDialog& preview, const char* caption)
{
    const QString text = QCoreApplication::translate("QPrintPreviewDialog", caption);
    for (QAction* action : preview.findChildren<QAction*>())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

ReportTemplate::ReportTemplate(std::shared_ptr<const ReportDesign> design, QObject* parent)
    : QObject(parent), m_design(design), m_plainDesign(std::move(design))
{
    setObjectName(m_design->name);
}

void ReportTemplate::setSubtitle(const QString& line)
{
    m_design = withSubtitle(m_plainDesign, line);
}

ReportTemplate::~ReportTemplate() = default;

bool ReportTemplate::prepare(ReportDataSet& data, const std::vector<std::shared_ptr<const PageDrawing>>& appended)
{
    m_prepared = prepareReport(m_design, data, appended);
    return !m_prepared.isEmpty();
}

bool ReportTemplate::prepare(document::MeasurementDocument& document,
                             const std::vector<std::shared_ptr<const PageDrawing>>& appended)
{
    m_prepared = prepareTableReport(m_design, document, appended);
    return !m_prepared.isEmpty();
}

bool ReportTemplate::printerInstalled()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void ReportTemplate::paintRequested(QPrinter* printer, int current)
{
    paintPages(*printer, m_prepared, pagesToPrint(*printer, m_prepared.pageCount(), current));
}

void ReportTemplate::showPreview(QWidget* parent, const std::function<void(QWidget*)>& savePdf)
{
    if (m_prepared.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    setPageLayout(printer, *m_design);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("ReportPreview"));
    preview.setWindowTitle(QStringLiteral("Предварительный просмотр"));
    auto* view = preview.findChild<QPrintPreviewWidget*>();
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, view](QPrinter* target) {
        paintRequested(target, view ? view->currentPage() - 1 : 0);
    });

    // The page belongs to the design: turning it or setting it up anew would only spoil it.
    for (const char* caption : {"Portrait", "Landscape", "Page setup"})
        if (QAction* action = previewAction(preview, caption))
            action->setVisible(false);
    // Without a printer the print button would only offer a file: there is nothing to print to.
    if (QAction* printAction = previewAction(preview, "Print")) {
        printAction->setObjectName(QStringLiteral("PreviewPrint"));
        printAction->setEnabled(printerInstalled());
    }
    // The window closes with its own button as well as with the title bar.
    if (auto* toolBar = preview.findChild<QToolBar*>()) {
        toolBar->addSeparator();
        // A laptop without a printer still gets the report out: as a PDF of these pages.
        if (savePdf) {
            QAction* pdf = toolBar->addAction(QStringLiteral("Сохранить в PDF…"), &preview,
                                              [&preview, &savePdf] { savePdf(&preview); });
            pdf->setObjectName(QStringLiteral("PreviewPdf"));
            pdf->setToolTip(QStringLiteral("Сохранить отчёт в файл PDF"));
        }
        QAction* close = toolBar->addAction(QStringLiteral("Закрыть"), &preview, &QDialog::reject);
        close->setObjectName(QStringLiteral("PreviewClose"));
    }
    // The page read whole across, in a window as large as the screen allows.
    if (view)
        view->setZoomMode(QPrintPreviewWidget::FitToWidth);
    preview.setWindowState(preview.windowState() | Qt::WindowMaximized);
    emit previewOpened(&preview);
    preview.exec();
}

bool ReportTemplate::print(QWidget* parent)
{
    if (m_prepared.isEmpty() || !printerInstalled())
        return false;
    QPrinter printer(QPrinter::HighResolution);
    setPageLayout(printer, *m_design);
    printer.setCopyCount(1);
    printer.setFromTo(1, m_prepared.pageCount());
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    dialog.setMinMax(1, m_prepared.pageCount());
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
                      QAbstractPrintDialog::PrintCollateCopies);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Outside the preview there is no page in view: the current page is the first.
    return paintPages(printer, m_prepared, pagesToPrint(printer, m_prepared.pageCount(), 0));
}

} // namespace reports
