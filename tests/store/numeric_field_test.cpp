// Numbers in N fields: how they are written and read, and what is refused.

#include "store_test_support.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace store::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumericFormat, RightAlignedWithTheFieldsDecimalsOrRefused)
{
    struct Case {
        double value;
        int width;
        int decimals;
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {12.5, 18, 9, "      12.500000000"},
        {-0.25, 18, 9, "      -0.250000000"},
        {0.1234567896, 18, 9, "       0.123456790"}, // rounded to the field's decimals
        {2.0000000004, 18, 9, "       2.000000000"},
        {12345678.5, 18, 9, "12345678.500000000"},  // exactly fills the field
        {-1234567.5, 18, 9, "-1234567.500000000"},
        {123456789.0, 18, 9, std::nullopt},          // one digit too many: never cut
        {-12345678.5, 18, 9, std::nullopt},
        {65535, 18, 9, "   65535.000000000"},
        {0.0, 18, 9, "       0.000000000"},
        {-0.0, 18, 9, "       0.000000000"},          // no "-0"
        {-1e-12, 18, 9, "       0.000000000"},        // rounds to zero: no "-0.000000000"
        {4, 4, 0, "   4"},
        {-0.0, 4, 0, "   0"},
        {-0.4, 4, 0, "   0"},
        {9999, 4, 0, "9999"},
        {-999, 4, 0, "-999"},
        {10000, 4, 0, std::nullopt},
        {-1000, 4, 0, std::nullopt},
        {999999999, 9, 0, "999999999"},
        {1e9, 9, 0, std::nullopt},
        {1e300, 18, 9, std::nullopt},
        {kNaN, 18, 9, std::nullopt},
        {kInf, 18, 9, std::nullopt},
        {-kInf, 4, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " in N(" << c.width << "," << c.decimals << ")");
        EXPECT_EQ(formatNumeric(c.value, c.width, c.decimals), c.stored);
    }
}

TEST(NumericParse, StoredTextToNumberBlankIsEmpty)
{
    struct Case {
        std::string stored;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"      12.500000000", 12.5},
        {"      -0.250000000", -0.25},
        {"   4", 4},
        {"-999", -999},
        {"   0", 0},
        {"   1,5", 1.5},   // a comma is accepted as the separator
        {"  -2,25", -2.25},
        {"  +7", 7},
        {"12  ", 12},      // left-aligned by some writers
        {"    ", std::nullopt}, // blank is empty, not 0
        {"", std::nullopt},
        {std::string(4, '\0'), std::nullopt},
        {"  abc", std::nullopt},
        {"1.2.3", std::nullopt},
        {"  - 1", std::nullopt},
        {"****", std::nullopt},
        {"1 000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.stored + "\"");
        EXPECT_EQ(parseNumeric(c.stored), c.value);
    }
    const auto zero = parseNumeric("-0.000000000");
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(*zero, 0.0);
    EXPECT_FALSE(std::signbit(*zero)) << "-0 reads as 0";
}

TEST(NumericParse, EveryFormattedValueReadsBackAsTheRoundedValue)
{
    const double values[] = {0, 1, -1, 0.5, 3.141592653589793, -7654321.123456789, 65535, 1e-9, 99999999.999};
    for (double v : values) {
        SCOPED_TRACE(v);
        const auto stored = formatNumeric(v, 18, 9);
        ASSERT_TRUE(stored.has_value());
        ASSERT_EQ(stored->size(), 18u);
        const auto back = parseNumeric(*stored);
        ASSERT_TRUE(back.has_value());
        EXPECT_NEAR(*back, v, 5e-10);
    }
}

using NumericField = StoreTest;

