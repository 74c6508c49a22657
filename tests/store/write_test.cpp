// Writes that reach the file: deletion, pack, the production index reference, and rows that
// survive the process being killed right after a post.

#include "store_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace store::test {
namespace {

using Numbers = std::vector<std::optional<double>>;

constexpr std::size_t kCountAt = 4;
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kProductionIndexAt = 28;
constexpr std::size_t kDescriptorsAt = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kIndexFlagInDescriptor = 31;
constexpr std::size_t kRecordLength = 465;

Cells withP(double p) { return {{Field::P, p}, {Field::NB_TYPE, 0.0}}; }

void goToP(MeasurementTable& t, double p)
{
    for (t.table().first(); !t.table().eof(); t.table().next())
        if (t.real(Field::P) == p)
            return;
    FAIL() << "no row with P " << p;
}

char deletionFlag(const std::string& file, std::uint32_t rec)
{
    return file.at(u16At(file, kHeaderLengthAt) + rec * kRecordLength);
}

using Deletion = StoreTest;

TEST_F(Deletion, ADeletedRowIsHiddenAtOnceAndInTheFile)
{
    const QString file = path("del.db");
    createTable(file, {withP(1), withP(2), withP(3)});
    {
        MeasurementTable t;
        t.open(file);
        goToP(t, 2);
        t.table().deleteRecord();
        EXPECT_EQ(t.table().recordCount(), 2);
        EXPECT_EQ(t.table().physicalCount(), 3u);
        EXPECT_TRUE(t.table().isDeleted(1));
        EXPECT_EQ(t.real(Field::P), 3.0) << "the cursor moves to the row that took its place";
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3}));
        const std::string b = t.table().fileBytes();
        EXPECT_EQ(deletionFlag(b, 0), ' ');
        EXPECT_EQ(deletionFlag(b, 1), '*') << "written while the table is still open";
        EXPECT_EQ(deletionFlag(b, 2), ' ');
    }
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3}));
    EXPECT_EQ(t.table().physicalCount(), 3u);
}

TEST_F(Deletion, DeletingInASortedViewDropsTheRowFromEveryTag)
{
    const QString file = path("del.db");
    createTable(file, {withP(3), withP(1), withP(2)});
    MeasurementTable t;
    t.open(file);
    t.addSortTag(kTab1, Field::P, false);
    t.addSortTag(kTab2, Field::P, true);
    t.table().setIndexName(kTab1);
    goToP(t, 2);
    t.table().deleteRecord();
    EXPECT_EQ(t.real(Field::P), 3.0);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3}));
    t.table().setIndexName(kTab2);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{3, 1}));
    t.table().last();
    t.table().deleteRecord();
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{3}));
    t.table().setIndexName(kTab1);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{3}));
}

using Patches = StoreTest;

// Patches put stored bytes back into records, the deletion flag included: the view and every
// tag follow, in a sorted view too; bad patches are refused before anything is written.
TEST_F(Patches, PutBytesBackAndTheViewAndTagsFollow)
{
    const QString file = path("patch.db");
    createTable(file, {withP(3), withP(1), withP(2)});
    MeasurementTable t;
    t.open(file);
    t.addSortTag(kTab1, Field::P, false);
    t.table().setIndexName(kTab1);
    const int pAt = int(t.table().rawField(0, t.column(Field::P)).data() - t.table().recordBytes(0).data());
    const FieldDef& pField = t.table().fields()[std::size_t(t.column(Field::P))];
    const std::string five = *formatNumeric(5, pField.width, pField.decimals);

    // Record 0 (P 3) deleted, record 1 (P 1) given P 5: one change.
    t.table().patchRecords({{0, 0, "*"}, {1, pAt, five}});
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{2, 5}));
    t.table().setIndexName({});
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{5, 2}));
    std::string b = t.table().fileBytes();
    EXPECT_EQ(deletionFlag(b, 0), '*');

    // Back again.
    t.table().setIndexName(kTab1);
    t.table().patchRecords({{0, 0, " "}});
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{2, 3, 5}));
    b = t.table().fileBytes();
    EXPECT_EQ(deletionFlag(b, 0), ' ');

    const std::string before = t.table().fileBytes();
    const std::vector<RecordPatch> refused[] = {
        {{0, 0, " "}, {3, 0, "*"}},           // no record 3
        {{0, int(kRecordLength) - 1, "xy"}},  // past the record's end
        {{0, 0, "x"}},                        // a flag that is neither
        {{0, -1, "x"}},
    };
    for (const auto& patches : refused) {
        EXPECT_THROW(t.table().patchRecords(patches), StoreError);
        EXPECT_EQ(t.table().fileBytes(), before);
    }
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{2, 3, 5}));
}

