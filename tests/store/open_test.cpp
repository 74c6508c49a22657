// Opening: the exclusive lock, and every kind of file that must be refused untouched.

#include "store_test_support.h"

#include <QFile>

#include <functional>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace store::test {
namespace {

constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kCountAt = 4;
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kRecordLengthAt = 10;
constexpr std::size_t kDescriptorsAt = 32;
constexpr std::size_t kRecordLength = 465;

// Exit codes of a child that tries to open a table.
constexpr int kChildOpened = 0;
constexpr int kChildLocked = 10;
constexpr int kChildOtherError = 11;

int tryOpen(const QString& file)
{
    try {
        DbfTable t;
        t.open(file);
        return kChildOpened;
    } catch (const StoreError& e) {
        return e.code() == StoreError::Code::Locked ? kChildLocked : kChildOtherError;
    }
}

// Another process's open. Windows refuses a second no-share open in the same process as in
// another, so there the attempt is made here.
int tryOpenInChild(const QString& file)
{
#ifdef _WIN32
    return tryOpen(file);
#else
    const int status = runInChild([&] { return tryOpen(file); });
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

using ExclusiveOpen = StoreTest;

TEST_F(ExclusiveOpen, ASecondOpenerFailsWhileTheTableIsOpen)
{
    const QString file = path("lock.db");
    createTable(file, {{{Field::P, 1.0}}});
    {
        MeasurementTable first;
        first.open(file);

        DbfTable second;
        try {
            second.open(file);
            ADD_FAILURE() << "a second table object opened the file";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), StoreError::Code::Locked) << e.what();
        }
        EXPECT_FALSE(second.isActive());

        MeasurementTable third;
        EXPECT_THROW(third.open(file), StoreError);
        EXPECT_FALSE(third.isActive());

        EXPECT_EQ(tryOpenInChild(file), kChildLocked) << "another process is refused too";

        // The holder is unaffected by the refused openers.
        appendRow(first, {{Field::P, 2.0}});
        EXPECT_EQ(first.table().recordCount(), 2);
    }
    EXPECT_EQ(tryOpenInChild(file), kChildOpened) << "closing releases the lock";
    MeasurementTable again;
    again.open(file);
    EXPECT_EQ(again.table().recordCount(), 2);
}

TEST_F(ExclusiveOpen, ATableHeldByAnotherProcessCannotBeOpened)
{
    const QString file = path("held.db");
    createTable(file, {{{Field::P, 1.0}}});
    const std::string before = readBytes(file);
    {
        TableHeldByChild holder(file);
        ASSERT_TRUE(holder.holding());
        MeasurementTable t;
        try {
            t.open(file);
            ADD_FAILURE() << "opened a table another process holds";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), StoreError::Code::Locked) << e.what();
            EXPECT_EQ(std::string(e.what()), "Таблица \"" + file.toStdString() + "\" открыта другой программой");
        }
        EXPECT_FALSE(t.isActive());
    }
    EXPECT_EQ(readBytes(file), before);
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(t.table().recordCount(), 1);
}

TEST_F(ExclusiveOpen, ReadersShareATableAndKeepWritersOut)
{
    const QString file = path("read.db");
    createTable(file, {{{Field::P, 1.0}}, {{Field::P, 2.0}}});
    // A temporary file a killed pack left beside it: a reader leaves it for the writer.
    const QString stale = file + QStringLiteral(".pack");
    writeBytes(stale, "left by a pack");
    const std::string before = readBytes(file);
    {
        MeasurementTable reader;
        reader.openForReading(file);
        EXPECT_TRUE(reader.table().isReadOnly());
        EXPECT_EQ(reader.table().recordCount(), 2);
        MeasurementTable second;
        second.openForReading(file); // readers do not exclude each other
        EXPECT_EQ(second.real(Field::P), std::optional<double>(1.0));

        // Every change is refused, and nothing reaches the file.
        const auto refused = [](const std::function<void()>& change) {
            try {
                change();
                return false;
            } catch (const StoreError& e) {
                return e.code() == StoreError::Code::BadState;
            }
        };
        EXPECT_TRUE(refused([&] { reader.table().edit(); }));
        EXPECT_TRUE(refused([&] { reader.table().append(); }));
        EXPECT_TRUE(refused([&] { reader.table().deleteRecord(); }));
        EXPECT_TRUE(refused([&] { reader.table().pack(); }));
        EXPECT_TRUE(refused([&] { reader.table().patchRecords({{0, 0, "*"}}); }));

        // A writer, here or in another process, is kept out meanwhile.
        MeasurementTable writer;
        EXPECT_THROW(writer.open(file), StoreError);
        EXPECT_EQ(tryOpenInChild(file), kChildLocked);
    }
    EXPECT_TRUE(readBytes(file) == before);
    EXPECT_TRUE(QFile::exists(stale));

    // A table a writer holds is refused to a reader, as in use.
    TableHeldByChild holder(file);
    ASSERT_TRUE(holder.holding());
    MeasurementTable reader;
    try {
        reader.openForReading(file);
        ADD_FAILURE() << "read a table another process holds";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::Locked) << e.what();
    }
}

