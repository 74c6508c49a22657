#include "accessibility_support.h"

#include "views/table_model.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace views::test {

namespace {

using store::Field;

Cells sampleRow(int n)
{
    // Dates and forces run against the numbers, so that a sort moves every row.
    return {{Field::N, double(n)},
            {Field::DATE, QStringLiteral("%1.03.2005").arg(28 - n, 2, 10, QLatin1Char('0'))},
            {Field::TIME, QStringLiteral("10:%1").arg(n, 2, 10, QLatin1Char('0'))},
            {Field::P, 400.0 - n * 7},
            {Field::R, 1.0 + n * 0.25},
            {Field::COMMENT, QStringLiteral("Проба %1").arg(n)}};
}

// A cell question out of range may get no interface or one that says it is not there; what
// matters is that nothing taken from it leads anywhere.
void expectNothingThere(QAccessibleInterface* iface, const char* what, int a, int b)
{
    if (!iface)
        return;
    EXPECT_FALSE(iface->isValid()) << what << "(" << a << ", " << b << ") is out of range but valid";
    EXPECT_TRUE(iface->text(QAccessible::Name).isEmpty()) << what << "(" << a << ", " << b << ")";
    if (QAccessibleTableCellInterface* cell = iface->tableCellInterface()) {
        EXPECT_LT(cell->rowIndex(), 0) << what << "(" << a << ", " << b << ")";
        EXPECT_FALSE(cell->isSelected());
    }
}

} // namespace

GridScene::GridScene()
{
    m_fixture = std::make_unique<TableFixture>(std::vector<Cells>{sampleRow(1), sampleRow(2), sampleRow(3), sampleRow(4)});
    auto* page1 = new QWidget;
    auto* page2 = new QWidget;
    m_window.addTab(page1, QStringLiteral("Пенетрометр"));
    m_window.addTab(page2, QStringLiteral("Пресс"));
    m_tabs = std::make_unique<GridTabs>(m_fixture->document(), page1, page2);
    for (auto [page, grid] : {std::pair{page1, m_tabs->grid1()}, std::pair{page2, m_tabs->grid2()}}) {
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(grid);
    }
    m_window.resize(1100, 600);
    m_window.show();
    QApplication::setActiveWindow(&m_window);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    grid1().setFocus();
}

GridScene::~GridScene()
{
    // The grids go before the table they show.
    m_window.hide();
    m_tabs.reset();
}

void GridScene::appendRow(int n)
{
    m_fixture->append(sampleRow(n));
}

void GridScene::deleteRows(int first, int count)
{
    const store::DbfTable& table = m_fixture->table().table();
    std::vector<std::uint32_t> records;
    for (int row = first; row < first + count && row < table.recordCount(); ++row)
        records.push_back(table.recordAt(row));
    m_fixture->document().deleteRecords(records);
}

void GridScene::openEditor(DataGrid& grid, int row, const QString& fieldName, const QString& text)
{
    grid.setFocus();
    grid.setCurrentRow(row);
    grid.setCurrentColumn(grid.columnOfField(fieldName));
    ASSERT_TRUE(grid.startEdit());
    grid.editor()->setText(text);
}

