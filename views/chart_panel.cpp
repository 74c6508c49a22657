#include "views/chart_panel.h"

#include "views/chart_picture.h"
#include "views/chart_view.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include "document/measurement_document.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace views {

namespace {

// A saved picture of a hidden or tiny panel gets this size.
constexpr QSize kDefaultPictureSize(1200, 800);

ChartView* makeView(QWidget* parent, const QString& name, const QString& accessibleName)
{
    auto* view = new ChartView(parent);
    view->setObjectName(name);
    view->setAccessibleName(accessibleName);
    return view;
}

} // namespace

ChartPanel::ChartPanel(document::MeasurementDocument& document, GridTabs& tabs, QWidget* parent)
    : QWidget(parent), m_document(document), m_tabs(tabs)
{
    setObjectName(QStringLiteral("ChartPanel"));
    setAccessibleName(QStringLiteral("Графики испытаний"));
    m_style.fontPixels = std::max(QFontInfo(font()).pixelSize(), 10);

    m_drawTimer = new QTimer(this);
    m_drawTimer->setSingleShot(true);
    m_drawTimer->setInterval(0);
    connect(m_drawTimer, &QTimer::timeout, this, &ChartPanel::draw);

    // The choice of figure and the save button above the charts.
    auto* choiceLabel = new QLabel(QStringLiteral("&Показатель:"), this);
    m_measureChoice = new QComboBox(this);
    m_measureChoice->setObjectName(QStringLiteral("ChartMeasure"));
    m_measureChoice->setAccessibleName(QStringLiteral("Показатель на графике испытаний"));
    m_measureChoice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    choiceLabel->setBuddy(m_measureChoice);
    fillMeasureChoice();
    connect(m_measureChoice, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(kChartMeasures.size()))
            setMeasure(kChartMeasures[static_cast<std::size_t>(index)]);
    });
    m_saveButton = new QToolButton(this);
    m_saveButton->setObjectName(QStringLiteral("ChartSave"));
    m_saveButton->setText(QStringLiteral("Сохранить график…"));
    m_saveButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(m_saveButton, &QToolButton::clicked, this, &ChartPanel::saveRequested);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addWidget(choiceLabel);
    bar->addWidget(m_measureChoice);
    bar->addStretch(1);
    bar->addWidget(m_saveButton);

    // With no table there is nothing to draw: a line says so instead of two empty frames.
    auto* placeholder = new QLabel(QStringLiteral("Графики появятся, когда будет открыта таблица."), this);
    placeholder->setObjectName(QStringLiteral("ChartPlaceholder"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setWordWrap(true);

    m_charts = new QSplitter(this);
    m_charts->setObjectName(QStringLiteral("ChartSplitter"));
    m_charts->setChildrenCollapsible(false);
    m_forcesView = makeView(m_charts, QStringLiteral("ForcesChart"), QStringLiteral("Усилия пенетрации текущего испытания"));
    m_testsView = makeView(m_charts, QStringLiteral("TestsChart"), QStringLiteral("Показатель по всем испытаниям вкладки"));
    connect(m_testsView, &ChartView::clicked, this,
            [this](double x) { showRow(positionAtX(x, static_cast<int>(m_snapshot.tests.values.size()))); });
    m_testsView->tip = [this](double x) { return rowText(positionAtX(x, static_cast<int>(m_snapshot.tests.values.size()))); };
    m_charts->addWidget(m_forcesView);
    m_charts->addWidget(m_testsView);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(placeholder);
    m_pages->addWidget(m_charts);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_pages, 1);

    // Every change of the rows in view redraws the values; a move of the cursor or a new
    // selection only the marks and the current test.
    using Document = document::MeasurementDocument;
    const auto values = [this] { changed(Values); };
    connect(&document, &Document::opened, this, values);
    connect(&document, &Document::closed, this, values);
    connect(&document, &Document::viewReset, this, values);
    connect(&document, &Document::rowPosted, this, values);
    connect(&document, &Document::rowsInserted, this, values);
    connect(&document, &Document::rowsRemoved, this, values);
    connect(&document, &Document::rowsChanged, this, values);
    connect(&document, &Document::limitsChanged, this, values);
    for (DataGrid* grid : {tabs.grid1(), tabs.grid2()})
        connect(grid, &DataGrid::selectionChanged, this, [this] { changed(Marks); });
    changed(Values);
}

ChartPanel::~ChartPanel() = default;

Chart* ChartPanel::forcesChart() const
{
    return &m_forcesView->chart();
}

Chart* ChartPanel::testsChart() const
{
    return &m_testsView->chart();
}

ChartView* ChartPanel::forcesView() const
{
    return m_forcesView;
}

ChartView* ChartPanel::testsView() const
{
    return m_testsView;
}

void ChartPanel::setMeasure(ChartMeasure measure)
{
    const int index = static_cast<int>(std::find(kChartMeasures.begin(), kChartMeasures.end(), measure) - kChartMeasures.begin());
    m_measureChoice->setCurrentIndex(index);
    if (measure == m_measure)
        return;
    m_measure = measure;
    changed(Values);
    emit measureChanged(measure);
}

DataGrid* ChartPanel::shownGrid() const
{
    return m_tabs.gridOfKind(m_document.kind());
}

void ChartPanel::changed(int what)
{
    m_unread |= what;
    m_undrawn |= what;
    if (isVisible())
        m_drawTimer->start();
}

