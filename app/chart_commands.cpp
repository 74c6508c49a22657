// The charts of the tests: the dock beside the grid tabs and its commands in "Вид", the saved
// picture and the charts page at the end of the report.

#include "app/error_report.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"

#include "reports/chart_page.h"
#include "settings/program_settings.h"
#include "views/chart_panel.h"
#include "views/chart_picture.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <functional>
#include <span>

namespace app {
namespace {

// Settings values of the charts (group "1.0", beside the other values of the window).
const QString kChartsVisibleKey = QStringLiteral("Charts_visible");   // "Вид → Графики"
const QString kChartsMeasureKey = QStringLiteral("Charts_measure");   // "R", "E" or "K"
const QString kChartsAreaKey = QStringLiteral("Charts_area");         // where the dock stands
const QString kChartsInReportKey = QStringLiteral("Charts_in_report"); // "Графики в отчёте"

struct AreaName {
    Qt::DockWidgetArea area;
    const char* name;
};
// Under the grid by default: the chart of all tests needs the width more than the height.
constexpr AreaName kAreas[] = {
    {Qt::BottomDockWidgetArea, "bottom"},
    {Qt::RightDockWidgetArea, "right"},
    {Qt::LeftDockWidgetArea, "left"},
    {Qt::TopDockWidgetArea, "top"},
};

Qt::DockWidgetArea areaNamed(const QString& name)
{
    for (const AreaName& a : kAreas)
        if (name == QLatin1String(a.name))
            return a.area;
    return kAreas[0].area;
}

QString nameOfArea(Qt::DockWidgetArea area)
{
    for (const AreaName& a : kAreas)
        if (a.area == area)
            return QString::fromLatin1(a.name);
    return QString::fromLatin1(kAreas[0].name);
}

struct PictureType {
    views::ChartFileFormat format;
    const char* filter;
};
const PictureType kPictureTypes[] = {
    {views::ChartFileFormat::Png, "Рисунок PNG (*.png)"},
    {views::ChartFileFormat::Svg, "Рисунок SVG (*.svg)"},
    {views::ChartFileFormat::Pdf, "Документ PDF (*.pdf)"},
};

// Tells when the user closes the dock with its own button. The window hiding it (no table)
// is no closing and goes unnoticed.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QObject* parent, std::function<void()> closed) : QObject(parent), m_closed(std::move(closed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && m_closed)
            m_closed();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_closed;
};

} // namespace

void MainWindow::buildCharts()
{
    m_chartPanel = new views::ChartPanel(m_document, *m_gridTabs);
    m_chartPanel->setMeasure(views::measureFromKey(m_registry->value(kChartsMeasureKey).toString()));
    m_chartDock = new QDockWidget(QStringLiteral("Графики"), this);
    m_chartDock->setObjectName(QStringLiteral("ChartDock"));
    m_chartDock->setAccessibleName(QStringLiteral("Графики"));
    m_chartDock->setWidget(m_chartPanel);
    addDockWidget(areaNamed(m_registry->value(kChartsAreaKey).toString()), m_chartDock);
    m_chartDock->hide();

    QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("N12"));
    view->addSeparator()->setObjectName(QStringLiteral("ChartSeparator1"));
    m_showChartsAction = view->addAction(QStringLiteral("Графики"));
    m_showChartsAction->setObjectName(QStringLiteral("ShowCharts"));
    m_showChartsAction->setCheckable(true);
    m_showChartsAction->setChecked(settings::readFlag(*m_registry, kChartsVisibleKey));
    connect(m_showChartsAction, &QAction::toggled, this, &MainWindow::ShowChartsClick);
    QAction* save = view->addAction(QStringLiteral("Сохранить график…"));
    save->setObjectName(QStringLiteral("SaveChart"));
    m_tableCommands.push_back(save);
    bind(save, &MainWindow::SaveChartClick, false);
    m_reportChartsAction = view->addAction(QStringLiteral("Графики в отчёте"));
    m_reportChartsAction->setObjectName(QStringLiteral("ReportCharts"));
    m_reportChartsAction->setCheckable(true);
    m_reportChartsAction->setChecked(settings::readFlag(*m_registry, kChartsInReportKey));
    connect(m_reportChartsAction, &QAction::toggled, this, &MainWindow::ReportChartsClick);

    // The user's choices are remembered as they are made.
    connect(m_chartPanel, &views::ChartPanel::measureChanged, this,
            [this](views::ChartMeasure measure) { m_registry->setValue(kChartsMeasureKey, views::measureKey(measure)); });
    connect(m_chartDock, &QDockWidget::dockLocationChanged, this, [this](Qt::DockWidgetArea area) {
        if (area != Qt::NoDockWidgetArea)
            m_registry->setValue(kChartsAreaKey, nameOfArea(area));
    });
    m_chartDock->installEventFilter(new CloseWatcher(m_chartDock, [this] {
        if (m_document.isOpen())
            m_showChartsAction->setChecked(false);
    }));
    // The panel's own save button asks as the menu item does: an edit in progress ends first.
    connect(m_chartPanel, &views::ChartPanel::saveRequested, this, [this] {
        runCommand(this, [this] {
            if (endCellEdit())
                SaveChartClick();
        });
    });

    // Shown while a table is open, whoever opened or closed it.
    connect(&m_document, &document::MeasurementDocument::opened, this, &MainWindow::updateChartDock);
    connect(&m_document, &document::MeasurementDocument::closed, this, &MainWindow::updateChartDock);
}