TEST_F(ExclusiveOpen, ClosingAndReopeningInOneObject)
{
    const QString file = path("reopen.db");
    createTable(file, {{{Field::P, 1.0}}});
    const QString other = path("other.db");
    createTable(other, {{{Field::P, 2.0}}, {{Field::P, 3.0}}});
    MeasurementTable t;
    t.open(file);
    t.open(other); // opening another table closes the first one
    EXPECT_EQ(t.table().recordCount(), 2);
    EXPECT_EQ(tryOpenInChild(file), kChildOpened);
    EXPECT_EQ(tryOpenInChild(other), kChildLocked);
    t.close();
    EXPECT_FALSE(t.isActive());
    EXPECT_EQ(t.table().recordCount(), 0);
    try {
        t.table().append();
        ADD_FAILURE() << "appended to a closed table";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::NotActive);
    }
    EXPECT_THROW(t.text(Field::P), StoreError);
    EXPECT_EQ(tryOpenInChild(other), kChildOpened);
}

using RefusedFile = StoreTest;

// Bytes of a valid measurement table with two rows.
std::string validTable(const QString& scratch)
{
    createTable(scratch, {{{Field::P, 1.0}, {Field::NB_TYPE, 0.0}}, {{Field::P, 2.0}, {Field::NB_TYPE, 1.0}}});
    return readBytes(scratch);
}

// A table holding the 24 fields less `drop`, or with `retype` given as the wrong type.
std::string tableWithFields(const QString& scratch, const char* drop, const char* retype)
{
    std::vector<FieldDef> fields;
    for (const FieldDef& f : measurementFields()) {
        if (f.name == drop)
            continue;
        FieldDef g = f;
        if (f.name == retype)
            g = f.type == FieldType::Numeric ? FieldDef{f.name, FieldType::Character, f.width, 0}
                                             : FieldDef{f.name, FieldType::Numeric, 10, 0};
        fields.push_back(g);
    }
    DbfTable::create(scratch, fields);
    return readBytes(scratch);
}

