// The measurement document on its own: what each command does to the table file and the
// view, the errors it gives back, and the changes it announces, in the order it announces
// them. No window is involved; the file layer's fault seam makes the writes fail.

#include "document/measurement_document.h"

#include "platform/file_io.h"
#include "store_test_support.h"

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace document::test {
namespace {

using store::Field;
using store::test::Cells;
using Log = std::vector<std::string>;

// Everything the document announces, as short lines.
class Announcements {
public:
    explicit Announcements(MeasurementDocument& d)
    {
        auto add = [this](std::string line) { m_lines.push_back(std::move(line)); };
        using D = MeasurementDocument;
        QObject::connect(&d, &D::opened, &d, [add] { add("opened"); });
        QObject::connect(&d, &D::closed, &d, [add] { add("closed"); });
        QObject::connect(&d, &D::viewReset, &d, [add] { add("reset"); });
        QObject::connect(&d, &D::sortRemoved, &d, [add](const QString& tag) { add("unsorted " + tag.toStdString()); });
        QObject::connect(&d, &D::rowPosted, &d, [add](std::uint32_t, int from, int to) {
            add("posted " + std::to_string(from) + "->" + std::to_string(to));
        });
        QObject::connect(&d, &D::rowsInserted, &d, [add](int first, int last) {
            add("inserted " + std::to_string(first) + "-" + std::to_string(last));
        });
        QObject::connect(&d, &D::rowsRemoved, &d, [add](int first, int last) {
            add("removed " + std::to_string(first) + "-" + std::to_string(last));
        });
        QObject::connect(&d, &D::rowsChanged, &d, [add](int first, int last) {
            add("changed " + std::to_string(first) + "-" + std::to_string(last));
        });
        QObject::connect(&d, &D::changedFlagChanged, &d, [add](bool on) { add(on ? "edited" : "saved"); });
        QObject::connect(&d, &D::editChanged, &d, [add](std::uint32_t rec) { add("buffer " + std::to_string(rec)); });
    }

    // What was announced since the last call.
    Log take() { return std::exchange(m_lines, {}); }

private:
    Log m_lines;
};

// A penetrometer or press row numbered `n`, stamped on the given day.
Cells row(double n, int kind, int day, double p = 10, double r = 0.5, int devType = 4)
{
    return {{Field::N, n},
            {Field::NB_TYPE, double(kind)},
            {Field::DEV_TYPE, double(devType)},
            {Field::DATE, QStringLiteral("%1.03.2024").arg(day, 2, 10, QLatin1Char('0'))},
            {Field::TIME, QStringLiteral("12:00")},
            {Field::P, p},
            {Field::R, r}};
}

// The instrument's memory: the count word, then 29 bytes a test, each stamped on a day of
// March 2024 at noon.
std::vector<std::uint8_t> memoryOf(const std::vector<int>& days)
{
    std::vector<std::uint8_t> b;
    auto word = [&b](unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    word(static_cast<unsigned>(days.size()));
    for (int day : days) {
        for (unsigned w : {101u, 102u, 103u, 104u, 105u, 110u, 1234u, 250u, 87u, 45u, 1u, 125u})
            word(w);
        b.insert(b.end(), {0, 12, static_cast<std::uint8_t>(day), 3, 24});
    }
    return b;
}

store::DownloadedImage image(const std::vector<std::uint8_t>& memory, std::uint8_t devType = 4)
{
    return {std::span(memory.data(), memory.size()), devType, 77};
}

// Installs a fault hook for the life of the object.
class Faults {
public:
    explicit Faults(platform::FaultHook hook) : m_previous(platform::setFaultHook(std::move(hook))) {}
    ~Faults() { platform::setFaultHook(std::move(m_previous)); }

private:
    platform::FaultHook m_previous;
};

// Every write, truncate, sync and rename fails once `allowed` of them have gone through.
platform::FaultHook failingAfter(int allowed)
{
    auto done = std::make_shared<int>(0);
    return [done, allowed](platform::Operation, std::string_view, std::uint64_t, std::size_t) {
        platform::Fault fault;
        fault.fail = (*done)++ >= allowed;
        fault.error = platform::FileError::Code::NoSpace;
        return fault;
    };
}

class Document : public store::test::StoreTest {
protected:
    // A table of these rows, opened by the document; the announcements start afterwards.
    void open(const std::vector<Cells>& rows)
    {
        store::test::createTable(file(), rows);
        m_document.open(file());
        m_log.take();
    }
    QString file() const { return path("site.db"); }

    std::vector<double> numbersInView()
    {
        std::vector<double> out;
        const store::DbfTable& t = m_document.table().table();
        for (std::uint32_t rec : t.view())
            out.push_back(t.real(rec, m_document.table().column(Field::N)).value_or(-1));
        return out;
    }

    // The N column of the table file as a fresh reader sees it, in file order. The document
    // lets the table go first: it holds it exclusively.
    std::vector<double> numbersInFile()
    {
        m_document.close();
        m_log.take();
        store::MeasurementTable t;
        t.open(file());
        std::vector<double> out;
        for (std::uint32_t rec : t.table().view())
            out.push_back(t.table().real(rec, t.column(Field::N)).value_or(-1));
        return out;
    }

    MeasurementDocument m_document;
    Announcements m_log{m_document};
};

// ---- whole tables ------------------------------------------------------------------------------

TEST_F(Document, OpenShowsPressRowsWhenThereAreAny)
{
    struct Case {
        std::vector<int> kinds;
        int kind;
    };
    const Case cases[] = {
        {{0, 1, 0}, store::kPressKind},
        {{0, 0, 0, 1}, store::kPressKind},
        {{1, 1}, store::kPressKind},
        {{0, 0}, store::kPenetrometerKind},
        {{}, store::kPenetrometerKind},
    };
    for (const Case& c : cases) {
        std::vector<Cells> rows;
        for (int kind : c.kinds)
            rows.push_back(row(double(rows.size() + 1), kind, 1));
        store::test::createTable(file(), rows);
        m_document.setChanged(true);
        m_document.open(file());
        EXPECT_TRUE(m_document.isOpen());
        EXPECT_EQ(m_document.path(), file());
        EXPECT_EQ(m_document.kind(), c.kind);
        EXPECT_EQ(m_document.table().table().filter(), store::kindFilter(c.kind));
        EXPECT_EQ(m_document.table().table().recordCount(), std::count(c.kinds.begin(), c.kinds.end(), c.kind));
        EXPECT_FALSE(m_document.isChanged());
        m_document.close();
    }
}

TEST_F(Document, OpenTakesTheInstrumentOfTheTablesFirstRow)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, double>> rows; // kind, DEV_TYPE (NaN: empty)
        int shownBefore; // the kind of the rows of a table opened before; -1: none
        int deviceType;
    };
    const double empty = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"plate test device first", {{0, 13}, {0, 4}}, -1, 13},
        {"penetrometer first", {{0, 4}, {0, 13}}, -1, 4},
        {"low byte of the code", {{0, 256 + 13}}, -1, 13},
        {"empty field", {{0, empty}}, -1, 0},
        {"no rows", {}, -1, 0},
        {"press row first", {{1, 13}, {0, 4}}, -1, 13},
        // Whatever the table before showed: the report must not depend on it.
        {"press row first, after penetrometer tests", {{1, 13}, {0, 4}}, 0, 13},
        {"penetrometer first, after press tests", {{0, 4}, {1, 13}}, 1, 4},
    };
    for (const Case& c : cases) {
        if (c.shownBefore >= 0) {
            store::test::createTable(path("before.db"), {row(1, c.shownBefore, 1, 10, 0.5, 99)});
            m_document.open(path("before.db"));
            ASSERT_EQ(m_document.kind(), c.shownBefore);
            m_document.close();
        }
        std::vector<Cells> rows;
        for (const auto& [kind, type] : c.rows) {
            Cells cells{{Field::NB_TYPE, double(kind)}};
            if (!std::isnan(type))
                cells.push_back({Field::DEV_TYPE, type});
            rows.push_back(cells);
        }
        store::test::createTable(file(), rows);
        m_document.open(file());
        EXPECT_EQ(m_document.deviceType(), c.deviceType) << c.name;
        m_document.close();
    }
}

