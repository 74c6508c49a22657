#include "app/chart_commands.h"

#include "app/file_dialogs.h"
#include "app/table_files.h"

#include "document/measurement_document.h"
#include "reports/chart_page.h"
#include "settings/program_settings.h"
#include "views/chart_panel.h"
#include "views/chart_picture.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>

#include <functional>

namespace app {
namespace {

const QString kChartsVisibleKey = QStringLiteral("Charts_visible");
const QString kChartsMeasureKey = QStringLiteral("Charts_measure");
const QString kChartsAreaKey = QStringLiteral("Charts_area");
const QString kChartsInReportKey = QStringLiteral("Charts_in_report");

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

// The picture types in the order the save dialog offers them.
constexpr views::ChartFileFormat kPictureFormats[] = {
    views::ChartFileFormat::Png, views::ChartFileFormat::Svg, views::ChartFileFormat::Pdf};

std::vector<FileType> pictureTypes()
{
    return {
        {QStringLiteral("Рисунок PNG (*.png)"), views::chartSuffix(kPictureFormats[0])},
        {QStringLiteral("Рисунок SVG (*.svg)"), views::chartSuffix(kPictureFormats[1])},
        {QStringLiteral("Документ PDF (*.pdf)"), views::chartSuffix(kPictureFormats[2])},
    };
}

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

ChartSettings readChartSettings(const QSettings& settings)
{
    ChartSettings chosen;
    chosen.measure = views::measureFromKey(settings.value(kChartsMeasureKey).toString());
    chosen.inReport = settings::readFlag(settings, kChartsInReportKey);
    return chosen;
}

ChartCommands::ChartCommands(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    QSettings& settings = m_context.settings;
    const ChartSettings chosen = readChartSettings(settings);
    m_panel = new views::ChartPanel(m_context.document, m_context.grids);
    m_panel->setMeasure(chosen.measure);
    m_dock = new QDockWidget(QStringLiteral("Графики"), m_context.window);
    m_dock->setObjectName(QStringLiteral("chartDock"));
    m_dock->setAccessibleName(QStringLiteral("Графики"));
    m_dock->setWidget(m_panel);
    m_dock->hide();

    m_showCharts = new QAction(QStringLiteral("Графики"), this);
    m_showCharts->setObjectName(QStringLiteral("showChartsAction"));
    m_showCharts->setCheckable(true);
    m_showCharts->setChecked(settings::readFlag(settings, kChartsVisibleKey));
    connect(m_showCharts, &QAction::toggled, this, &ChartCommands::showCharts);
    m_saveChart = makeCommand(this, m_context, "saveChartAction", QStringLiteral("Сохранить график…"),
                              [this] { saveChart(); });
    m_chartsInReport = new QAction(QStringLiteral("Графики в отчёте"), this);
    m_chartsInReport->setObjectName(QStringLiteral("chartsInReportAction"));
    m_chartsInReport->setCheckable(true);
    m_chartsInReport->setChecked(chosen.inReport);
    connect(m_chartsInReport, &QAction::toggled, this,
            [this](bool on) { m_context.settings.setValue(kChartsInReportKey, on); });

    // The user's choices are remembered as they are made.
    connect(m_panel, &views::ChartPanel::measureChanged, this, [this](views::ChartMeasure measure) {
        m_context.settings.setValue(kChartsMeasureKey, views::measureKey(measure));
    });
    connect(m_dock, &QDockWidget::dockLocationChanged, this, [this](Qt::DockWidgetArea area) {
        if (area != Qt::NoDockWidgetArea)
            m_context.settings.setValue(kChartsAreaKey, nameOfArea(area));
    });
    m_dock->installEventFilter(new CloseWatcher(m_dock, [this] {
        if (m_context.document.isOpen())
            m_showCharts->setChecked(false);
    }));
    // The panel's own save button asks as the menu item does: an edit in progress ends first.
    connect(m_panel, &views::ChartPanel::saveRequested, this,
            [this] { runAfterCellEdit(m_context, [this] { saveChart(); }); });

    // Shown while a table is open, whoever opened or closed it.
    connect(&m_context.document, &document::MeasurementDocument::opened, this, &ChartCommands::updateDock);
    connect(&m_context.document, &document::MeasurementDocument::closed, this, &ChartCommands::updateDock);
}

ChartCommands::~ChartCommands() = default;

Qt::DockWidgetArea ChartCommands::dockArea() const
{
    return areaNamed(m_context.settings.value(kChartsAreaKey).toString());
}

void ChartCommands::updateDock()
{
    m_dock->setVisible(m_context.document.isOpen() && m_showCharts->isChecked());
}

void ChartCommands::showCharts(bool shown)
{
    m_context.settings.setValue(kChartsVisibleKey, shown);
    updateDock();
}

void ChartCommands::saveChart()
{
    if (!m_context.document.isOpen())
        return;
    if (!m_saveDialog) {
        m_saveDialog = new QFileDialog(m_context.window);
        m_saveDialog->setObjectName(QStringLiteral("saveChartDialog"));
        m_saveDialog->setWindowTitle(QStringLiteral("Сохранить график"));
        m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_saveDialog->setFileMode(QFileDialog::AnyFile);
        // The type chosen stays chosen for the next picture.
        m_pictureTypes = std::make_unique<FileTypeChoice>(m_saveDialog, pictureTypes());
    }
    m_saveDialog->setDirectory(m_context.files.dataFolder());
    const QString file = chosenFile(m_saveDialog);
    if (!file.isEmpty())
        saveChartsAs(file, m_saveDialog->selectedNameFilter());
}

bool ChartCommands::saveChartsAs(const QString& path, const QString& nameFilter)
{
    if (!m_context.document.isOpen())
        return false;
    // The extension typed wins: a file named "site.svg" is an SVG whatever type was left
    // chosen. Without one of ours, the type chosen decides and names the file.
    QString file = path;
    std::optional<views::ChartFileFormat> format = views::chartFormatOf(file);
    if (!format) {
        const std::vector<FileType> types = pictureTypes();
        format = kPictureFormats[0];
        for (std::size_t i = 0; i < types.size(); ++i)
            if (nameFilter == types[i].filter)
                format = kPictureFormats[i];
        file += QLatin1Char('.') + views::chartSuffix(*format);
    }
    const QString error = views::writeCharts(file, *format, m_panel->snapshot(), m_panel->pictureSize());
    if (error.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Сохранить график"),
                    QStringLiteral("Не удалось сохранить график в файл «%1»:\n%2")
                        .arg(QDir::toNativeSeparators(file), error),
                    QMessageBox::Ok, m_context.window);
    box.setObjectName(QStringLiteral("ChartSaveErrorBox"));
    box.exec();
    return false;
}

std::vector<std::shared_ptr<const reports::PageDrawing>> ChartCommands::reportAppendix()
{
    if (!m_context.document.isOpen() || !m_chartsInReport->isChecked())
        return {};
    return {reports::chartPage(m_panel->snapshot())};
}

} // namespace app
