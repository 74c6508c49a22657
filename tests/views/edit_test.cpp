// Editing in place: every way of starting an edit raises the edit-start event, read-only and
// unbound columns refuse, values the table cannot hold are refused with a reason (told to the
// grid's receiver) and never stored, and what is accepted reaches the file.

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace views {
namespace {

using store::Field;
using test::Cells;

class GridEditing : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        const Cells row = {{Field::N, 1.0},
                           {Field::P, 10.0},
                           {Field::R, 1.5},
                           {Field::COMMENT, QStringLiteral("Суглинок")}};
        m_fixture = std::make_unique<test::TableFixture>(std::vector<Cells>{row, row});
        m_tabs = std::make_unique<GridTabs>(m_fixture->document(), &m_page1, &m_page2);
        for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()})
            g->resize(1000, 900);
        m_page1.show();
        m_page2.show();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    DataGrid& grid1() { return *m_tabs->grid1(); }
    DataGrid& grid2() { return *m_tabs->grid2(); }

    // What the file holds in the first row once the edit is ended (as the commands end it)
    // and the table reopened: a number for a numeric field, else the text.
    QVariant stored(Field f)
    {
        grid1().endEdit();
        m_fixture->reopen();
        return fileValue(f);
    }
    QVariant fileValue(Field f)
    {
        const auto& t = m_fixture->table().table();
        const int column = m_fixture->table().column(f);
        if (t.fields()[static_cast<std::size_t>(column)].type == store::FieldType::Numeric) {
            const auto v = t.real(t.recordAt(0), column);
            return v ? QVariant(*v) : QVariant();
        }
        return t.text(t.recordAt(0), column);
    }

    QWidget m_page1, m_page2;
    std::unique_ptr<test::TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
};

struct StartCase {
    const char* name;
    std::function<void(DataGrid&, const QRect&)> start;
};

class EditStart : public GridEditing, public ::testing::WithParamInterface<StartCase> {};

