// How the grids hear of what the document does: a posted row is a data change of the rows it
// passed over (never a reset, so an open editor elsewhere stays open), deleted rows are
// removed rows, and only a new view (another kind shown, a sort) resets the model.

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <utility>
#include <vector>

namespace views {
namespace {

using store::Field;
using test::Cells;

using Span = std::pair<int, int>; // first and last row

// The spans of the model's row signals caught by `spy` (dataChanged, rowsRemoved…).
std::vector<Span> spans(const QSignalSpy& spy, bool indexes)
{
    std::vector<Span> found;
    for (const QList<QVariant>& args : spy) {
        if (indexes)
            found.emplace_back(args.at(0).toModelIndex().row(), args.at(1).toModelIndex().row());
        else
            found.emplace_back(args.at(1).toInt(), args.at(2).toInt());
    }
    return found;
}

// Everything the model tells its views, caught from the moment it is made.
struct ModelSignals {
    explicit ModelSignals(TableModel* model)
        : reset(model, &QAbstractItemModel::modelReset),
          changed(model, &QAbstractItemModel::dataChanged),
          inserted(model, &QAbstractItemModel::rowsInserted),
          removed(model, &QAbstractItemModel::rowsRemoved),
          layout(model, &QAbstractItemModel::layoutChanged)
    {
    }
    QSignalSpy reset, changed, inserted, removed, layout;
};

class ModelSignalsTest : public ::testing::Test {
protected:
    void start(const std::vector<Cells>& rows)
    {
        m_fixture = std::make_unique<test::TableFixture>(rows);
        m_tabs = std::make_unique<GridTabs>(m_fixture->document(), &m_page1, &m_page2);
        for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()})
            g->resize(1000, 900);
        m_page1.show();
        m_page2.show();
    }
    document::MeasurementDocument& document() { return m_fixture->document(); }
    TableModel& model() { return *m_tabs->model(); }
    DataGrid& grid1() { return *m_tabs->grid1(); }
    DataGrid& grid2() { return *m_tabs->grid2(); }
    int col(const DataGrid& grid, const char* field) const
    {
        return grid.columnOfField(QString::fromLatin1(field));
    }
    int fieldColumn(Field f) { return m_fixture->table().column(f); }

    QWidget m_page1, m_page2;
    std::unique_ptr<test::TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
};

// Four tests numbered 1…4 with P 10, 20, 30, 40 in file order.
std::vector<Cells> fourTests()
{
    std::vector<Cells> rows;
    for (int n = 1; n <= 4; ++n)
        rows.push_back({{Field::N, double(n)}, {Field::P, 10.0 * n}, {Field::R, 1.0}});
    return rows;
}

struct PostCase {
    const char* name;
    bool sortedByP; // descending: 40, 30, 20, 10
    int row;        // the row edited
    const char* field;
    const char* typed;
    Span changed;   // the rows the data change spans
    int rowAfter;   // where the record stands once posted
    QStringList p;  // P down the view once posted
};
void PrintTo(const PostCase& c, std::ostream* os)
{
    *os << c.name;
}

class PostedEdit : public ModelSignalsTest, public ::testing::WithParamInterface<PostCase> {};

TEST_P(PostedEdit, IsADataChangeOfTheRowsItPassedOverAndTheCursorFollowsIt)
{
    const PostCase& c = GetParam();
    start(fourTests());
    if (c.sortedByP)
        document().sort(store::kTab1, fieldColumn(Field::P), true);
    const int column = col(grid1(), c.field);
    test::clickCell(grid1(), c.row, column);
    ASSERT_TRUE(grid1().startEdit());
    test::typeIntoEditor(grid1(), QString::fromUtf8(c.typed)); // into the row's edit buffer
    const auto record = model().recordAt(c.row);
    ASSERT_TRUE(record.has_value());

    ModelSignals told(&model());
    QSignalSpy posted(&document(), &document::MeasurementDocument::rowPosted);
    ASSERT_TRUE(grid1().endEdit());

    EXPECT_TRUE(told.reset.isEmpty());
    EXPECT_TRUE(told.layout.isEmpty());
    EXPECT_TRUE(told.inserted.isEmpty());
    EXPECT_TRUE(told.removed.isEmpty());
    EXPECT_EQ(spans(told.changed, true), std::vector<Span>{c.changed});
    ASSERT_EQ(told.changed.size(), 1);
    EXPECT_EQ(told.changed.front().at(0).toModelIndex().column(), 0);
    EXPECT_EQ(told.changed.front().at(1).toModelIndex().column(), model().columnCount() - 1);

    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(posted.front().at(0).value<std::uint32_t>(), *record);
    EXPECT_EQ(posted.front().at(1).toInt(), c.row);
    EXPECT_EQ(posted.front().at(2).toInt(), c.rowAfter);

    EXPECT_EQ(test::columnTexts(grid1(), QStringLiteral("P")), c.p);
    EXPECT_EQ(grid1().currentRow(), c.rowAfter) << "the cursor stays on the edited record";
    EXPECT_EQ(model().recordAt(grid1().currentRow()), record);
}

