// What makes two rows one test in the archive, and what adding a table again does.

#include "archive_test_support.h"

#include "archive/archive_error.h"
#include "store/measurement_table.h"

#include <QFile>

#include <functional>

namespace archive::test {
namespace {

using store::Field;
using store::test::StoreTest;
using store::test::createTable;

// Two penetrometer tests of instrument 1234, N 1 and 2.
std::vector<Cells> firstRows()
{
    return {penetrometerRow(1, QStringLiteral("10:00")), penetrometerRow(2, QStringLiteral("10:05"), 1234, 7)};
}

void setCell(Cells& row, Field field, store::test::Cell value)
{
    for (auto& [f, v] : row)
        if (f == field) {
            v = value;
            return;
        }
    row.push_back({field, value});
}

struct SecondAdd {
    const char* name;
    bool sameFile; // the first table changed and added again, or a second table beside it
    std::function<void(std::vector<Cells>&)> change;
    AddResult result; // of the second add (tests, added, updated, gone)
    Counts after;
    const char* loggedField; // the change log's field, or nullptr
};

class SecondAddTest : public StoreTest, public ::testing::WithParamInterface<SecondAdd> {};

TEST_P(SecondAddTest, FollowsTheIdentityRule)
{
    const SecondAdd& c = GetParam();
    const QString first = path(QStringLiteral("участок 1.db"));
    const QString second = c.sameFile ? first : path(QStringLiteral("участок 1 копия.db"));
    createTable(first, firstRows());
    Archive archive(path(QStringLiteral("archive.sqlite")));
    const AddResult once = archive.addTableFile(first);
    EXPECT_EQ(once.tests, 2);
    EXPECT_EQ(once.added, 2);

    std::vector<Cells> rows = firstRows();
    c.change(rows);
    if (c.sameFile)
        QFile::remove(first);
    createTable(second, rows);
    const AddResult twice = archive.addTableFile(second);
    EXPECT_EQ(twice.tests, c.result.tests);
    EXPECT_EQ(twice.added, c.result.added);
    EXPECT_EQ(twice.updated, c.result.updated);
    EXPECT_EQ(twice.gone, c.result.gone);
    EXPECT_EQ(counts(archive), c.after);
    if (c.loggedField)
        EXPECT_EQ(scalar(archive, QStringLiteral("SELECT field FROM changes")).toString(), QLatin1String(c.loggedField));

    // Adding the same file once more changes nothing at all.
    const AddResult again = archive.addTableFile(second);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.updated, 0);
    EXPECT_EQ(again.gone, 0);
    EXPECT_EQ(counts(archive), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecondAddTest,
    ::testing::Values(
        SecondAdd{"SameTableAgain", true, [](std::vector<Cells>&) {}, {2, 0, 0, 0}, {2, 2, 0, 0}, nullptr},
        SecondAdd{"SameTestsInAnotherTable", false, [](std::vector<Cells>&) {}, {2, 0, 0, 0}, {2, 4, 0, 0}, nullptr},
        SecondAdd{"Renumbered",
                  true,
                  [](std::vector<Cells>& rows) {
                      setCell(rows[0], Field::N, 2.0);
                      setCell(rows[1], Field::N, 1.0);
                  },
                  {2, 0, 0, 0},
                  {2, 2, 0, 0},
                  nullptr},
        SecondAdd{"CommentEdited",
                  true,
                  [](std::vector<Cells>& rows) { setCell(rows[0], Field::COMMENT, QStringLiteral("суглинок")); },
                  {2, 0, 1, 0},
                  {2, 2, 0, 1},
                  "COMMENT"},
        SecondAdd{"CommentEditedInAnotherTable",
                  false,
                  [](std::vector<Cells>& rows) { setCell(rows[1], Field::COMMENT, QStringLiteral("щебень")); },
                  {2, 0, 1, 0},
                  {2, 4, 0, 1},
                  "COMMENT"},
        SecondAdd{"ForceEdited",
                  true,
                  [](std::vector<Cells>& rows) { setCell(rows[0], Field::P3, 333.0); },
                  {2, 1, 0, 1},
                  {3, 2, 1, 0},
                  nullptr},
        SecondAdd{"AnotherSerial",
                  true,
                  [](std::vector<Cells>& rows) { setCell(rows[1], Field::SERIAL, 4321.0); },
                  {2, 1, 0, 1},
                  {3, 2, 1, 0},
                  nullptr},
        SecondAdd{"RowDeleted",
                  true,
                  [](std::vector<Cells>& rows) { rows.pop_back(); },
                  {1, 0, 0, 1},
                  {2, 1, 1, 0},
                  nullptr},
        SecondAdd{"KValueEditedAsNumber",
                  true,
                  [](std::vector<Cells>& rows) { setCell(rows[0], Field::P7, 0.9); },
                  {2, 0, 1, 0},
                  {2, 2, 0, 1},
                  "P7"}),
    [](const ::testing::TestParamInfo<SecondAdd>& info) { return std::string(info.param.name); });

using ArchiveContents = StoreTest;

TEST_F(ArchiveContents, KeepsEveryFieldTheKindTheSourceAndTheRecord)
{
    const QString table = path(QStringLiteral("смешанная.db"));
    Cells press = pressRow(3, QStringLiteral("11:00"));
    setCell(press, Field::T, QStringLiteral("штамп 30 см"));
    createTable(table, {penetrometerRow(1, QStringLiteral("10:00")), press});
    Archive archive(path(QStringLiteral("archive.sqlite")));
    archive.addTableFile(table);

    EXPECT_EQ(count(archive, QStringLiteral("SELECT COUNT(*) FROM tests WHERE kind = 1")), 1);
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT f_t FROM tests WHERE kind = 1")).toString(),
              QStringLiteral("штамп 30 см"));
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT test_day FROM tests WHERE kind = 1")).toString(),
              QStringLiteral("2026-05-02"));
    EXPECT_DOUBLE_EQ(scalar(archive, QStringLiteral("SELECT f_p5 FROM tests WHERE kind = 0")).toDouble(), 500.0);
    // A blank field is no value, not 0.
    EXPECT_TRUE(scalar(archive, QStringLiteral("SELECT f_h FROM tests WHERE kind = 0")).isNull());
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT record FROM placements p JOIN tests t ON t.id = p.test_id "
                                             "WHERE t.kind = 1"))
                  .toInt(),
              1);
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT path FROM sources")).toString(), sourceName(table));
}

