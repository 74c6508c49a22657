#pragma once

#include "app/command_context.h"

#include "views/chart_data.h"

#include <QObject>

#include <memory>
#include <vector>

class QAction;
class QDockWidget;
class QFileDialog;

namespace reports {
class PageDrawing;
}
namespace views {
class ChartPanel;
}

namespace app {

class FileTypeChoice;

// The user's chart choices in the settings (group "1.0", beside the window's other values).
struct ChartSettings {
    views::ChartMeasure measure = views::ChartMeasure::R; // Charts_measure: "R", "E" or "K"
    bool inReport = false;                                 // Charts_in_report
};
ChartSettings readChartSettings(const QSettings& settings);

// The charts of the tests: the panel in the dock "chartDock" (shown while a table is open and
// "Вид → Графики" is checked, remembered as Charts_visible; its figure is Charts_measure, its
// place Charts_area), the saved picture and the charts page at the end of the report.
class ChartCommands : public QObject {
    Q_OBJECT

public:
    ChartCommands(const CommandContext& context, QObject* parent);
    ~ChartCommands() override;

    // The window docks it where the user left it.
    QDockWidget* dock() const noexcept { return m_dock; }
    Qt::DockWidgetArea dockArea() const;
    views::ChartPanel* panel() const noexcept { return m_panel; }

    QAction* showChartsAction() const noexcept { return m_showCharts; }         // "Графики"
    QAction* saveChartAction() const noexcept { return m_saveChart; }           // "Сохранить график…"
    QAction* chartsInReportAction() const noexcept { return m_chartsInReport; } // "Графики в отчёте"

    // Asks for the file, then saveChartsAs.
    void saveChart();
    // Writes the charts into `path`: PNG, SVG or PDF as its extension says, or else as the
    // save dialog's type `nameFilter` says (the extension is added then). Says why when the
    // file could not be written; false then.
    bool saveChartsAs(const QString& path, const QString& nameFilter);
    // The pages the report gets after its rows: the charts page while "Графики в отчёте" is on.
    std::vector<std::shared_ptr<const reports::PageDrawing>> reportAppendix();

    // Shows the dock while a table is open and "Графики" is on, hides it otherwise.
    void updateDock();

private:
    void showCharts(bool shown);

    CommandContext m_context;
    views::ChartPanel* m_panel = nullptr;
    QDockWidget* m_dock = nullptr;
    QAction* m_showCharts = nullptr;
    QAction* m_saveChart = nullptr;
    QAction* m_chartsInReport = nullptr;
    QFileDialog* m_saveDialog = nullptr; // made when first asked for
    std::unique_ptr<FileTypeChoice> m_pictureTypes;
};

} // namespace app