// The values that are no number are found at open, named as the user finds them: the
// record's number from 1, the field, the text. Rows of the kind not shown count too; a
// number in exponent form is no such value; close and a clean table forget them.
TEST_F(Document, OpenListsTheValuesThatAreNoNumber)
{
    struct Patch {
        std::uint32_t record; // from 0
        Field field;
        std::string text;
    };
    const Patch patches[] = {
        {1, Field::P7, "nan"},
        {2, Field::P, "1.5E+3"},
        {3, Field::K, "1.2.3"},
        {3, Field::U, "inf"},
        {4, Field::R, "1e999"}, // a press row: the view shows penetrometer rows
    };
    store::test::createTable(file(), {row(1, 0, 1), row(2, 0, 2), row(3, 0, 3), row(4, 0, 4), row(5, 1, 5)});
    for (const Patch& p : patches)
        store::test::overwriteField(file(), p.record, store::fieldName(p.field), p.text);
    store::test::createTable(path("clean.db"), {row(1, 0, 1)});

    m_document.open(file());
    std::vector<std::tuple<int, std::string, std::string>> expected;
    for (const Patch& p : patches) {
        if (!store::parseNumeric(p.text))
            expected.emplace_back(static_cast<int>(p.record) + 1, store::fieldName(p.field), p.text);
    }
    std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
        const auto column = [&](const std::string& name) { return m_document.table().table().fieldIndex(name); };
        return std::pair(std::get<0>(a), column(std::get<1>(a))) < std::pair(std::get<0>(b), column(std::get<1>(b)));
    });
    std::vector<std::tuple<int, std::string, std::string>> listed;
    for (const UnreadableValue& v : m_document.unreadableValues())
        listed.emplace_back(v.record, v.field.toStdString(), v.text.toStdString());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(m_document.table().table().real(2, m_document.table().column(Field::P)), 1500.0);

    m_document.close();
    EXPECT_TRUE(m_document.unreadableValues().empty()) << "after close";
    m_document.open(file());
    EXPECT_EQ(m_document.unreadableValues().size(), expected.size()) << "again";
    m_document.open(path("clean.db"));
    EXPECT_TRUE(m_document.unreadableValues().empty()) << "another table";
}

