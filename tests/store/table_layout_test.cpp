// The file a new measurement table consists of, byte by byte, and replacing a table by New.

#include "store_test_support.h"

#include <QDate>
#include <QFile>

namespace store::test {
namespace {

// Header offsets of a dBase file, as every dBase reader knows them.
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kDateAt = 1;
constexpr std::size_t kCountAt = 4;
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kRecordLengthAt = 10;
constexpr std::size_t kProductionIndexAt = 28;
constexpr std::size_t kLanguageDriverAt = 29;
constexpr std::size_t kDescriptorsAt = 32;
constexpr std::size_t kDescriptorSize = 32;

struct ExpectedField {
    const char* name;
    char type;
    int width;
    int decimals;
};

// The measurement record as the instrument's program has always written it.
constexpr ExpectedField kExpected[] = {
    {"N", 'N', 18, 9},      {"DATE", 'C', 10, 0},   {"TIME", 'C', 8, 0},    {"DEV_TYPE", 'N', 4, 0},
    {"SERIAL", 'N', 18, 9}, {"NB_TYPE", 'N', 4, 0}, {"P", 'N', 18, 9},      {"R", 'N', 18, 9},
    {"ZAV", 'C', 8, 0},     {"TYPE", 'C', 15, 0},   {"COMMENT", 'C', 100, 0}, {"H", 'N', 18, 9},
    {"T", 'C', 50, 0},      {"U", 'N', 18, 9},      {"K", 'N', 9, 0},       {"G", 'N', 4, 0},
    {"S", 'N', 18, 9},      {"P1", 'N', 18, 9},     {"P2", 'N', 18, 9},     {"P3", 'N', 18, 9},
    {"P4", 'N', 18, 9},     {"P5", 'N', 18, 9},     {"P6", 'N', 18, 9},     {"P7", 'N', 18, 9},
};
constexpr std::size_t kExpectedCount = std::size(kExpected);

using NewTable = StoreTest;

TEST_F(NewTable, HeaderBytesDescribeTheMeasurementRecord)
{
    const QString file = path("new.db");
    MeasurementTable::create(file);
    const std::string b = readBytes(file);

    const std::size_t headerLength = kDescriptorsAt + kDescriptorSize * kExpectedCount + 1;
    ASSERT_EQ(b.size(), headerLength + 1) << "header and end-of-file mark, no records";
    EXPECT_EQ(byteAt(b, kVersionAt), 0x03);
    EXPECT_EQ(byteAt(b, kLanguageDriverAt), 0xC9) << "Windows-1251";
    EXPECT_EQ(byteAt(b, kProductionIndexAt), 0);
    EXPECT_EQ(u32At(b, kCountAt), 0u);
    EXPECT_EQ(u16At(b, kHeaderLengthAt), headerLength);
    EXPECT_EQ(u16At(b, kRecordLengthAt), 465u);
    EXPECT_EQ(byteAt(b, headerLength - 1), 0x0D) << "field list terminator";
    EXPECT_EQ(byteAt(b, headerLength), 0x1A) << "end-of-file mark";

    const QDate today = QDate::currentDate();
    EXPECT_EQ(byteAt(b, kDateAt), today.year() - 1900);
    EXPECT_EQ(byteAt(b, kDateAt + 1), today.month());
    EXPECT_EQ(byteAt(b, kDateAt + 2), today.day());

    int recordLength = 1;
    for (std::size_t i = 0; i < kExpectedCount; ++i) {
        SCOPED_TRACE(kExpected[i].name);
        const std::string d = b.substr(kDescriptorsAt + i * kDescriptorSize, kDescriptorSize);
        std::string name(kExpected[i].name);
        name.resize(11, '\0');
        EXPECT_EQ(d.substr(0, 11), name);
        EXPECT_EQ(d[11], kExpected[i].type);
        EXPECT_EQ(byteAt(d, 16), kExpected[i].width);
        EXPECT_EQ(byteAt(d, 17), kExpected[i].decimals);
        EXPECT_EQ(byteAt(d, 31), 0) << "no production index tag";
        recordLength += kExpected[i].width;
    }
    EXPECT_EQ(recordLength, 465);
}

TEST_F(NewTable, OpensWithTheFieldsInOrderAndNoRows)
{
    const QString file = path("new.db");
    MeasurementTable::create(file);
    MeasurementTable t;
    t.open(file);
    const auto& fields = t.table().fields();
    ASSERT_EQ(fields.size(), kExpectedCount);
    for (std::size_t i = 0; i < kExpectedCount; ++i) {
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(fields[i].name, kExpected[i].name);
        EXPECT_EQ(static_cast<char>(fields[i].type), kExpected[i].type);
        EXPECT_EQ(fields[i].width, kExpected[i].width);
        EXPECT_EQ(fields[i].decimals, kExpected[i].decimals);
        EXPECT_EQ(t.column(static_cast<Field>(i)), static_cast<int>(i));
        EXPECT_STREQ(fieldName(static_cast<Field>(i)), kExpected[i].name);
    }
    EXPECT_EQ(t.table().recordCount(), 0);
    EXPECT_EQ(t.table().physicalCount(), 0u);
    t.table().first();
    EXPECT_TRUE(t.table().eof());
    EXPECT_TRUE(t.text(Field::COMMENT).isEmpty());
    EXPECT_FALSE(t.real(Field::P).has_value());
}

TEST_F(NewTable, EachPostedRowAddsOneRecordOf465Bytes)
{
    const QString file = path("rows.db");
    createTable(file, {{{Field::P, 1.0}}, {{Field::P, 2.0}}, {{Field::P, 3.0}}});
    const std::string b = readBytes(file);
    const std::size_t headerLength = u16At(b, kHeaderLengthAt);
    EXPECT_EQ(u32At(b, kCountAt), 3u);
    ASSERT_EQ(b.size(), headerLength + 3 * 465 + 1);
    EXPECT_EQ(byteAt(b, b.size() - 1), 0x1A);
    for (std::size_t r = 0; r < 3; ++r)
        EXPECT_EQ(b[headerLength + r * 465], ' ') << "record " << r << " is live";
}

TEST_F(NewTable, CreateReplacesAnExistingFile)
{
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"a table with rows", [](const QString& f) { createTable(f, {{{Field::P, 1.0}}, {{Field::P, 2.0}}}); }},
        {"a file that is no table", [](const QString& f) { writeBytes(f, std::string(5000, 'x')); }},
        {"an empty file", [](const QString& f) { writeBytes(f, {}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("replace.db");
        c.make(file);
        MeasurementTable::create(file);
        const std::string b = readBytes(file);
        EXPECT_EQ(b.size(), 802u);
        EXPECT_EQ(u32At(b, kCountAt), 0u);
        MeasurementTable t;
        t.open(file);
        EXPECT_EQ(t.table().recordCount(), 0);
        EXPECT_FALSE(QFile::exists(file + ".new")) << "no temporary file left behind";
    }
}

TEST_F(NewTable, CreateOverATableHeldOpenFailsAndLeavesItIntact)
{
    const QString file = path("held.db");
    createTable(file, {{{Field::P, 7.0}, {Field::COMMENT, QStringLiteral("Держу")}}});
    const std::string before = readBytes(file);

    {
        SCOPED_TRACE("held by this program");
        MeasurementTable holder;
        holder.open(file);
        try {
            MeasurementTable::create(file);
            ADD_FAILURE() << "create succeeded over an open table";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), StoreError::Code::Locked) << e.what();
        }
        EXPECT_EQ(holder.table().fileBytes(), before);
        // The holder still works on its file.
        holder.table().first();
        EXPECT_EQ(holder.real(Field::P), 7.0);
    }
    {
        SCOPED_TRACE("held by another process");
        TableHeldByChild holder(file);
        ASSERT_TRUE(holder.holding());
        try {
            MeasurementTable::create(file);
            ADD_FAILURE() << "create succeeded over a table another process holds";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), StoreError::Code::Locked) << e.what();
        }
        EXPECT_EQ(holder.bytes(), before);
    }
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(t.table().recordCount(), 1);
    EXPECT_EQ(t.text(Field::COMMENT), QStringLiteral("Держу"));
}

TEST_F(NewTable, AFieldListThatDBaseCannotHoldIsRefused)
{
    struct Case {
        const char* what;
        std::vector<FieldDef> fields;
    };
    const Case cases[] = {
        {"no fields", {}},
        {"name longer than 10", {{"ELEVENCHARS", FieldType::Character, 5, 0}}},
        {"empty name", {{"", FieldType::Character, 5, 0}}},
        {"name with a blank", {{"A B", FieldType::Character, 5, 0}}},
        {"zero width", {{"A", FieldType::Character, 0, 0}}},
        {"text wider than 254", {{"A", FieldType::Character, 255, 0}}},
        {"number wider than 20", {{"A", FieldType::Numeric, 21, 0}}},
        {"decimals leave no room for the point", {{"A", FieldType::Numeric, 5, 4}}},
        {"text with decimals", {{"A", FieldType::Character, 5, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = path("bad.db");
        EXPECT_THROW(DbfTable::create(file, c.fields), StoreError);
        EXPECT_FALSE(QFile::exists(file));
    }
}

} // namespace
} // namespace store::test