const std::vector<GridChange>& gridChanges()
{
    static const std::vector<GridChange> changes = {
        // No document command rebuilds a view that has not changed; the model's own reset is
        // what a new view gives the grids, without the view changing under the walk.
        {"model_reset", [](GridScene& s) { s.tabs().model()->reset(); }},
        {"rows_inserted",
         [](GridScene& s) {
             s.appendRow(5);
             s.appendRow(6);
         }},
        {"rows_deleted", [](GridScene& s) { s.deleteRows(1, 2); }},
        {"all_rows_deleted", [](GridScene& s) { s.deleteRows(0, s.grid1().model()->rowCount()); }},
        {"rows_back",
         [](GridScene& s) {
             for (int n = 7; n <= 9; ++n)
                 s.appendRow(n);
         }},
        {"editor_opened", [](GridScene& s) { s.openEditor(s.grid1(), 1, QStringLiteral("R"), QStringLiteral("3")); }},
        {"editor_committed",
         [](GridScene& s) {
             s.openEditor(s.grid1(), 0, QStringLiteral("COMMENT"), QStringLiteral("Глина"));
             QTest::keyClick(s.grid1().editor(), Qt::Key_Return);
         }},
        {"editor_cancelled",
         [](GridScene& s) {
             s.openEditor(s.grid1(), 0, QStringLiteral("P1"), QStringLiteral("5"));
             QTest::keyClick(s.grid1().editor(), Qt::Key_Escape);
         }},
        {"row_posted",
         [](GridScene& s) {
             s.openEditor(s.grid1(), 0, QStringLiteral("P"), QStringLiteral("1"));
             QTest::keyClick(s.grid1().editor(), Qt::Key_Return);
             s.grid1().endEdit();
         }},
        {"sorted", [](GridScene& s) { clickTitle(s.grid1(), s.grid1().columnOfField(QStringLiteral("P"))); }},
        {"sort_reset_with_open_editor",
         [](GridScene& s) {
             // The order of things in Export: both sorts reset while a cell is in edit.
             clickTitle(s.grid1(), s.grid1().columnOfField(QStringLiteral("DATE")));
             s.openEditor(s.grid1(), 2, QStringLiteral("R"), QStringLiteral("4"));
             resetSort(s.grid1(), s.fixture().document(), store::kTab1);
             resetSort(s.grid2(), s.fixture().document(), store::kTab2);
         }},
        {"tab_switched",
         [](GridScene& s) {
             s.window().setCurrentIndex(1);
             s.grid2().setFocus();
             s.grid2().setCurrentRow(s.grid2().model()->rowCount() - 1);
         }},
        {"columns_replaced",
         [](GridScene& s) {
             GridColumns columns = grid1Columns();
             columns.resize(5);
             s.grid1().setColumns(columns);
         }},
    };
    return changes;
}

