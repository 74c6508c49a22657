#include "views/grid_tabs.h"

#include "views/layout_text.h"
#include "views/table_model.h"

#include "document/column_catalogue.h"
#include "document/limits.h"
#include "document/measurement_document.h"
#include "store/store_error.h"

#include <QSettings>

#include <algorithm>

namespace views {

namespace {

const QString kBookmarkFields = QStringLiteral("P;R");

DisplayFormat displayFormat(document::CellFormat format)
{
    switch (format) {
    case document::CellFormat::Fixed2:
        return Format00;
    case document::CellFormat::Fixed4:
        return Format0000;
    case document::CellFormat::Text:
        return PlainText;
    default:
        return {};
    }
}

GridColumns makeColumns(document::ColumnSet set)
{
    GridColumns columns;
    for (const document::CatalogueColumn& d : document::columns(set)) {
        GridColumn c;
        c.caption = QString::fromUtf8(d.caption);
        c.fieldName = QString::fromLatin1(d.field);
        c.level = d.line;
        c.index = d.index;
        c.width = d.width;
        c.displayFormat = displayFormat(d.format);
        c.readOnly = d.readOnly;
        columns.push_back(c);
    }
    return columns;
}

void configure(DataGrid* grid, const char* objectName, const QString& accessibleName)
{
    grid->setObjectName(QString::fromLatin1(objectName));
    grid->setAccessibleName(accessibleName);
    grid->setAutoColumnFit(true);
    grid->setShowFooters(true);
    grid->setBookmarkFields(kBookmarkFields);
}

} // namespace

GridColumns grid1Columns()
{
    return makeColumns(document::ColumnSet::Grid1);
}

GridColumns grid2Columns()
{
    return makeColumns(document::ColumnSet::Grid2);
}

GridColumns grid1ColumnsInRow()
{
    return makeColumns(document::ColumnSet::Grid1ForcesInRow);
}

DataGrid* createGrid1(TableModel* model, QWidget* parent)
{
    auto* grid = new DataGrid(parent);
    configure(grid, "PenetrometerGrid", QStringLiteral("Испытания пенетрометра"));
    grid->setMultiSelect(true);
    grid->setHideSelection(false);
    grid->setColumns(grid1Columns());
    grid->setModel(model);
    return grid;
}

DataGrid* createGrid2(TableModel* model, QWidget* parent)
{
    auto* grid = new DataGrid(parent);
    configure(grid, "PressGrid", QStringLiteral("Испытания пресса"));
    grid->setMultiSelect(false);
    grid->setHideSelection(true);
    grid->setColumns(grid2Columns());
    grid->setModel(model);
    return grid;
}

void setMeasurementFieldFormats(TableModel& model)
{
    for (const store::FieldDef& field : store::measurementFields()) {
        const QString name = QString::fromStdString(field.name);
        const QString pattern = document::fieldTextPattern(name);
        if (!pattern.isEmpty())
            model.setFieldFormat(name, pattern);
    }
}

void resetSort(DataGrid& grid, document::MeasurementDocument& document, const std::string& tag)
{
    grid.clearTitleStates();
    document.unsort(tag);
}

void sortByTitle(DataGrid& grid, document::MeasurementDocument& document, const std::string& tag, int column)
{
    if (column < 0 || column >= grid.columnCount() || !grid.column(column).isBound() || !document.isOpen())
        return;
    const GridColumn& c = grid.column(column);
    if (c.titleState == TitleState::None) {
        resetSort(grid, document, tag);
        return;
    }
    const int field = document.table().table().requireField(c.fieldName.toStdString());
    document.sort(tag, field, c.titleState == TitleState::Up);
}

void storeGridLayout(QSettings& settings, const QString& name, const DataGrid& grid)
{
    settings.setValue(name, withCrLf(grid.layoutText()));
}

void restoreGridLayout(QSettings& settings, const QString& name, DataGrid& grid)
{
    const QString& key = name;
    // A value that does not read (written by hand, or by something else) is not worth an
    // error box that would stop the table from opening: it is replaced by a fresh layout.
    if (settings.contains(key) && grid.setLayoutText(withCrLf(settings.value(key).toString())))
        return;
    equalizeColumns(grid);
    storeGridLayout(settings, name, grid);
}

void equalizeColumns(DataGrid& grid)
{
    const int n = grid.columnCount();
    if (n == 0)
        return;
    grid.setAutoColumnFit(false);
    // A grid not laid out yet may be narrow; the widths are proportions once fitted, but a
    // width of 0 would leave nothing to scale.
    const int w = std::max(grid.width() / n, 1);
    for (int i = 0; i < n; ++i)
        grid.setColumnWidth(i, w);
    grid.setAutoColumnFit(true);
    grid.viewport()->update();
}

// ---- GridTabs ------------------------------------------------------------------------------

GridTabs::GridTabs(document::MeasurementDocument& document, QWidget* page1, QWidget* page2, QObject* parent)
    : QObject(parent), m_document(document)
{
    m_model = new TableModel(document, this);
    setMeasurementFieldFormats(*m_model);
    m_grid1 = createGrid1(m_model, page1);
    m_grid2 = createGrid2(m_model, page2);
    for (DataGrid* grid : {m_grid1, m_grid2}) {
        connect(grid, &DataGrid::editStarted, this, &GridTabs::editStarted);
        connect(grid, &DataGrid::errorOccurred, this,
                [this, grid](const std::exception_ptr& error) { emit errorOccurred(grid, error); });
        connect(grid, &DataGrid::valueRefused, this,
                [this, grid](const QString& text) { emit valueRefused(grid, text); });
        connect(grid, &DataGrid::selectionChanged, this, [this, grid] { showSelectionSummary(*grid); });
    }
    connect(m_grid1, &DataGrid::titleStateChanged, this, &GridTabs::sortGrid1ByTitle);
    connect(m_grid2, &DataGrid::titleStateChanged, this, &GridTabs::sortGrid2ByTitle);

    // The footers follow every change of the rows in view.
    using Document = document::MeasurementDocument;
    connect(&document, &Document::sortRemoved, this, &GridTabs::sortRemoved);
    connect(&document, &Document::viewReset, this, &GridTabs::updateSummaries);
    connect(&document, &Document::rowPosted, this, &GridTabs::updateSummaries);
    connect(&document, &Document::rowsInserted, this, &GridTabs::updateSummaries);
    connect(&document, &Document::rowsRemoved, this, &GridTabs::updateSummaries);
    connect(&document, &Document::rowsChanged, this, &GridTabs::updateSummaries);
    // Rows below a limit get a mark in their N cell; other limits redraw the marks and the
    // footers.
    for (DataGrid* grid : {m_grid1, m_grid2}) {
        grid->setRowMarker(
            [this](int row) {
                const store::DbfTable& t = m_document.table().table();
                return m_document.isOpen() && row >= 0 && row < t.recordCount()
                    && m_document.failsLimits(t.recordAt(row));
            },
            QStringLiteral("N"), [this](int row) {
                const store::DbfTable& t = m_document.table().table();
                if (!m_document.isOpen() || row < 0 || row >= t.recordCount())
                    return QString();
                return QStringLiteral("Не соответствует нормативу: ")
                    + document::limitFailures(m_document.limits(), m_document.table(), t.recordAt(row))
                          .join(QStringLiteral("; "));
            });
    }
    connect(&document, &Document::limitsChanged, this, [this] {
        m_grid1->viewport()->update();
        m_grid2->viewport()->update();
        updateSummaries();
    });
    m_grid1->clearTitleStates();
    m_grid2->clearTitleStates();
    updateSummaries();
}

DataGrid* GridTabs::gridOfKind(int kind) const noexcept
{
    return kind == store::kPressKind ? m_grid2 : m_grid1;
}

void GridTabs::sortRemoved(const QString& tag)
{
    if (tag == QLatin1String(store::kTab1))
        m_grid1->clearTitleStates();
    else if (tag == QLatin1String(store::kTab2))
        m_grid2->clearTitleStates();
}

void GridTabs::unsortAll()
{
    resetSort(*m_grid2, m_document, store::kTab2);
    resetSort(*m_grid1, m_document, store::kTab1);
}

void GridTabs::titleStateChange(DataGrid& grid, const std::string& tag, int column)
{
    try {
        sortByTitle(grid, m_document, tag, column);
    } catch (const std::exception&) {
        grid.reportError(std::current_exception());
    }
}

void GridTabs::sortGrid1ByTitle(int column)
{
    titleStateChange(*m_grid1, store::kTab1, column);
}

void GridTabs::sortGrid2ByTitle(int column)
{
    titleStateChange(*m_grid2, store::kTab2, column);
}

bool GridTabs::endEdit()
{
    if (!m_document.isOpen())
        return true;
    for (DataGrid* grid : {m_grid1, m_grid2})
        if (!grid->endEdit())
            return false;
    return true;
}

void GridTabs::restoreLayouts(QSettings& settings)
{
    const bool inRow = storedForcesInRow(settings);
    if (inRow != m_forcesInRow) {
        m_forcesInRow = inRow;
        m_grid1->setColumns(inRow ? grid1ColumnsInRow() : grid1Columns());
    }
    restoreGrid1Layout(settings);
    restoreGridLayout(settings, kLayoutValue2, *m_grid2);
}

void GridTabs::restoreGrid1Layout(QSettings& settings)
{
    if (!m_forcesInRow) {
        restoreGridLayout(settings, kLayoutValue1, *m_grid1);
        return;
    }
    // Until the user changes it, the view keeps its design widths fitted to the grid.
    if (settings.contains(kLayoutValue1InRow))
        m_grid1->setLayoutText(withCrLf(settings.value(kLayoutValue1InRow).toString()));
}

void GridTabs::storeLayouts(QSettings& settings)
{
    storeGridLayout(settings, grid1LayoutKey(), *m_grid1);
    storeGridLayout(settings, kLayoutValue2, *m_grid2);
}

bool GridTabs::storedForcesInRow(QSettings& settings)
{
    return settings.value(kForcesInRowValue, false).toBool();
}

void GridTabs::setForcesInRow(bool on, QSettings& settings)
{
    settings.setValue(kForcesInRowValue, on);
    if (on == m_forcesInRow)
        return;
    // The sort stays on the table; its mark goes to the same field in the other view.
    QString sortedField;
    TitleState sortState = TitleState::None;
    for (int c = 0; c < m_grid1->columnCount(); ++c)
        if (m_grid1->column(c).titleState != TitleState::None) {
            sortedField = m_grid1->column(c).fieldName;
            sortState = m_grid1->column(c).titleState;
        }
    const bool open = m_document.isOpen();
    if (open)
        storeGridLayout(settings, grid1LayoutKey(), *m_grid1);
    const int current = m_grid1->currentRow();
    m_forcesInRow = on;
    m_grid1->setColumns(on ? grid1ColumnsInRow() : grid1Columns());
    if (open)
        restoreGrid1Layout(settings);
    if (!sortedField.isEmpty()) {
        const int column = m_grid1->columnOfField(sortedField);
        if (column >= 0)
            m_grid1->setTitleState(column, sortState);
    }
    if (current >= 0)
        m_grid1->setCurrentRow(current);
    showSelectionSummary(*m_grid1);
}

void GridTabs::showForceColumns()
{
    const int column = m_grid1->columnOfField(QStringLiteral("P1"));
    if (column >= 0)
        m_grid1->setColumnVisible(column, true);
}

void GridTabs::updateSummaries()
{
    m_summary = store::summarizeTable(m_document.table());
    m_failing = m_document.failingRows();
    showSelectionSummary(*gridOfKind(m_document.kind()));
}

void GridTabs::showSelectionSummary(DataGrid& grid)
{
    // The summary is of the rows in view, which are the rows of one kind: the other grid
    // keeps what it showed of its own rows.
    if (!m_document.isOpen() || &grid != gridOfKind(m_document.kind()))
        return;
    store::TableSummary shown = m_summary;
    if (grid.selectionCount() >= 2) {
        std::vector<store::SelectionValues> values;
        // The bookmark fields are "P;R": the values come in that order.
        const auto number = [](const RowSelection::Values& v, std::size_t i) -> std::optional<double> {
            bool ok = false;
            const double d = i < v.size() ? v[i].toDouble(&ok) : 0.0;
            return ok ? std::optional<double>(d) : std::nullopt;
        };
        for (const DataGrid::SelectedRow& row : grid.selectedRows())
            values.push_back({number(row.values, 0), number(row.values, 1)});
        shown = store::selectionSummary(values);
    }
    const store::FooterTexts texts = store::footerTexts(shown, m_document.table().table().recordCount());
    const auto setFooter = [&grid](const char* field, const QString& text) {
        const int column = grid.columnOfField(QString::fromLatin1(field));
        if (column >= 0)
            grid.setFooterText(column, text);
    };
    // Each figure says what it is; over a selection the count says how many of how many.
    const auto labelled = [](const QString& minMeanMax) {
        const QStringList v = minMeanMax.split(QLatin1Char('/'));
        // A name stays with its figure (a no-break space): a narrow footer breaks at the "/".
        return v.size() == 3 ? QStringLiteral("мин\u00A0%1 / сред\u00A0%2 / макс\u00A0%3").arg(v[0], v[1], v[2])
                             : minMeanMax;
    };
    setFooter("P", labelled(texts.p));
    setFooter("R", labelled(texts.r));
    setFooter("N", grid.selectionCount() >= 2
                       ? QStringLiteral("выделено %1 из %2").arg(grid.selectionCount()).arg(texts.n)
                       : texts.n);
    // With limits set, how many of the rows in view fall short.
    const QString failing = m_document.limits().any()
        ? QStringLiteral("не соотв.: %1 из %2").arg(m_failing).arg(texts.n)
        : QString();
    setFooter("COMMENT", failing);
    // The footer is painted; a screen reader reads the same figures as the grid's
    // description, in words.
    const auto spoken = [&grid](const char* field, const QString& text) {
        const int column = grid.columnOfField(QString::fromLatin1(field));
        const QString caption = column >= 0 ? grid.column(column).caption.simplified() : QString::fromLatin1(field);
        const QStringList values = text.split(QLatin1Char('/'));
        if (values.size() != 3)
            return caption + QStringLiteral(": ") + text;
        return QStringLiteral("%1: наименьшее %2, среднее %3, наибольшее %4").arg(caption, values[0], values[1], values[2]);
    };
    const QString over = grid.selectionCount() >= 2
        ? QStringLiteral("Итоги по выделенным строкам (%1)").arg(grid.selectionCount())
        : QStringLiteral("Итоги по строкам таблицы");
    QString description = QStringLiteral("%1. %2. %3. Строк: %4.")
                              .arg(over, spoken("P", texts.p), spoken("R", texts.r), texts.n);
    if (!failing.isEmpty())
        description += QStringLiteral(" Не соответствуют нормативам: %1 из %2.").arg(m_failing).arg(texts.n);
    grid.setAccessibleDescription(description);
}

} // namespace views