TEST_F(RefusedFile, EachIsRefusedWithItsCodeAndLeftUntouched)
{
    const std::string good = validTable(path("scratch.db"));
    const std::size_t headerLength = u16At(good, kHeaderLengthAt);
    auto changed = [&](const std::function<void(std::string&)>& change) {
        std::string b = good;
        change(b);
        return b;
    };
    using Code = StoreError::Code;
    struct Case {
        const char* what;
        std::string bytes;
        Code code;
    };
    const Case cases[] = {
        {"empty file", "", Code::NotATable},
        {"ten bytes of a table", good.substr(0, 10), Code::NotATable},
        {"header cut short", good.substr(0, 31), Code::NotATable},
        {"text file", std::string("N;DATE;TIME\n1;31.01.2005;12:00\n") + std::string(100, ' '), Code::NotATable},
        {"zip archive", changed([](std::string& b) { b.replace(0, 4, "PK\x03\x04"); }), Code::NotATable},
        {"Visual FoxPro table", changed([](std::string& b) { b[kVersionAt] = 0x30; }), Code::NotATable},
        {"header longer than the file",
         changed([&](std::string& b) { putU16At(b, kHeaderLengthAt, static_cast<unsigned>(b.size() + 1)); }), Code::Damaged},
        {"header length too small for one field", changed([](std::string& b) { putU16At(b, kHeaderLengthAt, 40); }), Code::Damaged},
        {"header ends inside the field list",
         changed([&](std::string& b) { putU16At(b, kHeaderLengthAt, static_cast<unsigned>(headerLength - 40)); }), Code::Damaged},
        {"record length is not the sum of the widths",
         changed([](std::string& b) { putU16At(b, kRecordLengthAt, kRecordLength + 1); }), Code::Damaged},
        {"record length one less", changed([](std::string& b) { putU16At(b, kRecordLengthAt, kRecordLength - 1); }), Code::Damaged},
        {"record count larger than the data", changed([](std::string& b) { putU32At(b, kCountAt, 3); }), Code::Damaged},
        {"record count far larger than the data", changed([](std::string& b) { putU32At(b, kCountAt, 0xFFFFFFFF); }), Code::Damaged},
        {"last record cut short", good.substr(0, good.size() - 100), Code::Damaged},
        {"no terminator after the fields", changed([&](std::string& b) { b[headerLength - 1] = 'X'; }), Code::Damaged},
        {"unknown field type", changed([](std::string& b) { b[kDescriptorsAt + 11] = 'X'; }), Code::Damaged},
        {"field of zero width", changed([](std::string& b) { b[kDescriptorsAt + 16] = 0; }), Code::Damaged},
        {"field without a name", changed([](std::string& b) { std::fill_n(b.begin() + kDescriptorsAt, 11, '\0'); }), Code::Damaged},
        {"no COMMENT field", tableWithFields(path("scratch.db"), "COMMENT", ""), Code::MissingField},
        {"no P7 field", tableWithFields(path("scratch.db"), "P7", ""), Code::MissingField},
        {"no N field", tableWithFields(path("scratch.db"), "N", ""), Code::MissingField},
        {"P is text", tableWithFields(path("scratch.db"), "", "P"), Code::MissingField},
        {"DATE is a number", tableWithFields(path("scratch.db"), "", "DATE"), Code::MissingField},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("refused.db");
        writeBytes(file, c.bytes);
        MeasurementTable t;
        try {
            t.open(file);
            ADD_FAILURE() << "opened";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
        EXPECT_FALSE(t.isActive());
        EXPECT_EQ(readBytes(file), c.bytes) << "a refused file is left as it was";
        // Nothing keeps it locked either: the file can be replaced.
        EXPECT_EQ(tryOpenInChild(file), c.code == Code::MissingField ? kChildOpened : kChildOtherError);
    }
}

TEST_F(RefusedFile, ALockedTableIsRefusedUntouched)
{
    const QString file = path("locked.db");
    const std::string bytes = validTable(file);
    TableHeldByChild holder(file);
    ASSERT_TRUE(holder.holding());
    MeasurementTable t;
    try {
        t.open(file);
        ADD_FAILURE() << "opened";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::Locked);
    }
    EXPECT_EQ(holder.bytes(), bytes);
}

TEST_F(RefusedFile, AMissingFileIsAnIoError)
{
    MeasurementTable t;
    try {
        t.open(path("absent.db"));
        ADD_FAILURE() << "opened";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::Io);
        const std::string opening = "Не удалось открыть таблицу \"" + path("absent.db").toStdString() + "\": ";
#ifdef _WIN32
        // The system's own words, in its language.
        EXPECT_EQ(std::string(e.what()).substr(0, opening.size()), opening);
        EXPECT_GT(std::string(e.what()).size(), opening.size());
#else
        EXPECT_EQ(std::string(e.what()), opening + "нет такого файла или папки");
#endif
    }
    EXPECT_FALSE(QFile::exists(path("absent.db"))) << "opening never creates";
}

using AcceptedFile = StoreTest;