void MainWindow::updateChartDock()
{
    m_chartDock->setVisible(m_document.isOpen() && m_showChartsAction->isChecked());
}

void MainWindow::ShowChartsClick(bool shown)
{
    if (m_showChartsAction->isChecked() != shown)
        m_showChartsAction->setChecked(shown); // comes back here through toggled
    m_registry->setValue(kChartsVisibleKey, shown);
    updateChartDock();
}

void MainWindow::ReportChartsClick(bool on)
{
    if (m_reportChartsAction->isChecked() != on)
        m_reportChartsAction->setChecked(on);
    m_registry->setValue(kChartsInReportKey, on);
}

void MainWindow::SaveChartClick()
{
    if (!m_document.isOpen())
        return;
    if (!m_chartSaveDialog) {
        m_chartSaveDialog = new QFileDialog(this);
        m_chartSaveDialog->setObjectName(QStringLiteral("ChartSaveDialog"));
        m_chartSaveDialog->setWindowTitle(QStringLiteral("Сохранить график"));
        m_chartSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_chartSaveDialog->setFileMode(QFileDialog::AnyFile);
        QStringList filters;
        for (const PictureType& type : kPictureTypes)
            filters << QString::fromUtf8(type.filter);
        m_chartSaveDialog->setNameFilters(filters);
        m_chartSaveDialog->setDefaultSuffix(views::chartSuffix(kPictureTypes[0].format));
        // A name typed without an extension gets the one of the type chosen.
        connect(m_chartSaveDialog, &QFileDialog::filterSelected, m_chartSaveDialog, [this](const QString& filter) {
            for (const PictureType& type : kPictureTypes)
                if (filter == QString::fromUtf8(type.filter))
                    m_chartSaveDialog->setDefaultSuffix(views::chartSuffix(type.format));
        });
    }
    m_chartSaveDialog->setDirectory(m_dataDir);
    const QString file = chosenFile(m_chartSaveDialog);
    if (!file.isEmpty())
        saveChartsAs(file, m_chartSaveDialog->selectedNameFilter());
}

bool MainWindow::saveChartsAs(const QString& path, const QString& nameFilter)
{
    if (!m_document.isOpen())
        return false;
    // The extension typed wins: a file named "site.svg" is an SVG whatever type was left
    // chosen. Without one of ours, the type chosen decides and names the file.
    QString file = path;
    std::optional<views::ChartFileFormat> format = views::chartFormatOf(file);
    if (!format) {
        format = kPictureTypes[0].format;
        for (const PictureType& type : kPictureTypes)
            if (nameFilter == QString::fromUtf8(type.filter))
                format = type.format;
        file += QLatin1Char('.') + views::chartSuffix(*format);
    }
    const QString error = views::writeCharts(file, *format, m_chartPanel->snapshot(), m_chartPanel->pictureSize());
    if (error.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Сохранить график"),
                    QStringLiteral("Не удалось сохранить график в файл «%1»:\n%2")
                        .arg(QDir::toNativeSeparators(file), error),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ChartSaveErrorBox"));
    box.exec();
    return false;
}

std::vector<std::shared_ptr<const reports::PageDrawing>> MainWindow::reportAppendix()
{
    if (!m_document.isOpen() || !m_reportChartsAction->isChecked())
        return {};
    return {reports::chartPage(m_chartPanel->snapshot())};
}

} // namespace app