TEST_F(ArchiveContents, AddingNeverChangesTheTableFile)
{
    const QString table = path(QStringLiteral("t.db"));
    createTable(table, firstRows());
    const std::string before = store::test::readBytes(table);
    Archive archive(path(QStringLiteral("archive.sqlite")));
    SiteAssignment site;
    site.object = QStringLiteral("М-4 «Дон»");
    archive.addTableFile(table, site);
    archive.addTableFile(table);
    EXPECT_TRUE(store::test::readBytes(table) == before) << "the table changed";
}

TEST_F(ArchiveContents, SiteGivenOnAddingIsSetAndItsChangeLogged)
{
    const QString table = path(QStringLiteral("t.db"));
    createTable(table, firstRows());
    Archive archive(path(QStringLiteral("archive.sqlite")));
    SiteAssignment site;
    site.object = QStringLiteral("Объект'); DROP TABLE tests; --");
    site.layer = QStringLiteral("песок");
    archive.addTableFile(table, site);
    EXPECT_EQ(count(archive, QStringLiteral("SELECT COUNT(*) FROM tests WHERE site_layer = 'песок'")), 2);
    // The quote is data, bound as a value: the tests table is still there.
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT DISTINCT site_object FROM tests")).toString(), *site.object);
    EXPECT_EQ(counts(archive).changes, 0);

    site.layer = QStringLiteral("щебень");
    const AddResult again = archive.addTableFile(table, site);
    EXPECT_EQ(again.updated, 2);
    EXPECT_EQ(count(archive, QStringLiteral("SELECT COUNT(*) FROM changes WHERE field = 'site_layer' AND "
                                            "old_value = 'песок' AND new_value = 'щебень'")),
              2);
}