TEST_F(NumericField, ValuesGoToTheFileAsFormattedAndReadBack)
{
    struct Case {
        Field field;
        Cell input;
        std::string stored;           // the field's bytes in the file
        std::optional<double> value;  // what real() reads back
    };
    const Case cases[] = {
        {Field::P, 12.5, "      12.500000000", 12.5},
        {Field::R, -0.0, "       0.000000000", 0.0},
        {Field::P6, 0.0, "       0.000000000", 0.0},
        {Field::SERIAL, 65535.0, "   65535.000000000", 65535},
        {Field::NB_TYPE, 1.0, "   1", 1},
        {Field::DEV_TYPE, 13.0, "  13", 13},
        {Field::G, -7.0, "  -7", -7},
        {Field::K, 123456789.0, "123456789", 123456789},
        {Field::P, QStringLiteral("1,5"), "       1.500000000", 1.5},
        {Field::P, QStringLiteral(" 2.75 "), "       2.750000000", 2.75},
        {Field::P, QStringLiteral("-0"), "       0.000000000", 0.0},
        {Field::P, QString(), std::string(18, ' '), std::nullopt},
        {Field::P, QStringLiteral("   "), std::string(18, ' '), std::nullopt},
        {Field::P, Blank{}, std::string(18, ' '), std::nullopt},
    };
    const QString file = path("numbers.db");
    MeasurementTable::create(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << fieldName(c.field) << " <- \"" << c.stored << "\"");
        {
            MeasurementTable t;
            t.open(file);
            appendRow(t, {{c.field, c.input}});
            EXPECT_EQ(t.real(c.field), c.value) << "in memory";
        }
        MeasurementTable t;
        t.open(file);
        t.table().last();
        const std::uint32_t rec = *t.table().currentRecord();
        EXPECT_EQ(std::string(t.table().rawField(rec, t.column(c.field))), c.stored);
        EXPECT_EQ(t.real(c.field), c.value);
        EXPECT_EQ(t.table().isEmpty(t.column(c.field)), !c.value.has_value());
        EXPECT_EQ(t.text(c.field), QString::fromStdString(c.stored).trimmed());
    }
}

TEST_F(NumericField, BlankIsEmptyAndZeroIsNot)
{
    const QString file = path("blank.db");
    createTable(file, {{{Field::P, 0.0}}, {}});
    MeasurementTable t;
    t.open(file);
    t.table().first();
    EXPECT_FALSE(t.table().isEmpty(t.column(Field::P)));
    EXPECT_EQ(t.real(Field::P), 0.0);
    EXPECT_EQ(t.integer(Field::P), 0);
    EXPECT_TRUE(t.table().isEmpty(t.column(Field::R))) << "a field never set stays blank";
    t.table().next();
    EXPECT_TRUE(t.table().isEmpty(t.column(Field::P)));
    EXPECT_EQ(t.real(Field::P), std::nullopt);
    EXPECT_EQ(t.integer(Field::P), std::nullopt);
    EXPECT_EQ(t.text(Field::P), QString());

    // Clearing a value makes it empty again.
    t.table().first();
    t.table().edit();
    t.table().clear(t.column(Field::P));
    t.table().post();
    EXPECT_TRUE(t.table().isEmpty(t.column(Field::P)));
    EXPECT_EQ(t.real(Field::P), std::nullopt);
}

TEST_F(NumericField, IntegerAccessorsReadWholeNumbers)
{
    const QString file = path("ints.db");
    createTable(file, {{{Field::DEV_TYPE, 4.0}, {Field::K, -123456.0}, {Field::G, -7.0}, {Field::SERIAL, 65535.0}}});
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(t.integer(Field::DEV_TYPE), 4);
    EXPECT_EQ(t.integer(Field::K), -123456);
    EXPECT_EQ(t.integer(Field::G), -7);
    EXPECT_EQ(t.integer(Field::SERIAL), 65535) << "a whole number in an N(18,9) field";

    t.table().edit();
    t.setInteger(Field::K, 987654321);
    t.table().post();
    EXPECT_EQ(t.integer(Field::K), 987654321);
}