TEST_F(Document, OpenAnnouncesANewViewOnceTheTableIsThere)
{
    store::test::createTable(file(), {row(1, 0, 1)});
    m_document.setChanged(true);
    m_log.take();
    m_document.open(file());
    EXPECT_EQ(m_log.take(), (Log{"saved", "reset", "opened"}));

    // Opening another closes this one first.
    store::test::createTable(path("other.db"), {row(1, 1, 1)});
    m_document.open(path("other.db"));
    EXPECT_EQ(m_log.take(), (Log{"reset", "closed", "reset", "opened"}));
}

TEST_F(Document, OpenRefusesWhatItCannotUseAndStaysClosed)
{
    store::test::createTable(file(), {row(1, 0, 1)});
    store::test::writeBytes(path("junk.db"), "not a table at all");
    struct Case {
        QString path;
        bool locked;
    };
    store::test::TableHeldByChild holder(file());
    ASSERT_TRUE(holder.holding());
    for (const Case& c : {Case{path("junk.db"), false}, Case{file(), true}, Case{path("none.db"), false}}) {
        try {
            m_document.open(c.path);
            ADD_FAILURE() << c.path.toStdString() << " opened";
        } catch (const store::StoreError& error) {
            EXPECT_EQ(error.code() == store::StoreError::Code::Locked, c.locked) << error.what();
        }
        EXPECT_FALSE(m_document.isOpen());
        EXPECT_TRUE(m_document.path().isEmpty());
        EXPECT_EQ(m_log.take(), Log{"reset"}) << "a new (empty) view, and nothing opened";
    }
}

TEST_F(Document, CreateWritesTheDownloadAndRemembersItsInstrument)
{
    const auto memory = memoryOf({1, 2, 3});
    m_document.create(file(), image(memory, 13));
    EXPECT_TRUE(m_document.isOpen());
    EXPECT_EQ(m_document.deviceType(), 13);
    EXPECT_EQ(m_document.kind(), store::kPenetrometerKind);
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(m_log.take(), (Log{"reset", "opened"}));
    m_document.close();
    EXPECT_EQ(numbersInFile(), (std::vector<double>{1, 2, 3}));
}

TEST_F(Document, CreateThatFailsHalfWayKeepsTheRowsWrittenOpen)
{
    const auto memory = memoryOf({1, 2, 3, 4, 5});
    // Creating the file takes a few writes; each row a few more. Somewhere in the rows the
    // disk fills up.
    for (int allowed : {6, 9, 12}) {
        QFile::remove(file());
        {
            Faults faults(failingAfter(allowed));
            EXPECT_THROW(m_document.create(file(), image(memory)), store::StoreError) << allowed;
        }
        ASSERT_TRUE(m_document.isOpen()) << allowed;
        const std::vector<double> shown = numbersInView();
        EXPECT_LT(shown.size(), 5u) << allowed;
        EXPECT_EQ(m_log.take(), (Log{"reset", "opened"})) << allowed;
        EXPECT_EQ(numbersInFile(), shown) << "the view is what the file holds, after " << allowed;
    }
}

TEST_F(Document, AppendAddsTheNewerTestsAtTheEndAndSaves)
{
    open({row(1, 0, 1), row(2, 0, 2)});
    m_document.sort(store::kTab1, m_document.table().column(Field::P), true);
    m_log.take();
    // The first two tests of the memory are stored already.
    const auto memory = memoryOf({1, 2, 3, 4});
    const store::DecodeResult result = m_document.append(image(memory, 9));
    EXPECT_EQ(result.added, 2);
    EXPECT_EQ(m_document.deviceType(), 9);
    EXPECT_EQ(m_log.take(), (Log{"reset", "unsorted tab2", "unsorted tab1", "inserted 2-3"}));
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 2, 3, 4}));

    // Nothing new: nothing announced but the sort resets.
    EXPECT_EQ(m_document.append(image(memory)).added, 0);
    EXPECT_EQ(m_log.take(), (Log{"unsorted tab2", "unsorted tab1"}));
    EXPECT_EQ(numbersInFile(), (std::vector<double>{1, 2, 3, 4})) << "saved";
}

TEST_F(Document, AppendFromThePressTabShowsThePressRowsAgain)
{
    open({row(1, 0, 1), row(2, 1, 2)});
    ASSERT_EQ(m_document.kind(), store::kPressKind);
    const auto memory = memoryOf({1, 5});
    EXPECT_EQ(m_document.append(image(memory)).added, 1);
    EXPECT_EQ(m_document.kind(), store::kPressKind);
    EXPECT_EQ(m_document.table().table().recordCount(), 1);
    const Log log = m_log.take();
    EXPECT_TRUE(log.empty() || log.back() != "inserted 1-1") << "the press view gained no row";
}