using Pack = StoreTest;

TEST_F(Pack, RemovesDeletedRowsFromTheFile)
{
    const QString file = path("pack.db");
    createTable(file, {withP(1), withP(2), withP(3), withP(4)});
    {
        MeasurementTable t;
        t.open(file);
        t.addSortTag(kTab1, Field::P, true);
        t.table().setIndexName(kTab1);
        for (double p : {1.0, 3.0}) {
            goToP(t, p);
            t.table().deleteRecord();
        }
        t.table().pack();
        EXPECT_EQ(t.table().physicalCount(), 2u);
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{4, 2})) << "the active tag survives the pack";
        t.table().setIndexName("");
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{2, 4}));
        // The packed table is still the open, locked table.
        DbfTable other;
        EXPECT_THROW(other.open(file), StoreError);
        appendRow(t, withP(5));
    }
    const std::string b = readBytes(file);
    EXPECT_EQ(u32At(b, kCountAt), 3u);
    EXPECT_EQ(b.size(), u16At(b, kHeaderLengthAt) + 3 * kRecordLength + 1);
    EXPECT_EQ(b.back(), 0x1A);
    EXPECT_FALSE(QFile::exists(file + ".pack"));
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{2, 4, 5}));
}

TEST_F(Pack, TheRewrittenFileKeepsItsAccessRights)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX access rights; Windows keeps them in the file's ACL, which the file layer copies";
#endif
    const QString file = path("rights.db");
    createTable(file, {withP(1), withP(2)});
    const auto rights = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(file, rights));
    MeasurementTable t;
    t.open(file);
    goToP(t, 1);
    t.table().deleteRecord();
    t.table().pack();
    const auto ownerGroupOther = QFileDevice::Permissions(0x7077);
    EXPECT_EQ(QFileInfo(file).permissions() & ownerGroupOther, rights);
}

TEST_F(Pack, AFailedPackLeavesTheTableAsItWas)
{
    const QString file = path("atomic.db");
    createTable(file, {withP(1), withP(2), withP(3)});
    MeasurementTable t;
    t.open(file);
    goToP(t, 2);
    t.table().deleteRecord();
    const std::string before = t.table().fileBytes();

    // The temporary file cannot be written when a folder has its name.
    ASSERT_TRUE(QDir().mkdir(file + ".pack"));
    EXPECT_THROW(t.table().pack(), StoreError);
    EXPECT_EQ(t.table().fileBytes(), before) << "the table file is untouched";
    EXPECT_TRUE(QFileInfo(file + ".pack").isDir()) << "a folder that is not ours is left alone";

    // And the table is still open and usable.
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3}));
    appendRow(t, withP(4));
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3, 4}));
    t.close();
    t.open(file);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3, 4}));
    EXPECT_EQ(t.table().physicalCount(), 4u);

    ASSERT_TRUE(QDir().rmdir(file + ".pack"));
    t.table().pack();
    EXPECT_EQ(t.table().physicalCount(), 3u);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3, 4}));
}

using ProductionIndex = StoreTest;

// Marks a table as if dBase had kept a production index for it, with tags on N and P.
void referToProductionIndex(const QString& file)
{
    std::string b = readBytes(file);
    b[kProductionIndexAt] = 1;
    for (std::size_t field : {std::size_t(0), std::size_t(6)})
        b[kDescriptorsAt + field * kDescriptorSize + kIndexFlagInDescriptor] = 1;
    writeBytes(file, b);
}