TEST_F(NumericField, IntegerIsTheNearestWholeNumberInsideInt64OrEmpty)
{
    // A holds the big numbers (20 characters take -2^63), B the halves.
    constexpr int A = 0;
    constexpr int B = 1;
    struct Case {
        int field;
        const char* stored;
        std::optional<std::int64_t> value;
    };
    const Case cases[] = {
        {A, "9223372036854775808", std::nullopt},          // 2^63
        {A, "9223372036854775807", std::nullopt},          // reads as the double 2^63
        {A, "10000000000000000000", std::nullopt},
        {A, "9223372036854774784", 9223372036854774784},   // the largest double below 2^63
        {A, "-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {A, "-9223372036854777856", std::nullopt},         // the next double below -2^63
        {A, "", std::nullopt},
        {B, "2.5", 3},
        {B, "-2.5", -3},
        {B, "0.5", 1},
        {B, "-0.5", -1},
        {B, "2.4", 2},
        {B, "", std::nullopt},
    };
    const QString file = path("integers.db");
    DbfTable::create(file, {{"A", FieldType::Numeric, 20, 0}, {"B", FieldType::Numeric, 6, 1}});
    DbfTable t;
    t.open(file);
    for (const Case& c : cases) {
        t.append();
        t.setText(c.field, QString::fromLatin1(c.stored));
        t.post();
    }
    t.first();
    for (std::uint32_t rec = 0; rec < std::size(cases); ++rec, t.next()) {
        const Case& c = cases[rec];
        SCOPED_TRACE(testing::Message() << "\"" << c.stored << "\" in " << (c.field == A ? "N(20,0)" : "N(6,1)"));
        ASSERT_EQ(t.currentRecord(), rec);
        EXPECT_EQ(t.integer(rec, c.field), c.value) << "by record";
        EXPECT_EQ(t.integer(c.field), c.value) << "on the current row";
    }
}

TEST_F(NumericField, AValueThatDoesNotFitIsRefusedAndNothingIsStored)
{
    struct Case {
        Field field;
        Cell input;
        StoreError::Code code;
    };
    const Case cases[] = {
        {Field::P, 123456789.0, StoreError::Code::ValueTooWide},
        {Field::P, -12345678.0, StoreError::Code::ValueTooWide},
        {Field::NB_TYPE, 10000.0, StoreError::Code::ValueTooWide},
        {Field::DEV_TYPE, -1000.0, StoreError::Code::ValueTooWide},
        {Field::K, 1e9, StoreError::Code::ValueTooWide},
        {Field::P, QStringLiteral("123456789"), StoreError::Code::ValueTooWide},
        {Field::P, QStringLiteral("abc"), StoreError::Code::BadNumber},
        {Field::P, QStringLiteral("1.2.3"), StoreError::Code::BadNumber},
        {Field::P, QStringLiteral("12 N"), StoreError::Code::BadNumber},
    };
    const QString file = path("wide.db");
    createTable(file, {{{Field::P, 5.0}, {Field::NB_TYPE, 0.0}, {Field::DEV_TYPE, 4.0}, {Field::K, 1.0}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << fieldName(c.field));
        const std::string before = readBytes(file);
        MeasurementTable t;
        t.open(file);
        const std::string old(t.table().rawField(0, t.column(c.field)));
        t.table().edit();
        try {
            setCells(t, {{c.field, c.input}});
            ADD_FAILURE() << "accepted";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
        EXPECT_EQ(std::string(t.table().rawField(0, t.column(c.field))), old);
        t.table().post();
        EXPECT_EQ(std::string(t.table().rawField(0, t.column(c.field))), old) << "the old value stays";
        t.close();
        const std::string after = readBytes(file);
        // Only the update date in the header may differ; the record is unchanged.
        EXPECT_EQ(after.substr(32), before.substr(32));
    }
}

TEST_F(NumericField, NotANumberIsRefused)
{
    const QString file = path("nan.db");
    createTable(file, {{{Field::P, 5.0}}});
    MeasurementTable t;
    t.open(file);
    for (double bad : {kNaN, kInf, -kInf}) {
        SCOPED_TRACE(bad);
        t.table().edit();
        EXPECT_THROW(t.setReal(Field::P, bad), StoreError);
        t.table().post();
        EXPECT_EQ(t.real(Field::P), 5.0);
    }
}

TEST_F(NumericField, FieldsAndRecordsThatDoNotExistAreErrors)
{
    const QString file = path("access.db");
    createTable(file, {{{Field::P, 1.0}}});
    MeasurementTable t;
    t.open(file);
    DbfTable& d = t.table();
    EXPECT_EQ(d.fieldIndex("p"), 6) << "field names ignore case";
    EXPECT_EQ(d.fieldIndex("NOPE"), -1);

    using Code = StoreError::Code;
    struct Case {
        const char* what;
        std::function<void()> call;
        Code code;
    };
    const Case cases[] = {
        {"field by name", [&] { d.requireField("NOPE"); }, Code::NoSuchField},
        {"text of field 24", [&] { d.text(24); }, Code::NoSuchField},
        {"real of field -1", [&] { d.real(-1); }, Code::NoSuchField},
        {"text of record 0, field 99", [&] { d.text(std::uint32_t{0}, 99); }, Code::NoSuchField},
        {"real of record 0, field -1", [&] { d.real(std::uint32_t{0}, -1); }, Code::NoSuchField},
        {"record 1 of 1", [&] { d.rawField(1, 0); }, Code::BadState},
        {"deletion flag of record 1 of 1", [&] { d.isDeleted(1); }, Code::BadState},
        {"write outside an edit", [&] { d.setReal(6, 2.0); }, Code::BadState},
        {"clear outside an edit", [&] { d.clear(6); }, Code::BadState},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
        }
    }
    EXPECT_EQ(t.real(Field::P), 1.0);
}

// A table another program wrote: numbers in exponent form read as numbers; a text that is
// no number reads as empty, as a blank does, but the table tells it from a blank, and its
// scan names every one, record and field, in file order, skipping deleted records.
TEST_F(NumericField, ExponentFormsReadAndTextsThatAreNoNumberAreNamed)
{
    const QString file = path("foreign.db");
    createTable(file, {{{Field::P, 1.0}}, {{Field::P, 2.0}}, {{Field::P, 3.0}}, {{Field::P, 4.0}}, {{Field::P, 5.0}}});
    struct Patch {
        std::uint32_t record;
        Field field;
        std::string text;
        std::optional<double> value; // what real() reads
        bool unreadable;
    };
    const Patch patches[] = {
        {0, Field::P, "1.5E+3", 1500, false},
        {0, Field::K, "-1e8", -1e8, false},
        {1, Field::P7, "nan", std::nullopt, true},
        {2, Field::R, "**********", std::nullopt, false},
        {2, Field::P, "1e999", std::nullopt, true},
        {2, Field::G, "abc", std::nullopt, true},
        {3, Field::U, " 2.5e-3 ", 0.0025, false},
        {3, Field::N, "1.2.3", std::nullopt, true},
        {3, Field::TYPE, "nan", std::nullopt, false}, // a text field holds any text
        {4, Field::P1, "inf", std::nullopt, true},    // its record is deleted below
    };
    for (const Patch& p : patches)
        overwriteField(file, p.record, fieldName(p.field), p.text);

    MeasurementTable t;
    t.open(file);
    const DbfTable& d = t.table();
    std::vector<UnreadableNumber> expected;
    for (const Patch& p : patches) {
        SCOPED_TRACE(testing::Message() << "record " << p.record << ", " << fieldName(p.field) << " \"" << p.text << "\"");
        const int column = t.column(p.field);
        if (isNumeric(d.fields()[static_cast<std::size_t>(column)].type)) {
            EXPECT_EQ(d.real(p.record, column), p.value);
        }
        EXPECT_EQ(d.isUnreadableNumber(p.record, column), p.unreadable);
        if (p.unreadable && p.record != 4)
            expected.push_back({p.record, column});
    }
    EXPECT_FALSE(d.isUnreadableNumber(0, t.column(Field::R))) << "a number";
    EXPECT_FALSE(d.isUnreadableNumber(1, t.column(Field::R))) << "a blank";

    t.table().moveTo(4);
    t.table().deleteRecord();
    std::sort(expected.begin(), expected.end(), [](const UnreadableNumber& a, const UnreadableNumber& b) {
        return std::pair(a.record, a.field) < std::pair(b.record, b.field);
    });
    const std::vector<UnreadableNumber> found = d.unreadableNumbers();
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].record, expected[i].record) << i;
        EXPECT_EQ(found[i].field, expected[i].field) << i;
    }

    // The row being edited answers from its edit buffer.
    t.table().moveTo(1);
    t.table().edit();
    EXPECT_TRUE(d.isUnreadableNumber(t.column(Field::P7)));
    t.setText(Field::P7, QStringLiteral("2e1"));
    EXPECT_FALSE(d.isUnreadableNumber(t.column(Field::P7)));
    EXPECT_EQ(t.real(Field::P7), 20.0);
    t.table().cancel();
    EXPECT_TRUE(d.isUnreadableNumber(t.column(Field::P7)));
}

} // namespace
} // namespace store::test