TEST_F(Document, CommandsThatCannotTakeTheTableBackCloseItAndSaySo)
{
    struct Case {
        const char* name;
        std::function<void(MeasurementDocument&)> run;
        int added; // for Append: the records that reached the file; -1 otherwise
    };
    const auto memory = memoryOf({5, 6});
    const Case cases[] = {
        {"save", [](MeasurementDocument& d) { d.save(); }, -1},
        {"append", [&memory](MeasurementDocument& d) { d.append(image(memory)); }, 2},
    };
    for (const Case& c : cases) {
        open({row(1, 0, 1), row(2, 0, 2)});
        m_document.setChanged(true);
        m_log.take();
        // The open file stays writable after its name is gone; opening it again fails.
        if (!QFile::remove(file()))
            GTEST_SKIP() << "this system cannot remove a file that is open";
        try {
            c.run(m_document);
            ADD_FAILURE() << c.name << " went through";
        } catch (const AppendNotSavedError& error) {
            EXPECT_EQ(error.added(), c.added) << c.name;
            EXPECT_EQ(error.path(), file());
        } catch (const ReopenError& error) {
            EXPECT_EQ(c.added, -1) << c.name;
            EXPECT_EQ(error.path(), file());
        }
        EXPECT_FALSE(m_document.isOpen()) << c.name;
        EXPECT_FALSE(m_document.isChanged()) << c.name;
        const Log log = m_log.take();
        EXPECT_NE(std::find(log.begin(), log.end(), "closed"), log.end()) << c.name;
    }
}

TEST_F(Document, SaveWritesTheEditAndAnnouncesNoNewView)
{
    open({row(1, 0, 1), row(2, 0, 2)});
    const store::DbfTable& t = m_document.table().table();
    m_document.setCellText(t.recordAt(1), m_document.table().column(Field::N), QStringLiteral("7"));
    m_document.setChanged(true);
    m_log.take();
    m_document.save();
    EXPECT_EQ(m_log.take(), (Log{"posted 1->1", "saved"}));
    EXPECT_EQ(t.position(), 1) << "the table's row stays";
    EXPECT_EQ(numbersInFile(), (std::vector<double>{1, 7}));
}

TEST_F(Document, CloseForgetsTheTableAndItsEdits)
{
    open({row(1, 0, 1)});
    m_document.setCellText(0, m_document.table().column(Field::N), QStringLiteral("9"));
    m_document.setChanged(true);
    m_log.take();
    m_document.close();
    EXPECT_FALSE(m_document.isOpen());
    EXPECT_EQ(m_log.take(), (Log{"buffer 0", "saved", "reset", "closed"}));
    EXPECT_EQ(numbersInFile(), (std::vector<double>{1})) << "closing does not save";
    m_document.close();
    EXPECT_EQ(m_log.take(), Log{"reset"});
}

// ---- the view ----------------------------------------------------------------------------------

TEST_F(Document, ANewViewIsAnnouncedOnlyWhenTheRowsShownChange)
{
    open({row(1, 0, 1, 30), row(2, 0, 2, 10), row(3, 1, 3)});
    m_document.showKind(store::kPressKind);
    EXPECT_EQ(m_log.take(), Log{}) << "already shown";
    m_document.showKind(store::kPenetrometerKind);
    EXPECT_EQ(m_log.take(), Log{"reset"});
    m_document.sort(store::kTab1, m_document.table().column(Field::P), false);
    EXPECT_EQ(m_log.take(), Log{"reset"});
    EXPECT_EQ(numbersInView(), (std::vector<double>{2, 1}));
    m_document.unsort(store::kTab1);
    EXPECT_EQ(m_log.take(), (Log{"reset", "unsorted tab1"}));
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 2}));
    // No tag to remove is no error: the question is asked, not caught.
    m_document.unsort(store::kTab2);
    EXPECT_EQ(m_log.take(), Log{"unsorted tab2"});
}

TEST_F(Document, ASortResetThatCannotWriteTheEditedRowSaysSo)
{
    open({row(1, 0, 1), row(2, 0, 2)});
    m_document.sort(store::kTab1, m_document.table().column(Field::P), true);
    m_document.setCellText(0, m_document.table().column(Field::N), QStringLiteral("5"));
    m_log.take();
    {
        Faults faults(failingAfter(0));
        EXPECT_THROW(m_document.unsort(store::kTab1), store::StoreError);
    }
    EXPECT_EQ(m_log.take(), Log{}) << "nothing changed";
    EXPECT_EQ(m_document.table().table().indexName(), store::kTab1) << "still sorted";
    m_document.unsort(store::kTab1);
    EXPECT_EQ(numbersInFile(), (std::vector<double>{5, 2}));
}

// ---- rows --------------------------------------------------------------------------------------

