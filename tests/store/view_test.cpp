// What the grids see: the kind filter, the cursor, and the sort tags kept in step with edits.

#include "store_test_support.h"

#include <algorithm>

namespace store::test {
namespace {

using Numbers = std::vector<std::optional<double>>;

Cells row(int kind, double p)
{
    return {{Field::NB_TYPE, double(kind)}, {Field::P, p}};
}

Cells dated(const char* date, const char* time, double n)
{
    return {{Field::DATE, QString::fromLatin1(date)}, {Field::TIME, QString::fromLatin1(time)}, {Field::N, n}};
}

// Leaves the cursor on the row whose P is `p`.
void goToP(MeasurementTable& t, double p)
{
    for (t.table().first(); !t.table().eof(); t.table().next())
        if (t.real(Field::P) == p)
            return;
    FAIL() << "no row with P " << p;
}

void setFilter(MeasurementTable& t, const std::string& filter)
{
    t.table().setFilter(filter);
    t.table().refresh();
}

class View : public StoreTest {
protected:
    // Opens a table holding `rows`.
    void open(const std::vector<Cells>& rows)
    {
        createTable(path("view.db"), rows);
        m_table.open(path("view.db"));
    }
    MeasurementTable m_table;
};

TEST_F(View, KindFilterCountsAndShowsOnlyThatKind)
{
    struct Case {
        std::vector<Cells> rows;
        std::string filter;
        Numbers shown; // P of the rows in the view
    };
    const Cells blankKind = {{Field::P, 9.0}};
    const Case cases[] = {
        {{row(0, 1), row(1, 2), row(0, 3), row(0, 4), row(1, 5)}, "NB_TYPE=0", {1, 3, 4}},
        {{row(0, 1), row(1, 2), row(0, 3), row(0, 4), row(1, 5)}, "NB_TYPE=1", {2, 5}},
        {{row(0, 1), row(1, 2), row(0, 3), row(0, 4), row(1, 5)}, "", {1, 2, 3, 4, 5}},
        {{row(1, 1), row(1, 2)}, "NB_TYPE=0", {}}, // only press rows
        {{row(0, 1), row(0, 2)}, "NB_TYPE=1", {}},
        {{blankKind, row(0, 1)}, "NB_TYPE=0", {1}}, // a blank kind is not 0
        {{}, "NB_TYPE=0", {}},
        {{row(0, 1), row(1, 2)}, " NB_TYPE = 1 ", {2}},
        {{row(0, 1), row(1, 2)}, "nb_type=1", {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("filter \"" + c.filter + "\"");
        open(c.rows);
        setFilter(m_table, c.filter);
        EXPECT_EQ(m_table.table().recordCount(), static_cast<int>(c.shown.size()));
        EXPECT_EQ(numbersInView(m_table, Field::P), c.shown);
        m_table.table().first();
        EXPECT_EQ(m_table.table().eof(), c.shown.empty());
        if (c.shown.empty()) {
            EXPECT_FALSE(m_table.real(Field::P).has_value()) << "no row: fields read empty";
            EXPECT_TRUE(m_table.text(Field::COMMENT).isEmpty());
        }
        m_table.close();
    }
}

TEST_F(View, KindFiltersAreTheTwoKinds)
{
    EXPECT_EQ(kindFilter(kPenetrometerKind), "NB_TYPE=0");
    EXPECT_EQ(kindFilter(kPressKind), "NB_TYPE=1");
}

TEST_F(View, AFilterThisEngineCannotReadIsRefused)
{
    open({row(0, 1)});
    setFilter(m_table, "NB_TYPE=1");
    for (const char* bad : {"NB_TYPE", "NO_FIELD=1", "NB_TYPE=x", "NB_TYPE==1"}) {
        SCOPED_TRACE(bad);
        try {
            m_table.table().setFilter(bad);
            ADD_FAILURE() << "accepted";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), StoreError::Code::BadExpression);
        }
        EXPECT_EQ(m_table.table().filter(), "NB_TYPE=1") << "the old filter stays";
    }
}

TEST_F(View, TextFiltersCompareWithoutTrailingBlanks)
{
    open({{{Field::T, QStringLiteral("Штамп")}, {Field::P, 1.0}},
          {{Field::T, QStringLiteral("Конус")}, {Field::P, 2.0}},
          {{Field::T, QStringLiteral("Штамп")}, {Field::P, 3.0}}});
    setFilter(m_table, "T='Штамп'");
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 3}));
    setFilter(m_table, "T=Конус");
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2}));
}

