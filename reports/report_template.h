#pragma once

#include "reports/prepared_report.h"
#include "reports/report_design.h"

#include <QObject>

#include <functional>
#include <memory>

class QPrinter;
class QPrintPreviewDialog;
class QWidget;

namespace document {
class MeasurementDocument;
}

namespace reports {

class ReportDataSet;

// A report component of the main window: one design, the pages it last prepared (kept until
// it prepares again), the preview window and the print dialog over those pages.
class ReportTemplate : public QObject {
    Q_OBJECT

public:
    ReportTemplate(std::shared_ptr<const ReportDesign> design, QObject* parent = nullptr);
    ~ReportTemplate() override;

    const ReportDesign& design() const noexcept { return *m_design; }
    // A line under the title of the next reports (the site the tests share); empty for none.
    void setSubtitle(const QString& line);
    const PreparedReport& prepared() const noexcept { return m_prepared; }

    // Runs the design over the rows of the data set's view, then gives each drawing of
    // `appended` a page of its own (the charts page). Returns whether pages were prepared
    // (none when the table is not open).
    bool prepare(ReportDataSet& data, const std::vector<std::shared_ptr<const PageDrawing>>& appended = {});
    // The same over the rows the document shows, tests below its limits marked.
    bool prepare(document::MeasurementDocument& document,
                 const std::vector<std::shared_ptr<const PageDrawing>>& appended);

    // The prepared pages in a modal preview window, maximised at the page's width, with
    // zoom, print, "Сохранить в PDF…" (which calls `savePdf` with the preview window, when
    // given) and close. Nothing happens when nothing is prepared.
    void showPreview(QWidget* parent, const std::function<void(QWidget*)>& savePdf = {});

    // The prepared pages through the print dialog: printer, all pages, the current page or
    // a list of pages, copies and collation. Nothing is shown and nothing printed when no
    // printer is installed, when nothing is prepared, or when the dialog is cancelled.
    // Returns whether pages went to a printer.
    bool print(QWidget* parent);

    // Whether a printer is installed; print() and the preview's print button need one.
    static bool printerInstalled();

signals:
    // Emitted with the preview window once it is built and about to run, so that a caller
    // (and a test) can reach it.
    void previewOpened(QPrintPreviewDialog* preview);

private:
    void paintRequested(QPrinter* printer, int current);

    std::shared_ptr<const ReportDesign> m_design;
    std::shared_ptr<const ReportDesign> m_plainDesign; // without the subtitle
    PreparedReport m_prepared;
};

} // namespace reports