void ChartPanel::readSnapshot()
{
    if (!m_unread)
        return;
    const store::MeasurementTable& table = m_document.table();
    const int kind = m_document.kind();
    if (m_unread & Values) {
        m_snapshot.tests = readTests(table, m_measure, kind, m_document.limits());
    }
    const int current = table.isActive() && m_tabs.model() ? m_tabs.model()->currentRow() : -1;
    m_snapshot.current = current;
    m_snapshot.forces = readForces(table, current);
    m_snapshot.selected.clear();
    if (table.isActive()) {
        // Only rows the user picked: with none picked, the grid counts the current row as
        // its selection, but the current row has a mark of its own.
        const DataGrid& grid = *shownGrid();
        for (const DataGrid::SelectedRow& row : grid.selectedRows()) {
            const int position = table.table().positionOf(row.record);
            if (position >= 0 && grid.isRowSelected(position))
                m_snapshot.selected.push_back(position);
        }
        std::sort(m_snapshot.selected.begin(), m_snapshot.selected.end());
    }
    m_unread = 0;
}

const ChartSnapshot& ChartPanel::snapshot()
{
    readSnapshot();
    return m_snapshot;
}

void ChartPanel::refresh()
{
    m_drawTimer->stop();
    draw();
}

void ChartPanel::draw()
{
    if (!m_undrawn || !isVisible())
        return;
    readSnapshot();
    m_pages->setCurrentIndex(m_document.isOpen() ? 1 : 0);
    if (m_choiceKind != m_document.kind())
        fillMeasureChoice();
    if (m_undrawn & Values)
        buildTestsChart(*testsChart(), m_snapshot.tests, m_snapshot.selected, m_snapshot.current, m_style);
    else
        setTestsMarks(*testsChart(), m_snapshot.tests, m_snapshot.selected, m_snapshot.current);
    buildForcesChart(*forcesChart(), m_snapshot.forces, m_style);
    m_testsView->update();
    m_forcesView->update();
    m_undrawn = 0;
    describe();
}

// Screen readers cannot see a chart: its figures go into the views' descriptions.
void ChartPanel::describe()
{
    QStringList forces;
    for (std::size_t i = 0; i < m_snapshot.forces.forces.size(); ++i) {
        const double f = m_snapshot.forces.forces[i];
        forces << QStringLiteral("№%1 %2").arg(i + 1).arg(hasValue(f) ? chartNumberText(f) : QStringLiteral("нет"));
    }
    m_forcesView->setAccessibleDescription(
        m_snapshot.forces.position < 0
            ? QStringLiteral("Нет текущего испытания.")
            : QStringLiteral("Испытание %1. Усилия, Н: %2. Среднее усилие: %3.")
                  .arg(m_snapshot.forces.title, forces.join(QStringLiteral(", ")),
                       hasValue(m_snapshot.forces.mean) ? chartNumberText(m_snapshot.forces.mean) : QStringLiteral("нет")));
    const MeasureSeries& t = m_snapshot.tests;
    m_testsView->setAccessibleDescription(
        t.count == 0 ? QStringLiteral("%1: значений нет. Испытаний: %2.").arg(t.caption).arg(t.values.size())
                     : QStringLiteral("%1: наименьшее %2, среднее %3, наибольшее %4. Испытаний: %5, со значением: %6.")
                           .arg(t.caption, chartNumberText(t.min), chartNumberText(t.mean), chartNumberText(t.max))
                           .arg(t.values.size())
                           .arg(t.count));
}

QString ChartPanel::rowText(int position) const
{
    if (position < 0 || position >= static_cast<int>(m_snapshot.tests.values.size()))
        return {};
    const double value = m_snapshot.tests.values[static_cast<std::size_t>(position)];
    const TestForces test = readForces(m_document.table(), position);
    return QStringLiteral("Строка %1 (%2): %3")
        .arg(position + 1)
        .arg(test.title, hasValue(value) ? chartNumberText(value) : QStringLiteral("нет значения"));
}

void ChartPanel::fillMeasureChoice()
{
    // The captions are those of the shown tab's grid.
    const int kind = m_document.kind();
    m_choiceKind = kind;
    const int index = static_cast<int>(std::find(kChartMeasures.begin(), kChartMeasures.end(), m_measure) - kChartMeasures.begin());
    m_measureChoice->clear();
    for (ChartMeasure m : kChartMeasures)
        m_measureChoice->addItem(measureCaption(m, kind));
    m_measureChoice->setCurrentIndex(index);
}

void ChartPanel::showRow(int position)
{
    if (!m_document.isOpen() || position < 0 || position >= m_document.table().table().recordCount())
        return;
    shownGrid()->setCurrentRow(position);
}

QSize ChartPanel::sizeHint() const
{
    return {900, 300};
}

QSize ChartPanel::minimumSizeHint() const
{
    // The charts take what the grid leaves: on a 1280×720 screen the stacked view keeps its
    // three tests and the panel shrinks to its controls if it must.
    return {360, 60};
}

QSize ChartPanel::pictureSize() const
{
    const QSize shown = m_charts->size();
    if (!isVisible() || shown.width() < 400 || shown.height() < 250)
        return kDefaultPictureSize;
    return shown;
}

void ChartPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    arrangeCharts();
    if (m_undrawn)
        m_drawTimer->start();
}

void ChartPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrangeCharts();
}

// Under the grid the panel is wide: the charts stand side by side. Beside it, one above the
// other. The same rule places them in a saved picture.
void ChartPanel::arrangeCharts()
{
    const Qt::Orientation wanted = chartsSideBySide(size()) ? Qt::Horizontal : Qt::Vertical;
    const int length = wanted == Qt::Horizontal ? m_charts->width() : m_charts->height();
    if (length <= 0 || (m_arranged && m_charts->orientation() == wanted))
        return;
    m_charts->setOrientation(wanted);
    const int first = wanted == Qt::Horizontal ? length / 3 : length * 2 / 5;
    m_charts->setSizes({first, length - first});
    m_arranged = true;
}

} // namespace views