TEST_F(View, ARowWhoseKindChangesLeavesTheFilteredView)
{
    open({row(0, 1), row(0, 2), row(0, 3)});
    setFilter(m_table, kindFilter(0));
    goToP(m_table, 2);
    m_table.table().edit();
    m_table.setReal(Field::NB_TYPE, 1);
    m_table.table().post();
    EXPECT_EQ(m_table.table().recordCount(), 2);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 3}));
    setFilter(m_table, kindFilter(1));
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2}));

    // A row appended with the other kind is written but not shown.
    appendRow(m_table, row(0, 4));
    EXPECT_EQ(m_table.table().recordCount(), 1);
    EXPECT_EQ(m_table.table().physicalCount(), 4u);
}

TEST_F(View, AFilterSetOnAClosedTableAppliesWhenItOpens)
{
    createTable(path("kinds.db"), {row(0, 1), row(1, 2), row(0, 3)});
    createTable(path("other.db"), {{{Field::P, 4.0}}});
    {
        SCOPED_TRACE("set before the first open");
        m_table.table().setFilter(kindFilter(1));
        m_table.open(path("kinds.db"));
        EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2}));
    }
    {
        SCOPED_TRACE("kept across close and open");
        m_table.close();
        m_table.open(path("kinds.db"));
        EXPECT_EQ(m_table.table().filter(), kindFilter(1));
        EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2}));
    }
    {
        SCOPED_TRACE("dropped for a table without the field");
        m_table.close();
        m_table.table().setFilter("NO_FIELD=1");
        DbfTable plain;
        plain.setFilter("NO_FIELD=1");
        DbfTable::create(path("plain.db"), {{"A", FieldType::Numeric, 4, 0}});
        plain.open(path("plain.db"));
        EXPECT_EQ(plain.filter(), "");
        EXPECT_EQ(plain.recordCount(), 0);
    }
}

TEST_F(View, AFilterAppliesAtOnceAndAnEditMovesTheRowBetweenKinds)
{
    open({row(0, 1), row(0, 2), row(1, 3)});
    DbfTable& t = m_table.table();
    t.setFilter(kindFilter(0)); // no refresh: the view must follow the filter anyway
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 2}));

    t.first();
    t.edit();
    m_table.setReal(Field::NB_TYPE, 1);
    t.post();
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2}));

    t.setFilter(kindFilter(1));
    std::vector<std::uint32_t> shown = t.view();
    std::sort(shown.begin(), shown.end());
    EXPECT_TRUE(std::adjacent_find(shown.begin(), shown.end()) == shown.end()) << "a record listed twice";
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 3}));
}

TEST_F(View, CursorWalksFirstToEofAndBack)
{
    open({row(0, 1), row(0, 2), row(0, 3)});
    DbfTable& t = m_table.table();

    t.first();
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());
    EXPECT_EQ(t.position(), 0);
    EXPECT_EQ(m_table.real(Field::P), 1.0);

    t.next();
    EXPECT_FALSE(t.bof());
    EXPECT_EQ(m_table.real(Field::P), 2.0);
    t.next();
    EXPECT_EQ(m_table.real(Field::P), 3.0);
    EXPECT_FALSE(t.eof()) << "on the last row, not past it";
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(m_table.real(Field::P), 3.0) << "next at the end stays on the last row";

    t.last();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.position(), 2);
    EXPECT_EQ(m_table.real(Field::P), 3.0);
    t.prior();
    EXPECT_FALSE(t.eof());
    EXPECT_EQ(m_table.real(Field::P), 2.0);
    t.prior();
    t.prior();
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(m_table.real(Field::P), 1.0);

    t.moveTo(1);
    EXPECT_EQ(m_table.real(Field::P), 2.0);
    EXPECT_EQ(t.recordAt(1), *t.currentRecord());
    EXPECT_EQ(t.positionOf(*t.currentRecord()), 1);
    EXPECT_THROW(t.recordAt(3), StoreError);
}