TEST_F(AcceptedFile, TablesOtherProgramsMayWriteOpen)
{
    const std::string good = validTable(path("scratch.db"));
    const std::size_t headerLength = u16At(good, kHeaderLengthAt);
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string padded = good;
    padded.insert(headerLength, std::string(263, '\0')); // room some writers leave after the field list
    putU16At(padded, kHeaderLengthAt, static_cast<unsigned>(headerLength + 263));
    const Case cases[] = {
        {"no end-of-file mark", good.substr(0, good.size() - 1)},
        {"bytes between the field list and the data", padded},
        {"dBase III version byte with memo flag", [&] { std::string b = good; b[kVersionAt] = char(0x83); return b; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("accepted.db");
        writeBytes(file, c.bytes);
        MeasurementTable t;
        t.open(file);
        EXPECT_EQ(numbersInView(t, Field::P), (std::vector<std::optional<double>>{1, 2}));
        EXPECT_EQ(t.table().fileBytes(), c.bytes) << "opening writes nothing";
        appendRow(t, {{Field::P, 3.0}, {Field::COMMENT, QStringLiteral("третья")}});
        t.close();
        t.open(file);
        EXPECT_EQ(numbersInView(t, Field::P), (std::vector<std::optional<double>>{1, 2, 3}));
        t.table().last();
        EXPECT_EQ(t.text(Field::COMMENT), QStringLiteral("третья"));
        EXPECT_EQ(t.table().fileBytes().back(), 0x1A);
    }
}

// What a write that failed or was cut short can leave after the counted records. The count
// decides: open shows the counted rows and writes nothing; the next write, whatever it is,
// puts the end mark right after the counted records and cuts the rest off.
TEST_F(AcceptedFile, BytesAfterTheCountedRecordsAreIgnoredAndCutOffByTheNextWrite)
{
    const std::string good = validTable(path("scratch.db")); // rows P 1 and 2, then the end mark
    const std::string third = [&] {
        createTable(path("scratch3.db"), {{{Field::P, 1.0}}, {{Field::P, 2.0}}, {{Field::P, 3.0}, {Field::NB_TYPE, 0.0}}});
        const std::string b = readBytes(path("scratch3.db"));
        return b.substr(b.size() - 1 - kRecordLength, kRecordLength);
    }();
    const std::string records = good.substr(0, good.size() - 1);
    struct Tail {
        const char* what;
        std::string bytes;
    };
    const Tail tails[] = {
        {"a record cut short, no end mark", records + third.substr(0, 200)},
        {"a whole record past the count, no end mark", records + third},
        {"a whole record and its end mark past the count", records + third + '\x1A'},
        {"a second end mark", good + '\x1A'},
        {"the end mark then a record cut short", good + third.substr(0, 7)},
        {"one stray byte instead of the end mark", records + 'x'},
    };
    struct Write {
        const char* what;
        std::function<void(MeasurementTable&)> write;
        std::vector<std::optional<double>> p; // the rows afterwards
    };
    const Write writes[] = {
        {"append", [](MeasurementTable& t) { appendRow(t, {{Field::P, 9.0}}); }, {1, 2, 9}},
        {"edit", [](MeasurementTable& t) { t.table().first(); t.table().edit(); t.setReal(Field::P, 7); t.table().post(); }, {7, 2}},
        {"delete", [](MeasurementTable& t) { t.table().first(); t.table().deleteRecord(); }, {2}},
        {"pack", [](MeasurementTable& t) { t.table().pack(); }, {1, 2}},
    };
    const std::size_t headerLength = u16At(good, kHeaderLengthAt);
    for (const Tail& tail : tails) {
        for (const Write& w : writes) {
            SCOPED_TRACE(testing::Message() << tail.what << ", then " << w.what);
            const QString file = path("tail.db");
            writeBytes(file, tail.bytes);
            MeasurementTable t;
            t.open(file);
            EXPECT_EQ(t.table().physicalCount(), 2u);
            EXPECT_EQ(numbersInView(t, Field::P), (std::vector<std::optional<double>>{1, 2}));
            EXPECT_EQ(t.table().fileBytes(), tail.bytes) << "opening writes nothing";
            w.write(t);
            EXPECT_EQ(numbersInView(t, Field::P), w.p);
            const std::uint32_t count = t.table().physicalCount();
            t.close();
            const std::string after = readBytes(file);
            EXPECT_EQ(u32At(after, kCountAt), count);
            ASSERT_EQ(after.size(), headerLength + count * kRecordLength + 1) << "ends right after the records";
            EXPECT_EQ(after.back(), '\x1A');
            // The second row is untouched by every one of these writes, byte for byte.
            EXPECT_EQ(after.substr(headerLength + kRecordLength, kRecordLength),
                      good.substr(headerLength + kRecordLength, kRecordLength));
            t.open(file);
            EXPECT_EQ(numbersInView(t, Field::P), w.p);
        }
    }
}

TEST_F(AcceptedFile, FieldsAreFoundByNameWhateverTheirOrderAndWidth)
{
    std::vector<FieldDef> fields(measurementFields().rbegin(), measurementFields().rend());
    for (FieldDef& f : fields) {
        if (f.name == "P")
            f.type = FieldType::Float;
        if (f.name == "COMMENT")
            f.width = 20;
    }
    fields.insert(fields.begin() + 3, FieldDef{"EXTRA", FieldType::Character, 7, 0});
    const QString file = path("foreign.db");
    DbfTable::create(file, fields);

    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(t.column(Field::P7), 0);
    EXPECT_EQ(t.column(Field::N), 24);
    appendRow(t, {{Field::P, 12.25}, {Field::N, 1.0}, {Field::COMMENT, QStringLiteral("двадцать знаков ровн")}});
    t.table().first();
    EXPECT_EQ(t.real(Field::P), 12.25);
    EXPECT_EQ(t.real(Field::N), 1.0);
    EXPECT_EQ(t.text(Field::COMMENT), QStringLiteral("двадцать знаков ровн"));
    EXPECT_TRUE(t.text(Field::T).isEmpty());
    t.table().edit();
    try {
        t.setText(Field::COMMENT, QStringLiteral("двадцать один знак..."));
        ADD_FAILURE() << "accepted";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::ValueTooWide);
    }
    t.table().cancel();
}

} // namespace
} // namespace store::test