std::vector<QAccessible::Id> walkAccessibleGrid(DataGrid& grid)
{
    std::vector<QAccessible::Id> ids;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid);
    EXPECT_NE(iface, nullptr);
    if (!iface)
        return ids;
    EXPECT_TRUE(iface->isValid());
    EXPECT_EQ(iface->object(), &grid);
    EXPECT_EQ(iface->role(), QAccessible::Table);
    QAccessibleTableInterface* table = iface->tableInterface();
    EXPECT_NE(table, nullptr);
    if (!table)
        return ids;

    // Up: the grid is one of its parent's children, at the index the parent gives it.
    if (QAccessibleInterface* parent = iface->parent()) {
        const int at = parent->indexOfChild(iface);
        EXPECT_GE(at, 0) << "the grid is not among its parent's children";
        if (at >= 0) {
            EXPECT_EQ(parent->child(at), iface);
        }
    } else {
        ADD_FAILURE() << "the grid has no accessible parent";
    }

    const int rows = grid.model() ? grid.model()->rowCount() : 0;
    const int columns = grid.columnCount();
    EXPECT_EQ(table->rowCount(), rows);
    EXPECT_EQ(table->columnCount(), columns);
    EXPECT_EQ(iface->childCount(), rows * columns);

    for (int index = 0; index < iface->childCount(); ++index) {
        const int row = index / columns;
        const int column = index % columns;
        SCOPED_TRACE(testing::Message() << grid.objectName().toStdString() << " cell " << row << "," << column);
        QAccessibleInterface* cell = iface->child(index);
        EXPECT_NE(cell, nullptr);
        if (!cell)
            continue;
        ids.push_back(QAccessible::uniqueId(cell));
        EXPECT_TRUE(cell->isValid());
        EXPECT_EQ(cell->role(), QAccessible::Cell);
        EXPECT_EQ(cell->parent(), iface);
        EXPECT_EQ(iface->indexOfChild(cell), index);
        EXPECT_EQ(table->cellAt(row, column), cell);
        EXPECT_EQ(cell->text(QAccessible::Name), grid.cellText(row, column));
        EXPECT_EQ(cell->text(QAccessible::Description), grid.column(column).caption.simplified());
        EXPECT_EQ(cell->childCount(), 0);
        EXPECT_FALSE(cell->state().invalid);
        QAccessibleTableCellInterface* position = cell->tableCellInterface();
        EXPECT_NE(position, nullptr);
        if (!position)
            continue;
        EXPECT_EQ(position->rowIndex(), row);
        EXPECT_EQ(position->columnIndex(), column);
        EXPECT_EQ(position->rowExtent(), 1);
        EXPECT_EQ(position->columnExtent(), 1);
        EXPECT_EQ(position->table(), iface);
        EXPECT_EQ(position->isSelected(), grid.isRowSelected(row));
    }

    // Out of range, as a tool with counts from before a change would ask.
    EXPECT_EQ(iface->child(-1), nullptr);
    EXPECT_EQ(iface->child(rows * columns), nullptr);
    EXPECT_EQ(iface->indexOfChild(nullptr), -1);
    for (const auto& [row, column] : {std::pair{-1, 0}, std::pair{rows, 0}, std::pair{rows + 5, columns - 1},
                                      std::pair{0, -1}, std::pair{0, columns}})
        expectNothingThere(table->cellAt(row, column), "cellAt", row, column);
    EXPECT_FALSE(table->isRowSelected(rows));
    EXPECT_TRUE(table->columnDescription(columns).isEmpty());

    // The focus child: the open editor while it has the focus, else the current cell.
    QAccessibleInterface* focus = iface->focusChild();
    const int current = grid.currentRow();
    if (grid.isEditorOpen() && grid.editor()->hasFocus()) {
        EXPECT_EQ(focus, QAccessible::queryAccessibleInterface(grid.editor()));
    } else if (current >= 0 && columns > 0) {
        EXPECT_NE(focus, nullptr);
        if (focus && focus->tableCellInterface()) {
            EXPECT_EQ(focus->tableCellInterface()->rowIndex(), current);
            EXPECT_EQ(focus->tableCellInterface()->columnIndex(), grid.currentColumn());
        }
    } else {
        EXPECT_EQ(focus, nullptr);
    }

    // The editor: while it is open it is a live widget inside the grid; once closed it is
    // hidden and no longer the focus child.
    if (QLineEdit* editor = grid.editor()) {
        QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(editor);
        EXPECT_NE(edit, nullptr);
        if (edit) {
            if (grid.isVisible()) {
                EXPECT_EQ(edit->state().invisible, !grid.isEditorOpen());
            }
            bool insideGrid = false;
            for (QAccessibleInterface* up = edit->parent(); up; up = up->parent()) {
                if (up == iface) {
                    insideGrid = true;
                    break;
                }
            }
            EXPECT_TRUE(insideGrid) << "the editor's parents do not lead to the grid";
            if (!grid.isEditorOpen()) {
                EXPECT_NE(iface->focusChild(), edit);
            }
        }
    }
    return ids;
}

void checkKeptCells(DataGrid& grid, const std::vector<QAccessible::Id>& ids)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid);
    for (QAccessible::Id id : ids) {
        QAccessibleInterface* kept = QAccessible::accessibleInterface(id);
        if (!kept)
            continue; // gone with its row, as it should be after a reset
        if (!kept->isValid()) {
            EXPECT_TRUE(kept->text(QAccessible::Name).isEmpty());
            EXPECT_EQ(iface->indexOfChild(kept), -1);
            continue;
        }
        QAccessibleTableCellInterface* cell = kept->tableCellInterface();
        if (!cell || cell->table() != iface)
            continue; // the id was given again to something else
        const int row = cell->rowIndex();
        const int column = cell->columnIndex();
        SCOPED_TRACE(testing::Message() << "kept cell " << row << "," << column);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, grid.model()->rowCount());
        ASSERT_GE(column, 0);
        ASSERT_LT(column, grid.columnCount());
        EXPECT_EQ(kept->text(QAccessible::Name), grid.cellText(row, column));
        EXPECT_EQ(iface->indexOfChild(kept), row * grid.columnCount() + column);
        EXPECT_EQ(iface->tableInterface()->cellAt(row, column), kept);
    }
}

} // namespace views::test