TEST_F(View, CursorOnAnEmptyView)
{
    open({row(1, 1)});
    setFilter(m_table, kindFilter(0));
    DbfTable& t = m_table.table();
    for (auto move : {&DbfTable::first, &DbfTable::last, &DbfTable::next, &DbfTable::prior}) {
        (t.*move)();
        EXPECT_TRUE(t.eof());
        EXPECT_TRUE(t.bof());
        EXPECT_EQ(t.position(), -1);
        EXPECT_FALSE(t.currentRecord().has_value());
    }
    EXPECT_THROW(t.edit(), StoreError);
    EXPECT_THROW(t.deleteRecord(), StoreError);
}

TEST_F(View, NumericTagsSortAscendingAndDescending)
{
    struct Case {
        bool descending;
        Numbers order;
    };
    // Blank sorts before every number; equal keys keep file order (told apart by N).
    const Case cases[] = {
        {false, {std::nullopt, -2, 3, 5, 5, 10.5}},
        {true, {10.5, 5, 5, 3, -2, std::nullopt}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.descending ? "descending" : "ascending");
        open({{{Field::P, 5.0}, {Field::N, 1.0}}, {{Field::P, -2.0}}, {{Field::N, 3.0}},
              {{Field::P, 10.5}}, {{Field::P, 3.0}}, {{Field::P, 5.0}, {Field::N, 6.0}}});
        m_table.addSortTag(kTab1, Field::P, c.descending);
        m_table.table().setIndexName(kTab1);
        EXPECT_EQ(numbersInView(m_table, Field::P), c.order);
        // Equal P keep file order: N 1 before N 6.
        std::vector<double> nOfFives;
        for (m_table.table().first(); !m_table.table().eof(); m_table.table().next())
            if (m_table.real(Field::P) == 5.0)
                nOfFives.push_back(*m_table.real(Field::N));
        EXPECT_EQ(nOfFives, (std::vector<double>{1, 6}));

        m_table.table().setIndexName("");
        EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{5, -2, std::nullopt, 10.5, 3, 5})) << "file order";
        m_table.close();
    }
}

TEST_F(View, DateTagSortsByCalendarDateThenTime)
{
    struct Case {
        bool descending;
        Numbers order; // N of the rows
    };
    const Case cases[] = {
        {false, {5, 3, 4, 2, 1}}, // earliest first; a row without a date before all
        {true, {1, 2, 4, 3, 5}},  // latest first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.descending ? "descending" : "ascending");
        // As text, 31.01.2005 would sort after 01.12.2005 and 15.06.2004 after both.
        open({dated("01.12.2005", "10:00", 1), dated("31.01.2005", "12:30", 2),
              dated("15.06.2004", "08:00", 3), dated("31.01.2005", "09:15", 4), {{Field::N, 5.0}}});
        m_table.addSortTag(kTab1, Field::DATE, c.descending);
        m_table.table().setIndexName(kTab1);
        EXPECT_EQ(numbersInView(m_table, Field::N), c.order);
        m_table.close();
    }
}

TEST_F(View, TextTagSortsByTheStoredText)
{
    open({{{Field::COMMENT, QStringLiteral("Б")}, {Field::N, 1.0}},
          {{Field::COMMENT, QStringLiteral("А")}, {Field::N, 2.0}},
          {{Field::COMMENT, QStringLiteral("В")}, {Field::N, 3.0}}});
    m_table.addSortTag(kTab2, Field::COMMENT, false);
    m_table.table().setIndexName(kTab2);
    EXPECT_EQ(numbersInView(m_table, Field::N), (Numbers{2, 1, 3}));
}