TEST_P(EditStart, RaisesTheEventInEitherGridEvenWhenNothingChanges)
{
    for (DataGrid* grid : {&grid1(), &grid2()}) {
        QSignalSpy started(m_tabs.get(), &GridTabs::editStarted);
        const int column = grid->columnOfField(QStringLiteral("R")); // editable in both tabs
        test::clickCell(*grid, 0, column);
        GetParam().start(*grid, grid->cellRect(0, column));
        EXPECT_TRUE(grid->isEditorOpen()) << GetParam().name << " in " << grid->objectName().toStdString();
        EXPECT_EQ(started.size(), 1) << GetParam().name << " in " << grid->objectName().toStdString();
        if (!grid->isEditorOpen())
            continue;
        QTest::keyClick(grid->editor(), Qt::Key_Escape);
        EXPECT_FALSE(grid->isEditorOpen());
        EXPECT_FALSE(grid->model()->isEditing()) << "leaving the value as it was opens no record";
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, EditStart, ::testing::Values(
    StartCase{"F2", [](DataGrid& g, const QRect&) { QTest::keyClick(&g, Qt::Key_F2); }},
    StartCase{"Enter", [](DataGrid& g, const QRect&) { QTest::keyClick(&g, Qt::Key_Return); }},
    StartCase{"typing", [](DataGrid& g, const QRect&) { QTest::keyClicks(&g, QStringLiteral("7")); }},
    StartCase{"double click",
              [](DataGrid& g, const QRect& r) { QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, r.center()); }}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(GridEditing, ReadOnlyAndUnboundColumnsRefuse)
{
    struct Case {
        DataGrid* grid;
        const char* field; // "" = the first column bound to no field
    };
    const Case cases[] = {
        {&grid2(), "P"}, {&grid2(), "COMMENT"}, {&grid2(), ""},
    };
    // The first tab's heading over the forces has no cell in the rows to click at all.
    EXPECT_EQ(grid1().cellRect(0, grid1().columnOfField(QString())).width(), 0);
    for (const Case& c : cases) {
        QSignalSpy started(m_tabs.get(), &GridTabs::editStarted);
        const int column = c.grid->columnOfField(QString::fromLatin1(c.field));
        test::clickCell(*c.grid, 0, column);
        ASSERT_EQ(c.grid->currentColumn(), column);
        EXPECT_FALSE(c.grid->startEdit());
        QTest::keyClick(c.grid, Qt::Key_F2);
        QTest::keyClicks(c.grid, QStringLiteral("5"));
        EXPECT_FALSE(c.grid->isEditorOpen()) << c.grid->objectName().toStdString() << " " << c.field;
        EXPECT_TRUE(started.isEmpty());
    }
    EXPECT_EQ(stored(Field::P), QVariant(10.0));
}

struct RefusedCase {
    const char* name;
    Field field;
    const char* typed;
    const char* saying; // a piece of the message the user reads
};

class RefusedValue : public GridEditing, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedValue, IsExplainedKeptInTheEditorAndNotStored)
{
    const RefusedCase& c = GetParam();
    const QVariant before = fileValue(c.field);
    const int column = grid1().columnOfField(QString::fromLatin1(store::fieldName(c.field)));
    test::clickCell(grid1(), 0, column);
    ASSERT_TRUE(grid1().startEdit());
    test::GridMessages told(*m_tabs);
    test::typeIntoEditor(grid1(), QString::fromUtf8(c.typed));
    ASSERT_EQ(told.refused().size(), 1) << told.all();
    EXPECT_TRUE(told.refused().front().contains(QString::fromUtf8(c.saying))) << told.all();
    EXPECT_TRUE(told.errors().isEmpty()) << told.all();
    EXPECT_TRUE(grid1().isEditorOpen()) << "the user can put the text right";
    EXPECT_EQ(grid1().editor()->text(), QString::fromUtf8(c.typed));

    // Ending the edit as a command does refuses the text again and keeps it in the editor;
    // nothing reaches the file.
    EXPECT_FALSE(grid1().endEdit());
    EXPECT_EQ(told.refused().size(), 2) << told.all();
    EXPECT_TRUE(grid1().isEditorOpen());
    EXPECT_EQ(grid1().editor()->text(), QString::fromUtf8(c.typed));
    EXPECT_EQ(stored(c.field), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedValue, ::testing::Values(
    RefusedCase{"tick", Field::COMMENT, "Сухо ✓", "«✓»"},
    RefusedCase{"latin_and_greek", Field::COMMENT, "Sand α", "Windows-1251"},
    RefusedCase{"emoji", Field::COMMENT, "Глина 🙂", "«🙂»"},
    RefusedCase{"letters_in_a_number", Field::P, "12,5x", "не является числом"},
    RefusedCase{"two_numbers", Field::P, "1 2", "не является числом"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GridEditing, AcceptedValuesReachTheFile)
{
    struct Case {
        Field field;
        const char* typed;
        QVariant stored;
    };
    const Case cases[] = {
        {Field::COMMENT, "Супесь, № 7 — «сухая»", QStringLiteral("Супесь, № 7 — «сухая»")},
        {Field::P, "12,5", 12.5}, // the system's separator is read
        {Field::P, "7.25", 7.25}, // and so is the point
        {Field::P, "", QVariant()},
        {Field::COMMENT, "", QString()},
    };
    for (const Case& c : cases) {
        const int column = grid1().columnOfField(QString::fromLatin1(store::fieldName(c.field)));
        test::clickCell(grid1(), 0, column);
        ASSERT_TRUE(grid1().startEdit());
        test::typeIntoEditor(grid1(), QString::fromUtf8(c.typed));
        EXPECT_FALSE(grid1().isEditorOpen());
        EXPECT_EQ(stored(c.field), c.stored) << c.typed;
    }
}

TEST_F(GridEditing, EndEditTakesOverAnOpenEditorsText)
{
    const int column = grid1().columnOfField(QStringLiteral("COMMENT"));
    test::clickCell(grid1(), 1, column);
    ASSERT_TRUE(grid1().startEdit());
    grid1().editor()->setText(QStringLiteral("Песок"));
    EXPECT_TRUE(m_tabs->endEdit()); // the Save command's way in, with the editor still open
    EXPECT_FALSE(grid1().isEditorOpen());
    EXPECT_FALSE(grid1().model()->isEditing());
    m_fixture->reopen();
    const auto& t = m_fixture->table().table();
    EXPECT_EQ(t.text(t.recordAt(1), m_fixture->table().column(Field::COMMENT)), QStringLiteral("Песок"));
}

// Ending an edit the way the commands do it, and the title click that sorts: the text in the
// editor, then the row, through the document, so that whoever follows it (the model, the
// footers) hears of it exactly once; a refused text stops them and stays in the editor.
struct EndCase {
    const char* name;
    const char* typed; // into P of the second row
    bool ends;
    QStringList sorted; // P down the view after a click on P's title
};

class EndEdit : public GridEditing, public ::testing::WithParamInterface<EndCase> {
protected:
    int startEditingP()
    {
        const int column = grid1().columnOfField(QStringLiteral("P"));
        test::clickCell(grid1(), 1, column);
        EXPECT_TRUE(grid1().startEdit());
        grid1().editor()->setText(QString::fromUtf8(GetParam().typed));
        return column;
    }
    void expectEnded(const QSignalSpy& posted, const test::GridMessages& told)
    {
        const EndCase& c = GetParam();
        EXPECT_EQ(told.refused().size(), c.ends ? 0 : 1) << told.all();
        EXPECT_TRUE(told.errors().isEmpty()) << told.all();
        EXPECT_EQ(posted.size(), c.ends ? 1 : 0);
        EXPECT_EQ(grid1().isEditorOpen(), !c.ends);
        if (grid1().isEditorOpen()) {
            EXPECT_EQ(grid1().editor()->text(), QString::fromUtf8(c.typed));
        }
    }
};

TEST_P(EndEdit, PostsThroughTheDocumentOrStops)
{
    startEditingP();
    QSignalSpy posted(&m_fixture->document(), &document::MeasurementDocument::rowPosted);
    test::GridMessages told(*m_tabs);
    EXPECT_EQ(grid1().endEdit(), GetParam().ends);
    expectEnded(posted, told);
}

TEST_P(EndEdit, TitleClickSortsByTheTextInTheEditor)
{
    const int column = startEditingP();
    QSignalSpy posted(&m_fixture->document(), &document::MeasurementDocument::rowPosted);
    test::GridMessages told(*m_tabs);
    test::clickTitle(grid1(), column);
    expectEnded(posted, told);
    EXPECT_EQ(test::columnTexts(grid1(), QStringLiteral("P")), GetParam().sorted);
    EXPECT_EQ(grid1().column(column).titleState, GetParam().ends ? TitleState::Up : TitleState::None);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndEdit, ::testing::Values(
    EndCase{"accepted", "30", true, {"30", "10"}},
    EndCase{"refused", "3x", false, {"10", "10"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace views