TEST_F(Document, APostedRowIsAnnouncedWithWhereItStoodAndWhereItStandsNow)
{
    struct Case {
        const char* name;
        bool sortedByP;
        int row; // in the view; -1: the press row, which the view does not show; -2: a new row
        std::pair<Field, double> cell;
        std::string announced;
    };
    const Case cases[] = {
        {"file order", false, 1, {Field::P, 99.0}, "posted 1->1"},
        {"moved by the sort", true, 0, {Field::P, 99.0}, "posted 0->2"},
        {"moved to the front", true, 2, {Field::P, 1.0}, "posted 2->0"},
        {"another kind now", false, 1, {Field::NB_TYPE, 1.0}, "posted 1->-1"},
        {"a row of the other kind joins the view", false, -1, {Field::NB_TYPE, 0.0}, "posted -1->3"},
        {"a new row", false, -2, {Field::NB_TYPE, 0.0}, "posted -1->3"},
        {"a new row of the other kind", false, -2, {Field::NB_TYPE, 1.0}, "posted -1->-1"},
    };
    for (const Case& c : cases) {
        open({row(1, 0, 1, 10), row(2, 0, 2, 20), row(3, 0, 3, 30), row(4, 1, 4, 40)});
        m_document.showKind(store::kPenetrometerKind);
        if (c.sortedByP)
            m_document.sort(store::kTab1, m_document.table().column(Field::P), false);
        const store::DbfTable& t = m_document.table().table();
        const std::uint32_t record = c.row == -2 ? m_document.beginNewRow() : c.row < 0 ? 3 : t.recordAt(c.row);
        m_document.setCellText(record, m_document.table().column(c.cell.first), QString::number(c.cell.second));
        m_log.take();
        m_document.post();
        // A posted row is a change of the table.
        EXPECT_EQ(m_log.take(), (Log{c.announced, "edited"})) << c.name;
        m_document.post();
        EXPECT_EQ(m_log.take(), Log{}) << c.name << ": nothing left to post";
        m_document.close();
    }
}

// One row is edited at a time, through the document: what each step leaves in the row's
// buffer, in the file and in what the user is told when the table would not take a text.
TEST_F(Document, CellEditsGoThroughTheDocument)
{
    enum class Op { Set, Begin, Cancel, Post };
    struct Step {
        Op op;
        std::uint32_t record = 0;
        Field field = Field::COMMENT;
        QString text = {};
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<QString> refusals;           // in the order given
        std::optional<std::uint32_t> editing;    // the record still being edited at the end
        QString buffered;                        // its COMMENT as the row shows it
        Log announced;
        std::vector<QString> commentsInFile;     // after the steps (closing drops an open edit)
        std::vector<double> pInFile;
    };
    const QString point = QLocale().decimalPoint();
    const auto set = [](std::uint32_t rec, Field f, const char* text) { return Step{Op::Set, rec, f, QString::fromUtf8(text)}; };
    const Step cancel{Op::Cancel};
    const Step post{Op::Post};
    const std::vector<QString> untouched{"a", "b", "c"};
    const Case cases[] = {
        {"a cell set is held in the row, not written",
         {set(0, Field::COMMENT, "Песок")}, {}, 0, "Песок", {"buffer 0"}, untouched, {10, 20, 30}},
        {"cancel drops the edit",
         {set(0, Field::COMMENT, "Песок"), cancel}, {}, std::nullopt, {}, {"buffer 0", "buffer 0"}, untouched, {10, 20, 30}},
        {"post writes it",
         {set(1, Field::COMMENT, "Песок"), set(1, Field::P, "25.5"), post}, {}, std::nullopt, {},
         {"buffer 1", "buffer 1", "posted 1->1", "edited"}, {"a", "Песок", "c"}, {10, 25.5, 30}},
        {"editing another row posts the one left",
         {set(0, Field::COMMENT, "x"), set(2, Field::COMMENT, "y")}, {}, 2, "y",
         {"buffer 0", "posted 0->0", "edited", "buffer 2"}, {"x", "b", "c"}, {10, 20, 30}},
        {"opening another row posts the one left",
         {set(0, Field::COMMENT, "x"), Step{Op::Begin, 1}}, {}, 1, "b", {"buffer 0", "posted 0->0", "edited"},
         {"x", "b", "c"}, {10, 20, 30}},
        {"opening the row edited keeps its edits",
         {set(0, Field::COMMENT, "x"), Step{Op::Begin, 0}}, {}, 0, "x", {"buffer 0"}, untouched, {10, 20, 30}},
        {"a text the code page cannot hold is refused; the record is left as it was",
         {set(1, Field::COMMENT, "Sand α, α и 😀")},
         {QStringLiteral("Текст не записан: в кодировке Windows-1251, в которой хранится таблица, нет знаков "
                         "«α», «😀». Замените их и введите текст снова.")},
         std::nullopt, {}, {}, untouched, {10, 20, 30}},
        {"a refused text keeps the other edits of the row",
         {set(1, Field::COMMENT, "x"), set(1, Field::COMMENT, "β"), post},
         {QStringLiteral("Текст не записан: в кодировке Windows-1251, в которой хранится таблица, нет знаков "
                         "«β». Замените их и введите текст снова.")},
         std::nullopt, {}, {"buffer 1", "posted 1->1", "edited"}, {"a", "x", "c"}, {10, 20, 30}},
        {"no number for a numeric field",
         {set(2, Field::P, " 12,5x ")},
         {QStringLiteral("«12,5x» не является числом. Введите число, например 12%15.").arg(point)},
         std::nullopt, {}, {}, untouched, {10, 20, 30}},
        {"a text wider than its field",
         {set(0, Field::COMMENT, std::string(101, 'w').c_str())},
         {QStringLiteral("Текст длиннее поля COMMENT (100 знаков)")}, std::nullopt, {}, {}, untouched, {10, 20, 30}},
    };
    for (const Case& c : cases) {
        std::vector<Cells> rows;
        for (int n = 1; n <= 3; ++n) {
            rows.push_back(row(n, 0, n, 10.0 * n));
            rows.back().push_back({Field::COMMENT, QString(QChar(u'a' + n - 1))});
        }
        open(rows);
        const store::MeasurementTable& table = m_document.table();
        std::vector<QString> refusals;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case Op::Set:
                try {
                    m_document.setCellText(step.record, table.column(step.field), step.text);
                } catch (const CellRefused& refused) {
                    refusals.push_back(QString::fromUtf8(refused.what()));
                }
                break;
            case Op::Begin: m_document.beginEdit(step.record); break;
            case Op::Cancel: m_document.cancelEdit(); break;
            case Op::Post: m_document.post(); break;
            }
        }
        EXPECT_EQ(refusals, c.refusals) << c.name;
        EXPECT_EQ(m_document.editedRecord(), c.editing) << c.name;
        EXPECT_EQ(m_document.isEditing(), c.editing.has_value()) << c.name;
        if (c.editing) {
            EXPECT_EQ(table.text(Field::COMMENT).trimmed(), c.buffered) << c.name << ": the row shows its buffer";
        }
        EXPECT_EQ(m_log.take(), c.announced) << c.name;

        m_document.close();
        m_log.take();
        store::MeasurementTable file;
        file.open(this->file());
        std::vector<QString> comments;
        std::vector<double> p;
        for (std::uint32_t rec : file.table().view()) {
            comments.push_back(file.table().text(rec, file.column(Field::COMMENT)).trimmed());
            p.push_back(file.table().real(rec, file.column(Field::P)).value_or(-1));
        }
        EXPECT_EQ(comments, c.commentsInFile) << c.name;
        EXPECT_EQ(p, c.pInFile) << c.name;
    }
}