TEST_F(View, APostThatChangesTheKeyMovesTheRowInTheTag)
{
    struct Case {
        const char* what;
        double from;
        double to;
        Numbers order;
    };
    const Case cases[] = {
        {"first to last", 1, 10, {2, 3, 4, 10}},
        {"last to first", 4, 0, {0, 1, 2, 3}},
        {"into the middle", 1, 2.5, {2, 2.5, 3, 4}},
        {"to an equal key", 4, 2, {1, 2, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open({row(0, 3), row(0, 1), row(0, 4), row(0, 2)});
        m_table.addSortTag(kTab1, Field::P, false);
        m_table.addSortTag(kTab2, Field::P, true); // not active while the edit is posted
        m_table.table().setIndexName(kTab1);
        goToP(m_table, c.from);
        m_table.table().edit();
        m_table.setReal(Field::P, c.to);
        m_table.table().post();
        EXPECT_EQ(numbersInView(m_table, Field::P), c.order);
        goToP(m_table, c.to);

        m_table.table().setIndexName(kTab2);
        Numbers reversed(c.order.rbegin(), c.order.rend());
        EXPECT_EQ(numbersInView(m_table, Field::P), reversed) << "the other tag is right too";
        m_table.close();
    }
}

TEST_F(View, TheCursorFollowsAnEditedRowToItsNewPlace)
{
    open({row(0, 1), row(0, 2), row(0, 3)});
    m_table.addSortTag(kTab1, Field::P, false);
    m_table.table().setIndexName(kTab1);
    m_table.table().first();
    m_table.table().edit();
    m_table.setReal(Field::P, 9);
    m_table.table().post();
    EXPECT_EQ(m_table.table().position(), 2);
    EXPECT_EQ(m_table.real(Field::P), 9.0);
}

TEST_F(View, AppendingIntoASortedFilteredView)
{
    open({row(0, 1), row(1, 2), row(0, 5), row(0, 3)});
    setFilter(m_table, kindFilter(0));
    m_table.addSortTag(kTab1, Field::P, false);
    m_table.table().setIndexName(kTab1);
    appendRow(m_table, row(0, 4));
    EXPECT_EQ(m_table.real(Field::P), 4.0) << "the cursor is on the new row";
    EXPECT_EQ(m_table.table().position(), 2);
    appendRow(m_table, row(1, 0));
    appendRow(m_table, row(0, 0.5));
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{0.5, 1, 3, 4, 5}));
    m_table.table().setIndexName("");
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 5, 3, 4, 0.5}));
    setFilter(m_table, kindFilter(1));
    m_table.table().setIndexName(kTab1);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{0, 2}));
}

TEST_F(View, DeletingTagsAndAskingForMissingOnes)
{
    open({row(0, 2), row(0, 1)});
    DbfTable& t = m_table.table();
    m_table.addSortTag(kTab1, Field::P, false);
    m_table.addSortTag(kTab2, Field::P, true);
    EXPECT_EQ(t.tagNames(), (std::vector<std::string>{kTab1, kTab2}));
    t.setIndexName(kTab1);
    EXPECT_EQ(t.indexName(), kTab1);

    auto code = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const StoreError& e) {
            return e.code();
        }
        ADD_FAILURE() << "no error";
        return StoreError::Code::Io;
    };
    EXPECT_EQ(code([&] { m_table.addSortTag(kTab1, Field::N, false); }), StoreError::Code::BadTag);
    EXPECT_EQ(code([&] { m_table.addSortTag("tab3", 99, false); }), StoreError::Code::BadTag);

    t.deleteIndex(kTab1);
    EXPECT_EQ(t.indexName(), "") << "deleting the active tag returns to file order";
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2, 1}));
    EXPECT_EQ(t.tagNames(), (std::vector<std::string>{kTab2}));
    EXPECT_EQ(code([&] { t.setIndexName(kTab1); }), StoreError::Code::NoSuchTag);
    EXPECT_EQ(code([&] { t.deleteIndex(kTab1); }), StoreError::Code::NoSuchTag);

    t.setIndexName(kTab2);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{2, 1}));
    m_table.addSortTag(kTab1, Field::P, false); // a deleted name can be built again
    t.setIndexName(kTab1);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 2}));
    t.deleteIndex(kTab2);
    EXPECT_EQ(t.indexName(), kTab1) << "deleting another tag keeps the active one";
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 2}));
}