INSTANTIATE_TEST_SUITE_P(Cases, PostedEdit, ::testing::Values(
    PostCase{"file_order", false, 2, "P", "99", {2, 2}, 2, {"10", "20", "99", "40"}},
    PostCase{"file_order_text", false, 1, "COMMENT", "Глина", {1, 1}, 1, {"10", "20", "30", "40"}},
    PostCase{"sorted_up_past_every_row", true, 3, "P", "50", {0, 3}, 0, {"50", "40", "30", "20"}},
    PostCase{"sorted_down_one_row", true, 0, "P", "25", {0, 1}, 1, {"30", "25", "20", "10"}},
    PostCase{"sorted_key_kept_in_place", true, 1, "P", "35", {1, 1}, 1, {"40", "35", "20", "10"}},
    PostCase{"sorted_other_field", true, 2, "COMMENT", "Песок", {2, 2}, 2, {"40", "30", "20", "10"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EditorCase {
    const char* name;
    bool inGrid2; // the editor's grid; the posted row is always edited in Grid1's model
    int editorRow;
    int postedRow;
    bool sortedByP = false; // descending: the posted row moves past the editor's
};
void PrintTo(const EditorCase& c, std::ostream* os)
{
    *os << c.name;
}

class OpenEditor : public ModelSignalsTest, public ::testing::WithParamInterface<EditorCase> {};

TEST_P(OpenEditor, StaysOpenWithItsTextWhenTheDocumentPostsARow)
{
    const EditorCase& c = GetParam();
    start(fourTests());
    if (c.sortedByP)
        document().sort(store::kTab1, fieldColumn(Field::P), true);
    DataGrid& grid = c.inGrid2 ? grid2() : grid1();
    grid.setFocus();
    grid.setCurrentRow(c.editorRow);
    grid.setCurrentColumn(col(grid, "R")); // editable in both tabs
    ASSERT_TRUE(grid.startEdit());
    grid.editor()->setText(QStringLiteral("7.5"));
    const std::uint32_t editorRecord = *model().recordAt(c.editorRow);
    const std::uint32_t postedRecord = *model().recordAt(c.postedRow);

    // Another row's edit reaches the file through the document while the editor is open.
    ModelSignals told(&model());
    model().setCellText(c.postedRow, fieldColumn(Field::P), QStringLiteral("77"));
    document().post();
    EXPECT_TRUE(told.reset.isEmpty());
    ASSERT_FALSE(told.changed.isEmpty());
    const store::DbfTable& t = m_fixture->table().table();
    EXPECT_EQ(grid1().cellText(t.positionOf(postedRecord), col(grid1(), "P")), QStringLiteral("77"));

    ASSERT_TRUE(grid.isEditorOpen());
    EXPECT_EQ(grid.editor()->text(), QStringLiteral("7.5"));
    EXPECT_EQ(grid.editor()->geometry().center().y(),
              grid.cellRect(t.positionOf(editorRecord), col(grid, "R")).center().y())
        << "the editor stands on its record's row";

    // The editor still edits its own cell: ending the edit writes the text there.
    ASSERT_TRUE(grid.endEdit());
    m_fixture->reopen();
    EXPECT_EQ(t.real(editorRecord, fieldColumn(Field::R)), 7.5);
    EXPECT_EQ(t.real(postedRecord, fieldColumn(Field::P)), 77.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenEditor, ::testing::Values(
    EditorCase{"another_row_of_the_same_grid", false, 1, 0},
    EditorCase{"the_other_grid", true, 2, 0},
    EditorCase{"the_same_row_in_the_other_grid", true, 0, 0},
    // Sorted by P, descending: the row posted with P 77 moves to the top, and the editor's
    // record one row down.
    EditorCase{"a_row_moving_past_it_in_a_sorted_view", false, 1, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct DeleteCase {
    const char* name;
    std::vector<int> rows; // view rows deleted
    std::vector<Span> removed; // as announced, the last run first
    QStringList left;      // N down the view afterwards
};
void PrintTo(const DeleteCase& c, std::ostream* os)
{
    *os << c.name;
}

class DeletedRows : public ModelSignalsTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeletedRows, AreRemovedRowsRunByRunNotAReset)
{
    const DeleteCase& c = GetParam();
    std::vector<Cells> rows;
    for (int n = 1; n <= 6; ++n)
        rows.push_back({{Field::N, double(n)}, {Field::P, 10.0 * n}});
    start(rows);
    std::vector<std::uint32_t> records;
    for (int row : c.rows)
        records.push_back(*model().recordAt(row));

    ModelSignals told(&model());
    document().deleteRecords(records);

    EXPECT_TRUE(told.reset.isEmpty());
    EXPECT_TRUE(told.changed.isEmpty());
    EXPECT_TRUE(told.inserted.isEmpty());
    EXPECT_EQ(spans(told.removed, false), c.removed);
    EXPECT_EQ(model().rowCount(), c.left.size());
    EXPECT_EQ(test::columnTexts(grid1(), QStringLiteral("N")), c.left);

    // Once the announcement is over, the model and the table still agree: no late reset.
    QCoreApplication::processEvents();
    EXPECT_TRUE(told.reset.isEmpty());
    EXPECT_EQ(model().rowCount(), c.left.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, DeletedRows, ::testing::Values(
    DeleteCase{"two_runs", {1, 2, 4}, {{4, 4}, {1, 2}}, {"1", "4", "6"}},
    DeleteCase{"two_runs_named_last_first", {4, 2, 1}, {{4, 4}, {1, 2}}, {"1", "4", "6"}},
    DeleteCase{"the_first_row", {0}, {{0, 0}}, {"2", "3", "4", "5", "6"}},
    DeleteCase{"the_last_rows", {4, 5}, {{4, 5}}, {"1", "2", "3", "4"}},
    DeleteCase{"every_row", {0, 1, 2, 3, 4, 5}, {{0, 5}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ViewCase {
    const char* name;
    std::function<void(document::MeasurementDocument&, int pColumn)> change;
    QStringList n; // N down the new view
};
void PrintTo(const ViewCase& c, std::ostream* os)
{
    *os << c.name;
}

class NewView : public ModelSignalsTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(NewView, ResetsTheModelOnce)
{
    // Three penetrometer tests (P 20, 30, 10) and two press tests between them.
    const auto press = [](double n) {
        return Cells{{Field::NB_TYPE, double(store::kPressKind)}, {Field::N, n}, {Field::P, n}};
    };
    start({{{Field::N, 1.0}, {Field::P, 20.0}},
           press(11),
           {{Field::N, 2.0}, {Field::P, 30.0}},
           press(12),
           {{Field::N, 3.0}, {Field::P, 10.0}}});
    ASSERT_EQ(test::columnTexts(grid1(), QStringLiteral("N")), (QStringList{"1", "2", "3"}));

    ModelSignals told(&model());
    GetParam().change(document(), fieldColumn(Field::P));

    EXPECT_EQ(told.reset.size(), 1);
    EXPECT_TRUE(told.changed.isEmpty());
    EXPECT_TRUE(told.inserted.isEmpty());
    EXPECT_TRUE(told.removed.isEmpty());
    EXPECT_EQ(test::columnTexts(grid1(), QStringLiteral("N")), GetParam().n);
}

INSTANTIATE_TEST_SUITE_P(Cases, NewView, ::testing::Values(
    ViewCase{"press_rows_shown",
             [](document::MeasurementDocument& d, int) { d.showKind(store::kPressKind); }, {"11", "12"}},
    ViewCase{"sorted_descending",
             [](document::MeasurementDocument& d, int p) { d.sort(store::kTab1, p, true); }, {"2", "1", "3"}},
    ViewCase{"sorted_ascending",
             [](document::MeasurementDocument& d, int p) { d.sort(store::kTab1, p, false); }, {"3", "1", "2"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace views