TEST_F(ArchiveContents, SameTestTwiceInOneTableIsOneTestAtItsFirstRecord)
{
    const QString table = path(QStringLiteral("t.db"));
    Cells row = penetrometerRow(1, QStringLiteral("10:00"));
    Cells copy = row;
    setCell(copy, Field::N, 2.0);
    createTable(table, {row, copy});
    Archive archive(path(QStringLiteral("archive.sqlite")));
    const AddResult added = archive.addTableFile(table);
    EXPECT_EQ(added.tests, 2);
    EXPECT_EQ(added.added, 1);
    EXPECT_EQ(counts(archive), (Counts{1, 1, 0, 0}));
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT record FROM placements")).toInt(), 0);
}

TEST_F(ArchiveContents, AssigningASiteLogsEachPartThatChanges)
{
    const QString table = path(QStringLiteral("t.db"));
    createTable(table, firstRows());
    Archive archive(path(QStringLiteral("archive.sqlite")));
    archive.addTableFile(table);
    const qint64 first = count(archive, QStringLiteral("SELECT MIN(id) FROM tests"));
    SiteAssignment site;
    site.object = QStringLiteral("Обход г. Тверь");
    site.setChainage = true;
    site.chainage = 1235.0;
    archive.assignSite({first}, site, QStringLiteral("Отнести к"));
    EXPECT_DOUBLE_EQ(scalar(archive, QStringLiteral("SELECT site_chainage FROM tests WHERE id = %1").arg(first)).toDouble(),
                     1235.0);
    EXPECT_EQ(count(archive, QStringLiteral("SELECT COUNT(*) FROM changes WHERE test_id = %1").arg(first)), 2);
    EXPECT_EQ(scalar(archive, QStringLiteral("SELECT new_value FROM changes WHERE field = 'site_chainage'")).toString(),
              QStringLiteral("1235"));
    // The same again is no change.
    archive.assignSite({first}, site, QStringLiteral("Отнести к"));
    EXPECT_EQ(counts(archive).changes, 2);
}

TEST(TestIdentity, DependsOnTheMeasurementOnly)
{
    TestValues a;
    a.numbers[std::size_t(Field::DEV_TYPE)] = 5;
    a.numbers[std::size_t(Field::SERIAL)] = 1234;
    a.numbers[std::size_t(Field::NB_TYPE)] = 0;
    a.texts[std::size_t(Field::DATE)] = QStringLiteral("01.05.2026");
    a.texts[std::size_t(Field::TIME)] = QStringLiteral("10:00");
    a.numbers[std::size_t(Field::P1)] = 100;
    TestValues b = a;
    b.numbers[std::size_t(Field::N)] = 7;
    b.texts[std::size_t(Field::COMMENT)] = QStringLiteral("другое");
    EXPECT_EQ(identityOf(a), identityOf(b));
    // -0 and 0, 100 and 100.000000000 are the same number.
    b.numbers[std::size_t(Field::P1)] = 100.000000000;
    EXPECT_EQ(identityOf(a), identityOf(b));
    TestValues c = a;
    c.numbers[std::size_t(Field::P2)] = 0.0;
    EXPECT_NE(identityOf(a), identityOf(c)); // a force of 0 is not a blank one
    // A separator inside a text cannot make two rows one.
    TestValues d = a;
    d.texts[std::size_t(Field::DATE)] = QStringLiteral("01.05.2026|10:00");
    d.texts[std::size_t(Field::TIME)] = QString();
    TestValues e = a;
    e.texts[std::size_t(Field::DATE)] = QStringLiteral("01.05.2026");
    e.texts[std::size_t(Field::TIME)] = QStringLiteral("10:00|");
    EXPECT_NE(identityOf(d), identityOf(e));
}

} // namespace
} // namespace archive::test