TEST_F(View, TagsAreGoneAfterReopening)
{
    open({row(0, 2), row(0, 1)});
    m_table.addSortTag(kTab1, Field::P, false);
    m_table.close();
    m_table.open(path("view.db"));
    EXPECT_TRUE(m_table.table().tagNames().empty());
    EXPECT_THROW(m_table.table().setIndexName(kTab1), StoreError);
}

TEST_F(View, ReopenKeepsFilterTagsAndRowButReadsTheFileAgain)
{
    open({row(0, 2), row(1, 9), row(0, 1), row(0, 3)});
    DbfTable& t = m_table.table();
    t.setFilter(kindFilter(0));
    m_table.addSortTag(kTab1, Field::P, true);
    t.setIndexName(kTab1);
    goToP(m_table, 2);
    t.edit();
    m_table.setText(Field::COMMENT, QStringLiteral("не сохранено")); // pending: reopen posts it

    t.reopen();

    EXPECT_EQ(t.filter(), kindFilter(0));
    EXPECT_EQ(t.indexName(), kTab1);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{3, 2, 1}));
    goToP(m_table, 2);
    EXPECT_EQ(m_table.text(Field::COMMENT), QStringLiteral("не сохранено"));
    t.close();
    t.open(path("view.db"));
    EXPECT_TRUE(t.tagNames().empty()) << "a plain close still forgets the tags";
}

TEST_F(View, ABatchRenumbersASortedViewAndReordersItOnceAtTheEnd)
{
    // N descending: 30, 20, 10 (P tells the rows apart).
    open({{{Field::N, 10.0}, {Field::P, 1.0}, {Field::NB_TYPE, 0.0}},
          {{Field::N, 30.0}, {Field::P, 3.0}, {Field::NB_TYPE, 0.0}},
          {{Field::N, 20.0}, {Field::P, 2.0}, {Field::NB_TYPE, 0.0}}});
    DbfTable& t = m_table.table();
    m_table.addSortTag(kTab1, Field::N, true);
    t.setIndexName(kTab1);
    ASSERT_EQ(numbersInView(m_table, Field::P), (Numbers{3, 2, 1}));

    const std::vector<std::uint32_t> shown = t.view();
    t.beginBatch();
    double number = 1;
    for (std::uint32_t rec : shown) {
        t.editRecord(rec);
        m_table.setReal(Field::N, number++);
        t.post();
        EXPECT_EQ(t.view(), shown) << "inside a batch the view stays as it was";
    }
    t.endBatch();

    // The row shown first got 1, so under N descending it now comes last.
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 2, 3}));
    EXPECT_EQ(numbersInView(m_table, Field::N), (Numbers{3, 2, 1}));
    t.setIndexName("");
    EXPECT_EQ(numbersInView(m_table, Field::N), (Numbers{3, 1, 2})) << "file order: each row got its number";
}

TEST_F(View, EditRecordReachesARowByItsNumberAndMakesItCurrent)
{
    open({row(0, 1), row(1, 2), row(0, 3)});
    DbfTable& t = m_table.table();
    t.setFilter(kindFilter(0));
    t.editRecord(2);
    m_table.setReal(Field::P, 7);
    t.post();
    EXPECT_EQ(m_table.real(Field::P), 7.0);
    EXPECT_EQ(t.currentRecord(), 2u);
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{1, 7}));
    EXPECT_THROW(t.editRecord(9), StoreError);
}

} // namespace
} // namespace store::test
