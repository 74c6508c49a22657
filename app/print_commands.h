#pragma once

#include "app/command_context.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QAction;

namespace document {
class MeasurementDocument;
}
namespace reports {
class PageDrawing;
class ReportTemplate;
}

namespace app {

// "Предварительный просмотр", "Печать" and "Сохранить отчёт в PDF…": the report of the tab in
// front over the rows of its view, prepared afresh each time. Without a printer, "Печать"
// says so and offers the PDF. The three reports (penetrometer, press, plate test)
// are children named penetrometerReport, pressReport and plateTestReport.
class PrintCommands : public QObject {
    Q_OBJECT

public:
    using Appendix = std::function<std::vector<std::shared_ptr<const reports::PageDrawing>>()>;

    // `appendix` gives the pages that follow the rows (the charts page).
    PrintCommands(const CommandContext& context, Appendix appendix, QObject* parent);

    QAction* previewAction() const noexcept { return m_preview; }
    QAction* printAction() const noexcept { return m_print; }
    QAction* savePdfAction() const noexcept { return m_savePdf; }

    void preview();
    void print();
    void savePdf();

private:
    // Asks for a PDF file and writes `report`'s prepared pages into it, through the same
    // replacing write as the exports; `parent` owns the dialogs and messages.
    void writePdf(const reports::ReportTemplate& report, QWidget* parent);

    // The report of the rows shown, prepared; null when there is no table or no pages.
    reports::ReportTemplate* preparedReport();

    CommandContext m_context;
    Appendix m_appendix;
    reports::ReportTemplate* m_penetrometer = nullptr;
    reports::ReportTemplate* m_press = nullptr;
    reports::ReportTemplate* m_plateTest = nullptr;
    QAction* m_preview = nullptr;
    QAction* m_print = nullptr;
    QAction* m_savePdf = nullptr;
};

// The command line's --print-pdf: the report "Печать" prints for the tab shown, written as a
// PDF file at `out`. Throws StoreError when the file may not be replaced or the tab has no
// rows (nothing is written then).
void printReportPdf(document::MeasurementDocument& document, const QString& out);

} // namespace app
