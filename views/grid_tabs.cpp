#include "views/grid_tabs.h"

#include "views/layout_text.h"
#include "views/table_model.h"

#include "store/store_error.h"

#include <QSettings>

#include <algorithm>

namespace views {

namespace {

const QString kBookmarkFields = QStringLiteral("P;R");

struct ColumnDef {
    const char* caption;
    const char* field; // "" for a column bound to no field
    int level;
    int index;
    int width;
    DisplayFormat format = {};
    bool readOnly = false;
};

GridColumns makeColumns(std::initializer_list<ColumnDef> defs)
{
    GridColumns columns;
    for (const ColumnDef& d : defs) {
        GridColumn c;
        c.caption = QString::fromUtf8(d.caption);
        c.fieldName = QString::fromLatin1(d.field);
        c.level = d.level;
        c.index = d.index;
        c.width = d.width;
        c.displayFormat = d.format;
        c.readOnly = d.readOnly;
        columns.push_back(c);
    }
    return columns;
}

QString settingsKey(const QSettings& settings, const QString& name)
{
    // The main window keeps its settings object inside the program's group for the whole
    // run; anyone else gets the group named here.
    return settings.group() == kSettingsGroup ? name : kSettingsGroup + QLatin1Char('/') + name;
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
    return makeColumns({
        {"N", "N", 0, 0, 22},
        {"Дата", "DATE", 0, 0, 38},
        {"Время", "TIME", 0, 0, 37},
        {"F, Усилие пенетрации, Н", "", 0, 0, 97},
        {"№1", "P1", 1, 0, 97},
        {"№2", "P2", 2, 0, 97},
        {"№3 ", "P3", 3, 0, 97},
        {"№4", "P4", 4, 0, 97},
        {"№5", "P5", 5, 0, 97},
        {"Fср.  Ср. усилие пенетрации, Н", "P", 0, 0, 76},
        {"P, Сопротивление пенетрации, МПа", "R", 0, 0, 52},
        {"E, Модуль упругости, МПа", "U", 0, 0, 63},
        {"K, Коэфициент уплотнения", "P7", 0, 1, 53},
        {"I, Индекс влажности", "H", 0, 2, 53, Format00},
        {"f, Угол внутреннего трения, град", "P6", 0, 3, 53},
        {"C, Удельное сцепление грунта, МПа", "S", 0, 4, 78, Format0000},
        {"Примечание", "COMMENT", 0, 0, 51, PlainText},
    });
}

GridColumns grid2Columns()
{
    return makeColumns({
        {"N", "N", 0, 0, 21},
        {"Дата", "DATE", 0, 1, 47},
        {"Время", "TIME", 0, 0, 33},
        {"Усилие Пенетрации, Н", "", 0, 0, 75},
        {"№1", "", 1, 0, 75},
        {"№2", "", 2, 0, 75},
        {"№3", "", 3, 0, 75},
        {"№4", "", 4, 0, 75},
        {"№5", "", 5, 0, 75},
        {"Среднее усилие пенетрпции, Н", "P", 0, 0, 39, Format00, true},
        {"Сопротивление пенетрации, МПа", "R", 0, 0, 41},
        {"Модуль упругости,  МПа", "U", 0, 0, 63},
        {"Коэфициент уплотнения", "K", 0, 1, 37},
        {"Угол внутреннего трения", "G", 0, 2, 38},
        {"Удельное сцепление грунта, МПа", "S", 0, 3, 40},
        {"Размер образца, мм", "COMMENT", 0, 4, 124, {}, true},
        {"Вид испытаний", "T", 0, 0, 116},
    });
}

DataGrid* createGrid1(TableModel* model, QWidget* parent)
{
    auto* grid = new DataGrid(parent);
    configure(grid, "Grid1", QStringLiteral("Испытания пенетрометра"));
    grid->setMultiSelect(true);
    grid->setHideSelection(false);
    grid->setColumns(grid1Columns());
    grid->setModel(model);
    return grid;
}

DataGrid* createGrid2(TableModel* model, QWidget* parent)
{
    auto* grid = new DataGrid(parent);
    configure(grid, "Grid2", QStringLiteral("Испытания пресса"));
    grid->setMultiSelect(false);
    grid->setHideSelection(true);
    grid->setColumns(grid2Columns());
    grid->setModel(model);
    return grid;
}

void setMeasurementFieldFormats(TableModel& model)
{
    model.setFieldFormat(QString::fromLatin1(store::fieldName(store::Field::G)), QStringLiteral("0.0"));
}

void ResetSort(DataGrid& grid, store::MeasurementTable& table, const std::string& tag)
{
    grid.clearTitleStates();
    if (!table.isActive())
        return;
    store::DbfTable& t = table.table();
    try {
        t.setIndexName({});
        t.deleteIndex(tag);
        t.refresh();
    } catch (const store::StoreError&) {
        // No tag (nothing was sorted), or the row being edited could not be posted: the
        // reset ends quietly, as the sort it undoes never asked anything either.
    }
    if (grid.model())
        grid.model()->reset();
}

void sortByTitle(DataGrid& grid, store::MeasurementTable& table, const std::string& tag, int column)
{
    if (column < 0 || column >= grid.columnCount() || !grid.column(column).isBound() || !table.isActive())
        return;
    const GridColumn& c = grid.column(column);
    store::DbfTable& t = table.table();
    TableModel* model = grid.model();
    try {
        t.setIndexName({});
        try {
            t.deleteIndex(tag);
            t.refresh();
        } catch (const store::StoreError&) {
            // The tag did not exist: there was no sort to remove.
        }
        if (c.titleState == TitleState::None) {
            ResetSort(grid, table, tag);
            return;
        }
        table.addSortTag(tag, t.requireField(c.fieldName.toStdString()), c.titleState == TitleState::Up);
        t.setIndexName(tag);
        t.regenerateIndexes();
        t.refresh();
    } catch (...) {
        if (model)
            model->reset();
        throw;
    }
    if (model)
        model->reset();
}

void StoreGridLayout(QSettings& settings, const QString& name, const DataGrid& grid)
{
    settings.setValue(settingsKey(settings, name), withCrLf(grid.layoutText()));
}

void RestoreGridLayout(QSettings& settings, const QString& name, DataGrid& grid)
{
    const QString key = settingsKey(settings, name);
    // A value that does not read (written by hand, or by something else) is not worth an
    // error box that would stop the table from opening: it is replaced by a fresh layout.
    if (settings.contains(key) && grid.setLayoutText(withCrLf(settings.value(key).toString())))
        return;
    EqualizeColumns(grid);
    StoreGridLayout(settings, name, grid);
}

void EqualizeColumns(DataGrid& grid)
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

void PostEdit(DataGrid& grid)
{
    grid.postEdit();
}

// ---- GridTabs ------------------------------------------------------------------------------

GridTabs::GridTabs(store::MeasurementTable& table, QWidget* page1, QWidget* page2, QObject* parent)
    : QObject(parent), m_table(table)
{
    m_model = new TableModel(table.table(), this);
    setMeasurementFieldFormats(*m_model);
    m_grid1 = createGrid1(m_model, page1);
    m_grid2 = createGrid2(m_model, page2);
    connect(m_grid1, &DataGrid::titleStateChanged, this, &GridTabs::Grid1TitleStateChange);
    connect(m_grid2, &DataGrid::titleStateChanged, this, &GridTabs::Grid2TitleStateChange);
    connect(m_grid1, &DataGrid::editStarted, this, &GridTabs::editStarted);
    connect(m_grid2, &DataGrid::editStarted, this, &GridTabs::editStarted);
    ResetSort(*m_grid1, m_table, store::kTab1);
    ResetSort(*m_grid2, m_table, store::kTab2);
}

void GridTabs::refresh()
{
    m_model->reset();
}

void GridTabs::N33Click()
{
    ResetSort(*m_grid2, m_table, store::kTab2);
    ResetSort(*m_grid1, m_table, store::kTab1);
}

void GridTabs::titleStateChange(DataGrid& grid, const std::string& tag, int column)
{
    try {
        sortByTitle(grid, m_table, tag, column);
    } catch (const std::exception& error) {
        grid.reportError(error);
    }
}

void GridTabs::Grid1TitleStateChange(int column)
{
    titleStateChange(*m_grid1, store::kTab1, column);
}

void GridTabs::Grid2TitleStateChange(int column)
{
    titleStateChange(*m_grid2, store::kTab2, column);
}

void GridTabs::restoreLayouts(QSettings& settings)
{
    RestoreGridLayout(settings, kLayoutValue1, *m_grid1);
    RestoreGridLayout(settings, kLayoutValue2, *m_grid2);
}

void GridTabs::storeLayouts(QSettings& settings)
{
    StoreGridLayout(settings, kLayoutValue1, *m_grid1);
    StoreGridLayout(settings, kLayoutValue2, *m_grid2);
}

void GridTabs::setErrorHandler(const std::function<void(QWidget*, const std::exception&)>& handler)
{
    m_grid1->setErrorHandler(handler);
    m_grid2->setErrorHandler(handler);
}

} // namespace views