TEST_F(Document, AnEditNeedsAnOpenTableAndALiveRecord)
{
    EXPECT_THROW(m_document.beginEdit(0), store::StoreError) << "no table";
    open({row(1, 0, 1)});
    EXPECT_THROW(m_document.setCellText(5, m_document.table().column(Field::N), QStringLiteral("2")), store::StoreError);
    EXPECT_FALSE(m_document.isEditing());
    EXPECT_EQ(m_log.take(), Log{});
}

TEST_F(Document, DeletedRowsAreAnnouncedRunByRunFromTheLast)
{
    open({row(1, 0, 1), row(2, 0, 2), row(3, 0, 3), row(4, 1, 4), row(5, 0, 5), row(6, 0, 6)});
    m_document.showKind(store::kPenetrometerKind);
    m_document.setChanged(true);
    const store::DbfTable& t = m_document.table().table();
    // Rows 2, 3 and 6 of the view: records 1, 2 and 5 (the press row is record 3).
    const std::vector<std::uint32_t> records{t.recordAt(4), t.recordAt(1), t.recordAt(2)};
    m_log.take();
    m_document.deleteRecords(records);
    EXPECT_EQ(m_log.take(), (Log{"unsorted tab2", "unsorted tab1", "removed 4-4", "removed 1-2"}));
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 5}));
    EXPECT_TRUE(m_document.isChanged());
    // Marked deleted while the table is open; gone from the file when it is closed.
    EXPECT_EQ(t.physicalCount(), 6u);
    EXPECT_EQ(numbersInFile(), (std::vector<double>{1, 4, 5}));
    store::MeasurementTable closed;
    closed.open(file());
    EXPECT_EQ(closed.table().physicalCount(), 3u);
}

// The rows are marked deleted in one change of the file. A write that fails at any of its
// steps leaves every row in place, in the file and in the view, and nothing to undo. When
// even putting the file back fails, the view is what the file holds.
TEST_F(Document, ADeletionThatCannotWriteDeletesNothing)
{
    for (int failing : {0, 1, 2}) {
        for (const bool onlyThatWrite : {true, false}) {
            open({row(1, 0, 1), row(2, 0, 2), row(3, 0, 3)});
            const store::DbfTable& t = m_document.table().table();
            {
                auto done = std::make_shared<int>(0);
                Faults faults([done, failing, onlyThatWrite](platform::Operation, std::string_view, std::uint64_t,
                                                             std::size_t) {
                    platform::Fault fault;
                    const int at = (*done)++;
                    fault.fail = onlyThatWrite ? at == failing : at >= failing;
                    fault.error = platform::FileError::Code::NoSpace;
                    return fault;
                });
                EXPECT_THROW(m_document.deleteRecords({t.recordAt(0), t.recordAt(2)}), store::StoreError) << failing;
            }
            EXPECT_TRUE(m_document.isOpen()) << failing;
            EXPECT_FALSE(m_document.canUndo()) << failing;
            const std::vector<double> shown = numbersInView();
            const std::vector<double> inFile = numbersInFile();
            EXPECT_EQ(shown, inFile) << failing;
            if (onlyThatWrite)
                EXPECT_EQ(inFile, (std::vector<double>{1, 2, 3})) << failing;
            m_log.take();
        }
    }
}