bool headerRefersToIndex(const std::string& b)
{
    if (b[kProductionIndexAt] != 0)
        return true;
    for (std::size_t at = kDescriptorsAt; b[at] != 0x0D; at += kDescriptorSize)
        if (b[at + kIndexFlagInDescriptor] != 0)
            return true;
    return false;
}

TEST_F(ProductionIndex, OpensAndTheFirstWriteDropsTheReference)
{
    struct Case {
        const char* what;
        std::function<void(MeasurementTable&)> write;
    };
    const Case cases[] = {
        {"edit and post", [](MeasurementTable& t) { t.table().edit(); t.setReal(Field::P, 9); t.table().post(); }},
        {"append and post", [](MeasurementTable& t) { appendRow(t, withP(9)); }},
        {"delete", [](MeasurementTable& t) { t.table().deleteRecord(); }},
        {"pack", [](MeasurementTable& t) { t.table().pack(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("mdx.db");
        createTable(file, {withP(1), withP(2)});
        referToProductionIndex(file);
        const std::string before = readBytes(file);
        ASSERT_TRUE(headerRefersToIndex(before));

        MeasurementTable t;
        t.open(file); // no .mdx beside it: that is normal
        EXPECT_TRUE(t.table().refersToProductionIndex());
        EXPECT_EQ(t.table().recordCount(), 2);
        EXPECT_EQ(t.table().fileBytes(), before) << "opening writes nothing";
        c.write(t);
        EXPECT_FALSE(t.table().refersToProductionIndex());
        const std::string after = t.table().fileBytes();
        EXPECT_FALSE(headerRefersToIndex(after));
        EXPECT_EQ(after.substr(kDescriptorsAt, 11), std::string("N\0\0\0\0\0\0\0\0\0\0", 11)) << "descriptors kept";
        t.close();
        t.open(file);
        EXPECT_FALSE(t.table().refersToProductionIndex());
    }
}

using KilledAfterPost = StoreTest;

// A killed process: POSIX only (Windows has no fork to kill a copy of this test in).
#ifndef _WIN32
TEST_F(KilledAfterPost, TheReopenedTableHasThePostedChange)
{
    struct Case {
        const char* what;
        std::function<void(MeasurementTable&)> change;
        Numbers p;   // P of the rows afterwards
        QString comment; // COMMENT of the last row
    };
    const Case cases[] = {
        {"append", [](MeasurementTable& t) {
             appendRow(t, {{Field::P, 42.5}, {Field::COMMENT, QStringLiteral("записано перед сбоем")}});
         }, {1, 2, 42.5}, QStringLiteral("записано перед сбоем")},
        {"edit", [](MeasurementTable& t) {
             t.table().last();
             t.table().edit();
             t.setReal(Field::P, -3);
             t.setText(Field::COMMENT, QStringLiteral("исправлено"));
             t.table().post();
         }, {1, -3}, QStringLiteral("исправлено")},
        {"delete", [](MeasurementTable& t) { t.table().last(); t.table().deleteRecord(); }, {1}, QString()},
        {"append to a table that refers to an index", [](MeasurementTable& t) {
             appendRow(t, withP(7));
         }, {1, 2, 7}, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("kill.db");
        createTable(file, {withP(1), withP(2)});
        if (std::string(c.what).find("index") != std::string::npos)
            referToProductionIndex(file);
        const int status = runInChild([&] {
            MeasurementTable t;
            t.open(file);
            c.change(t);
            std::raise(SIGKILL); // no close, no destructor, no flush of anything of ours
            return 1;
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

        MeasurementTable t;
        t.open(file);
        EXPECT_EQ(numbersInView(t, Field::P), c.p);
        t.table().last();
        EXPECT_EQ(t.text(Field::COMMENT), c.comment);
    }
}
#endif

} // namespace
} // namespace store::test