TEST_F(Document, RenumberNumbersTheRowsAsShown)
{
    open({row(5, 0, 1, 30), row(9, 0, 2, 10), row(7, 0, 3, 20)});
    m_document.renumber();
    EXPECT_EQ(m_log.take(), (Log{"edited", "changed 0-2"})) << "same rows, same order";
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 2, 3}));

    // Sorted by P: numbered as shown. Sorted by N, descending: the new numbers turn the
    // order round, so the view is new.
    m_document.sort(store::kTab1, m_document.table().column(Field::P), false);
    m_log.take();
    m_document.renumber();
    EXPECT_EQ(m_log.take(), Log{"changed 0-2"});
    EXPECT_EQ(numbersInView(), (std::vector<double>{1, 2, 3}));
    m_document.sort(store::kTab1, m_document.table().column(Field::N), true);
    m_log.take();
    m_document.renumber();
    EXPECT_EQ(m_log.take(), Log{"reset"});
    EXPECT_EQ(numbersInView(), (std::vector<double>{3, 2, 1}));
}

TEST_F(Document, TheSummaryWalksWithACursorOfItsOwn)
{
    open({row(1, 0, 1, 10, 1), row(2, 0, 2, 20, 2), row(3, 0, 3, 40, 4)});
    const store::DbfTable& t = m_document.table().table();
    m_document.beginEdit(t.recordAt(1));
    const store::TableSummary s = m_document.summary();
    EXPECT_EQ(s.p_min, 10);
    EXPECT_NEAR(s.p_avg, 23.3, 1e-9);
    EXPECT_EQ(s.p_max, 40);
    EXPECT_EQ(s.r_max, 4);
    EXPECT_EQ(t.position(), 1);
    EXPECT_EQ(m_document.editedRecord(), t.recordAt(1)) << "the edit stays open";
}

TEST_F(Document, TheChangedFlagIsAnnouncedWhenItFlips)
{
    open({row(1, 0, 1)});
    m_document.setChanged(true);
    m_document.setChanged(true);
    EXPECT_EQ(m_log.take(), Log{"edited"});
    m_document.save();
    EXPECT_EQ(m_log.take(), Log{"saved"});
}

// ---- undo ---------------------------------------------------------------------------------------

// The bytes of the file, or of its counted records (after the header), as they stand on the
// disk, the records marked deleted included. While the document holds the table they are read
// through its own open (on Windows no other open may read it), once it is closed by name.
QByteArray fileBytes(const document::MeasurementDocument& document, const QString& path)
{
    if (document.isOpen()) {
        const std::string bytes = document.table().table().fileBytes();
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QByteArray recordBytes(const document::MeasurementDocument& document, const QString& path)
{
    const QByteArray bytes = fileBytes(document, path);
    if (bytes.size() < 32)
        return {};
    const auto byte = [&bytes](int i) { return std::uint32_t(static_cast<unsigned char>(bytes[i])); };
    const std::uint32_t count = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    const std::uint32_t headerLength = byte(8) | byte(9) << 8;
    const std::uint32_t recordLength = byte(10) | byte(11) << 8;
    return bytes.mid(qsizetype(headerLength), qsizetype(count) * qsizetype(recordLength));
}
// Without the header's date of the last change (bytes 1 to 3), which every write stamps.
QByteArray undated(QByteArray bytes)
{
    if (bytes.size() >= 4)
        bytes.replace(1, 3, "___");
    return bytes;
}

TEST_F(Document, EveryChangeIsUndoneAndRedoneInTheFile)
{
    struct Case {
        const char* name;
        std::function<void(MeasurementDocument&)> change;
        QString named; // after "Отменить"
        bool addsARecord;
    };
    const auto comment = [](MeasurementDocument& d) {
        d.setCellText(d.table().table().recordAt(1), d.table().column(Field::COMMENT), QStringLiteral("Песок"));
        d.setCellText(d.table().table().recordAt(1), d.table().column(Field::P), QStringLiteral("25"));
        d.post();
    };
    const auto newRow = [](MeasurementDocument& d) {
        const std::uint32_t rec = d.beginNewRow();
        d.setCellText(rec, d.table().column(Field::N), QStringLiteral("9"));
        d.post();
    };
    const auto deleteSorted = [](MeasurementDocument& d) {
        d.sort(store::kTab1, d.table().column(Field::P), true);
        const store::DbfTable& t = d.table().table();
        d.deleteRecords({t.recordAt(0), t.recordAt(2)});
    };
    const auto renumberSorted = [](MeasurementDocument& d) {
        d.sort(store::kTab1, d.table().column(Field::P), false);
        d.renumber();
    };
    const Case cases[] = {
        {"a cell edit", comment, QStringLiteral("изменение строки"), false},
        {"a new row", newRow, QStringLiteral("добавление строки"), true},
        {"two rows deleted from a sorted view", deleteSorted, QStringLiteral("удаление 2 строк"), false},
        {"renumbering a sorted view", renumberSorted, QStringLiteral("перенумерацию строк"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open({row(5, 0, 1, 30), row(9, 0, 2, 10), row(7, 0, 3, 20), row(2, 1, 4, 40)});
        m_document.showKind(store::kPenetrometerKind);
        const QByteArray original = recordBytes(m_document, file());
        const std::vector<double> shownBefore = numbersInView();
        EXPECT_FALSE(m_document.canUndo());
        c.change(m_document);
        const QByteArray changed = recordBytes(m_document, file());
        const std::vector<double> shownChanged = numbersInView();
        ASSERT_NE(changed, original);
        EXPECT_TRUE(m_document.isChanged());
        ASSERT_TRUE(m_document.canUndo());
        EXPECT_EQ(m_document.undoName(), c.named);

        m_document.undo();
        const QByteArray undone = recordBytes(m_document, file());
        if (c.addsARecord) {
            // The new record stays in the file, marked deleted.
            ASSERT_EQ(undone.size(), changed.size());
            EXPECT_EQ(undone.left(original.size()), original);
            EXPECT_EQ(undone[original.size()], '*');
        } else {
            EXPECT_EQ(undone, original);
        }
        EXPECT_FALSE(m_document.isChanged()) << "back where the file was opened";
        EXPECT_FALSE(m_document.canUndo());
        EXPECT_EQ(m_document.redoName(), c.named);
        m_document.unsortAll();
        EXPECT_EQ(numbersInView(), shownBefore);

        m_document.redo();
        EXPECT_EQ(recordBytes(m_document, file()), changed);
        EXPECT_TRUE(m_document.isChanged());
        EXPECT_FALSE(m_document.canRedo());
        m_document.unsortAll();
        std::vector<double> shownRedone = numbersInView();
        std::vector<double> expected = shownChanged;
        std::sort(shownRedone.begin(), shownRedone.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shownRedone, expected);
        m_document.close();
    }
}

// Deleted rows stay in the file, marked, until the table is closed: an undo after a save
// brings back the very records, and the file closes as it was opened.
TEST_F(Document, ADeletionUndoneAfterASaveLeavesTheFileAsItWas)
{
    open({row(1, 0, 1, 30), row(2, 0, 2, 10), row(3, 0, 3, 20), row(4, 1, 4, 40)});
    const QByteArray original = undated(fileBytes(m_document, file()));
    const store::DbfTable& t = m_document.table().table();
    m_document.showKind(store::kPenetrometerKind);
    m_document.deleteRecords({t.recordAt(0), t.recordAt(1)});
    m_document.save();
    EXPECT_FALSE(m_document.isChanged());
    EXPECT_EQ(m_document.undoName(), QStringLiteral("удаление 2 строк"));
    m_document.undo();
    EXPECT_TRUE(m_document.isChanged()) << "the saved file had them deleted";
    m_document.save();
    m_document.close();
    EXPECT_EQ(undated(fileBytes(m_document, file())), original);
}

// «Нет» to saving: the table goes back to what the file held at the last save, whatever was
// done, undone and done again since.
TEST_F(Document, RevertingGoesBackToTheLastSave)
{
    struct Case {
        const char* name;
        std::function<void(MeasurementDocument&)> afterSave;
    };
    const auto edit = [](MeasurementDocument& d, int row, const char* n) {
        d.setCellText(d.table().table().recordAt(row), d.table().column(Field::N), QString::fromLatin1(n));
        d.post();
    };
    const Case cases[] = {
        {"changes after the save", [&](MeasurementDocument& d) {
             edit(d, 0, "11");
             d.deleteRecords({d.table().table().recordAt(1)});
             d.renumber();
         }},
        {"undone past the save", [&](MeasurementDocument& d) {
             d.undo();
             d.undo();
         }},
        {"undone past the save, then changed", [&](MeasurementDocument& d) {
             d.undo();
             d.undo();
             edit(d, 2, "77");
             d.undo();
             d.undo();
             edit(d, 1, "88");
         }},
        {"a row being edited", [&](MeasurementDocument& d) {
             d.setCellText(d.table().table().recordAt(0), d.table().column(Field::N), QStringLiteral("5"));
         }},
        {"nothing", [](MeasurementDocument&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open({row(1, 0, 1), row(2, 0, 2), row(3, 0, 3)});
        edit(m_document, 0, "21");
        edit(m_document, 2, "23");
        m_document.save();
        const QByteArray saved = recordBytes(m_document, file());
        c.afterSave(m_document);
        m_document.revertToSaved();
        EXPECT_EQ(recordBytes(m_document, file()), saved);
        EXPECT_FALSE(m_document.isChanged());
        EXPECT_EQ(numbersInView(), (std::vector<double>{21, 2, 23}));
        m_document.close();
    }
}

} // namespace
} // namespace document::test
