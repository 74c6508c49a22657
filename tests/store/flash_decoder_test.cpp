// The penetrometer decoder: record layout and divisors, the date and time texts, the order of
// the date keys, New and Append into real tables, and images that claim more than they hold.

#include "store/flash_decoder.h"

#include "store_test_support.h"

#include <array>
#include <optional>
#include <vector>

namespace store::test {
namespace {

// One record as the instrument stores it: raw words and clock bytes.
struct Record {
    std::array<std::uint16_t, 5> forces{101, 102, 103, 104, 105};
    std::uint16_t p = 110, r = 1234, u = 250, p7 = 87, h = 45, p6 = 1, s = 125;
    std::uint8_t minute = 0, hour = 12, day = 10, month = 3, year = 6;
};

Record at(int day, int month, int hour, int minute, std::uint16_t p = 110)
{
    Record r;
    r.day = static_cast<std::uint8_t>(day);
    r.month = static_cast<std::uint8_t>(month);
    r.hour = static_cast<std::uint8_t>(hour);
    r.minute = static_cast<std::uint8_t>(minute);
    r.p = p;
    return r;
}

void putWord(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// The count word (the number of records unless told otherwise), then the records.
std::vector<std::uint8_t> imageOf(const std::vector<Record>& records, std::optional<std::uint16_t> count = {})
{
    std::vector<std::uint8_t> b;
    putWord(b, count.value_or(static_cast<std::uint16_t>(records.size())));
    for (const Record& r : records) {
        for (std::uint16_t f : r.forces)
            putWord(b, f);
        for (std::uint16_t w : {r.p, r.r, r.u, r.p7, r.h, r.p6, r.s})
            putWord(b, w);
        b.insert(b.end(), {r.minute, r.hour, r.day, r.month, r.year});
    }
    return b;
}

using Numbers = std::vector<std::optional<double>>;
using Texts = std::vector<QString>;

// ---- words and texts ---------------------------------------------------------------------------

TEST(ImageWord, LittleEndianUnsignedAndZeroPastTheEnd)
{
    const std::vector<std::uint8_t> b{0x34, 0x12, 0xFF};
    EXPECT_EQ(imageWord(b, 0), 0x1234);
    EXPECT_EQ(imageWord(b, 1), 0xFF12);
    EXPECT_EQ(imageWord(b, 2), 0x00FF) << "the byte after the image reads 0";
    EXPECT_EQ(imageWord(b, 3), 0);
}

struct TimeCase {
    int hour, minute;
    const char* text;
};
class ImageTime : public ::testing::TestWithParam<TimeCase> {};
TEST_P(ImageTime, TwoDigitsEachAndZeroForImpossibleValues)
{
    const TimeCase& c = GetParam();
    const std::vector<std::uint8_t> b{0xEE, static_cast<std::uint8_t>(c.minute), static_cast<std::uint8_t>(c.hour), 0xEE};
    EXPECT_EQ(imageTime(b, 1), QString::fromLatin1(c.text));
}
INSTANTIATE_TEST_SUITE_P(Cases, ImageTime, ::testing::Values(
    TimeCase{7, 5, "07:05"}, TimeCase{24, 60, "00:00"}, TimeCase{23, 59, "23:59"}, TimeCase{0, 0, "00:00"},
    TimeCase{255, 30, "00:30"}, TimeCase{12, 61, "12:00"}, TimeCase{10, 10, "10:10"}));

struct DateCase {
    int day, month, year;
    const char* text;
};
class ImageDate : public ::testing::TestWithParam<DateCase> {};
TEST_P(ImageDate, TwoDigitDayAndMonthOneForImpossibleValuesYearFrom2000)
{
    const DateCase& c = GetParam();
    const std::vector<std::uint8_t> b{0xEE, static_cast<std::uint8_t>(c.day), static_cast<std::uint8_t>(c.month),
                                      static_cast<std::uint8_t>(c.year), 0xEE};
    EXPECT_EQ(imageDate(b, 1), QString::fromLatin1(c.text));
}
INSTANTIATE_TEST_SUITE_P(Cases, ImageDate, ::testing::Values(
    DateCase{0, 13, 6, "01.01.2006"}, DateCase{31, 2, 6, "31.02.2006"}, DateCase{32, 0, 255, "01.01.2255"},
    DateCase{9, 12, 0, "09.12.2000"}, DateCase{31, 12, 99, "31.12.2099"}, DateCase{1, 1, 10, "01.01.2010"}));

// ---- date keys ------------------------------------------------------------------------------------

TEST(StampSeconds, TextsOrderByTheirNumbersEvenOnDaysTheCalendarLacks)
{
    // Each stamp is later than the one before it.
    const std::vector<std::pair<const char*, const char*>> ordered = {
        {"31.12.2005", "23:59"}, {"01.01.2006", "00:00"}, {"01.01.2006", "7:05"},  {"01.01.2006", "07:06"},
        {"01.01.2006", "07:06:30"}, {"01.01.2006", "07:07"}, {"28.02.2006", "23:59"}, {"29.02.2006", "00:00"},
        {"31.02.2006", "12:00"}, {"01.03.2006", "00:00"}, {"2.3.2006", "00:00"},     {"31.12.2006", "23:59"},
        {"01.01.2100", "00:00"}};
    std::optional<std::int64_t> before;
    for (const auto& [date, time] : ordered) {
        const auto key = stampSeconds(QString::fromLatin1(date), QString::fromLatin1(time));
        ASSERT_TRUE(key) << date << " " << time;
        if (before) {
            EXPECT_GT(*key, *before) << date << " " << time;
        }
        before = key;
    }
}

TEST(StampSeconds, CountsSecondsFromTheFirstDay)
{
    const auto key = [](const char* d, const char* t) { return *stampSeconds(QString::fromLatin1(d), QString::fromLatin1(t)); };
    EXPECT_EQ(key("01.01.0001", "00:00"), 86400) << "1 January of year 1 is day 1";
    EXPECT_EQ(key("02.01.2006", "00:00") - key("01.01.2006", "00:00"), 86400);
    EXPECT_EQ(key("01.01.2006", "13:45") - key("01.01.2006", "00:00"), 13 * 3600 + 45 * 60);
    EXPECT_EQ(key(" 01.03.2006  ", " 12:00 "), key("1.3.2006", "12:00")) << "blanks and leading zeros";
}

TEST(StampSeconds, UnreadableTextsGiveNoKey)
{
    const std::vector<std::pair<const char*, const char*>> bad = {
        {"", "12:00"},           {"01.01.2006", ""},      {"  ", "  "},           {"31.13.2006", "12:00"},
        {"00.01.2006", "12:00"}, {"32.01.2006", "12:00"}, {"01.00.2006", "12:00"}, {"01.01.06", "12:00"},
        {"01-01-2006", "12:00"}, {"01.01.2006x", "12:00"}, {"01.01.0000", "12:00"}, {"01.01.2006", "24:00"},
        {"01.01.2006", "12:60"}, {"01.01.2006", "12"},    {"01.01.2006", "1200"},  {"01.01.2006", "12:5"},
        {"01.01.2006", "12:00:60"}, {"дата", "12:00"},   {"01.01.2006", "12:00 pm"}};
    for (const auto& [date, time] : bad)
        EXPECT_FALSE(stampSeconds(QString::fromUtf8(date), QString::fromUtf8(time))) << date << " " << time;
}

// ---- decoding into a table ----------------------------------------------------------------------

class Decoder : public StoreTest {
protected:
    // Opens a new table holding `rows`, filtered to nothing in particular, in file order.
    void open(const std::vector<Cells>& rows = {})
    {
        createTable(path("t.db"), rows);
        m_table.open(path("t.db"));
    }

    DecodeResult decode(const std::vector<std::uint8_t>& bytes, bool append)
    {
        return decodeImage(m_table, DownloadedImage{bytes, 4, 4321}, append);
    }

    MeasurementTable m_table;
};

// A stored penetrometer row with this date and time.
Cells storedRow(const char* date, const char* time, double n = 1)
{
    return {{Field::N, n}, {Field::NB_TYPE, 0.0}, {Field::DATE, QString::fromLatin1(date)}, {Field::TIME, QString::fromLatin1(time)}};
}

Cells pressRow(const char* date, const char* time)
{
    return {{Field::NB_TYPE, 1.0}, {Field::DATE, QString::fromLatin1(date)}, {Field::TIME, QString::fromLatin1(time)}, {Field::P, 999.0}};
}

TEST_F(Decoder, ARecordBecomesARowWithEveryWordScaled)
{
    open();
    Record r = at(0, 13, 24, 60); // impossible clock bytes: 01.01.2006 00:00
    r.forces = {1, 2, 3, 4, 65535};
    r.p = 777;
    const auto result = decode(imageOf({r}), false);
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.skipped, 0);
    ASSERT_EQ(m_table.table().recordCount(), 1);
    m_table.table().first();
    const std::vector<std::pair<Field, double>> want = {
        {Field::N, 1},        {Field::DEV_TYPE, 4}, {Field::SERIAL, 4321}, {Field::NB_TYPE, 0},
        {Field::P1, 1},       {Field::P2, 2},       {Field::P3, 3},        {Field::P4, 4},
        {Field::P5, 65535},   {Field::P, 777},      {Field::R, 12.34},     {Field::U, 25},
        {Field::P7, 0.87},    {Field::H, 0.45},     {Field::P6, 0.1},      {Field::S, 0.0125}};
    for (const auto& [field, value] : want)
        EXPECT_EQ(m_table.real(field), value) << fieldName(field);
    EXPECT_EQ(m_table.text(Field::TIME), QStringLiteral("00:00"));
    EXPECT_EQ(m_table.text(Field::DATE), QStringLiteral("01.01.2006"));
    for (Field untouched : {Field::ZAV, Field::TYPE, Field::COMMENT, Field::T, Field::K, Field::G})
        EXPECT_TRUE(m_table.table().isEmpty(m_table.column(untouched))) << fieldName(untouched);
}

struct FrictionCase {
    std::uint16_t word;
    bool derived; // P7, H and S written
};
class FrictionAngle : public Decoder, public ::testing::WithParamInterface<FrictionCase> {};
TEST_P(FrictionAngle, DerivedValuesOnlyWithAnAngle)
{
    open();
    Record r;
    r.p6 = GetParam().word;
    decode(imageOf({r}), false);
    m_table.table().first();
    EXPECT_EQ(m_table.real(Field::P6), GetParam().word / 10.0) << "the angle itself is always written";
    for (Field f : {Field::P7, Field::H, Field::S})
        EXPECT_EQ(m_table.real(f).has_value(), GetParam().derived) << fieldName(f);
}
INSTANTIATE_TEST_SUITE_P(Words, FrictionAngle, ::testing::Values(
    FrictionCase{0, false}, FrictionCase{1, true}, FrictionCase{65535, true}, FrictionCase{256, true}));

TEST_F(Decoder, NewWritesEveryRecordNumberedInImageOrder)
{
    open();
    const auto result = decode(imageOf({at(5, 1, 9, 0, 30), at(1, 1, 9, 0, 10), at(3, 1, 9, 0, 20)}), false);
    EXPECT_EQ(result.added, 3);
    EXPECT_EQ(m_table.table().filter(), "NB_TYPE=0");
    EXPECT_EQ(numbersInView(m_table, Field::N), (Numbers{1, 2, 3}));
    EXPECT_EQ(numbersInView(m_table, Field::P), (Numbers{30, 10, 20})) << "image order, not date order";
    EXPECT_EQ(textsInView(m_table, Field::DATE), (Texts{"05.01.2006", "01.01.2006", "03.01.2006"}));
    EXPECT_EQ(textsInView(m_table, Field::TIME), (Texts{"09:00", "09:00", "09:00"}));
}

TEST_F(Decoder, NewIgnoresTheDatesOfRowsAlreadyThere)
{
    // Without append nothing is skipped, even records older than the table's last row.
    open({storedRow("01.01.2010", "00:00")});
    const auto result = decode(imageOf({at(1, 1, 8, 0), at(2, 1, 8, 0)}), false);
    EXPECT_EQ(result.added, 2);
    EXPECT_EQ(result.skipped, 0);
    EXPECT_EQ(numbersInView(m_table, Field::N), (Numbers{1, 1, 2}));
}

TEST_F(Decoder, AppendOfTheStoredImageAddsNothing)
{
    open();
    const auto image = imageOf({at(1, 3, 8, 0), at(1, 3, 9, 0), at(2, 3, 8, 0)});
    decode(image, false);
    const auto result = decode(image, true);
    EXPECT_EQ(result.added, 0);
    EXPECT_EQ(result.skipped, 3);
    EXPECT_EQ(m_table.table().physicalCount(), 3u);
}

// Append against stored rows: which records count as stored, and the numbers of the new rows.
struct AppendCase {
    const char* name;
    std::vector<Cells> stored;
    std::vector<Record> image;
    int skipped;
    Numbers newNumbers; // N of the added rows, in file order
};

class Append : public Decoder, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(Append, SkipsUpToTheFirstRecordAfterTheLastStoredRow)
{
    const AppendCase& c = GetParam();
    open(c.stored);
    const std::uint32_t before = m_table.table().physicalCount();
    const auto result = decode(imageOf(c.image), true);
    EXPECT_EQ(result.skipped, c.skipped);
    EXPECT_EQ(result.added, static_cast<int>(c.newNumbers.size()));
    ASSERT_EQ(m_table.table().physicalCount(), before + c.newNumbers.size());
    Numbers added;
    for (std::uint32_t rec = before; rec < m_table.table().physicalCount(); ++rec)
        added.push_back(m_table.table().real(rec, m_table.column(Field::N)));
    EXPECT_EQ(added, c.newNumbers);
    EXPECT_EQ(m_table.table().filter(), "NB_TYPE=0");
}

INSTANTIATE_TEST_SUITE_P(Cases, Append, ::testing::Values(
    AppendCase{"OnlyNewerRecordsNumberedByTheirPlaceInTheImage",
               {storedRow("01.03.2006", "08:00", 1), storedRow("01.03.2006", "09:00", 2)},
               {at(1, 3, 8, 0), at(1, 3, 9, 0), at(2, 3, 8, 0), at(3, 3, 8, 0)}, 2, {3, 4}},
    AppendCase{"RecordsOfTheStoredMinuteCountAsStored",
               {storedRow("10.03.2006", "12:00")},
               {at(10, 3, 11, 59), at(10, 3, 12, 0, 1), at(10, 3, 12, 0, 2), at(10, 3, 12, 1)}, 3, {4}},
    AppendCase{"ATableWithOnlyPressRowsGetsEveryRecordFromOne",
               {pressRow("01.01.2030", "00:00"), pressRow("01.01.2031", "00:00")},
               {at(1, 3, 8, 0), at(2, 3, 8, 0)}, 0, {1, 2}},
    AppendCase{"AnEmptyTableGetsEveryRecordFromOne", {}, {at(1, 3, 8, 0), at(2, 3, 8, 0)}, 0, {1, 2}},
    AppendCase{"TheLastRowInFileOrderCountsNotTheNewestNorAPressRow",
               {storedRow("05.03.2006", "12:00"), storedRow("02.03.2006", "12:00"), pressRow("31.12.2006", "12:00")},
               {at(1, 3, 12, 0), at(3, 3, 12, 0), at(6, 3, 12, 0)}, 1, {2, 3}},
    AppendCase{"AnInventedDayOfTheInstrumentClockStillOrders",
               {storedRow("31.02.2006", "10:00")},
               {at(28, 2, 9, 0), at(31, 2, 10, 0), at(1, 3, 8, 0), at(2, 3, 8, 0)}, 2, {3, 4}},
    AppendCase{"FromTheFirstNewRecordOnEveryRecordIsAddedWhateverItsDate",
               {storedRow("01.03.2006", "12:00")},
               {at(1, 3, 12, 0), at(5, 3, 12, 0), at(3, 3, 12, 0)}, 1, {2, 3}},
    AppendCase{"AStoredRowNewerThanTheWholeImageAddsNothing",
               {storedRow("01.01.2010", "00:00")},
               {at(1, 3, 8, 0), at(2, 3, 8, 0)}, 2, {}},
    AppendCase{"AnEmptyImageAddsNothing", {storedRow("01.03.2006", "08:00")}, {}, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadLastRow {
    const char* date;
    const char* time;
};
class UnreadableLastRow : public Decoder, public ::testing::WithParamInterface<BadLastRow> {};

TEST_P(UnreadableLastRow, ThrowsBadDateNamingTheTextBeforeAddingAnything)
{
    const BadLastRow& c = GetParam();
    open({storedRow("01.03.2006", "08:00"), storedRow(c.date, c.time), pressRow("01.03.2006", "08:00")});
    m_table.table().setFilter(kindFilter(kPressKind));
    try {
        decode(imageOf({at(1, 3, 8, 0), at(2, 3, 8, 0)}), true);
        FAIL() << "no error";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.code(), StoreError::Code::BadDate);
        EXPECT_EQ(QString::fromStdString(e.what()),
                  QStringLiteral("«%1 %2» — неверная дата или время").arg(QString::fromLatin1(c.date), QString::fromLatin1(c.time)));
    }
    EXPECT_EQ(m_table.table().physicalCount(), 3u);
    EXPECT_EQ(m_table.table().filter(), "NB_TYPE=0");
    EXPECT_EQ(m_table.table().state(), DbfTable::State::Browse);
}

INSTANTIATE_TEST_SUITE_P(Texts, UnreadableLastRow, ::testing::Values(
    BadLastRow{"31.13.2006", "12:00"}, BadLastRow{"", "12:00"}, BadLastRow{"01.03.2006", ""},
    BadLastRow{"garbage", "12:00"}));

TEST_F(Decoder, AnUnreadableRowThatIsNotTheLastDoesNotMatter)
{
    open({storedRow("", ""), storedRow("01.03.2006", "08:00")});
    EXPECT_EQ(decode(imageOf({at(1, 3, 8, 0), at(2, 3, 8, 0)}), true).added, 1);
}

// A count word that claims more than the bytes hold: only records received whole are
// written, never one made of missing or stale bytes.
struct ShortImageCase {
    const char* name;
    std::size_t records; // whole records in the bytes
    std::size_t tail;    // further bytes: part of a record, or a frame checksum
    std::uint16_t count; // what the count word claims
    std::size_t written;
};

class ShortImage : public Decoder, public ::testing::WithParamInterface<ShortImageCase> {};

TEST_P(ShortImage, WritesOnlyRecordsReceivedWhole)
{
    const ShortImageCase& c = GetParam();
    open();
    std::vector<Record> records;
    for (std::size_t i = 0; i < c.records + 1; ++i)
        records.push_back(at(1, 3, 8, static_cast<int>(i), static_cast<std::uint16_t>(i + 1)));
    // A whole buffer as an earlier, longer download would leave it; the decoder is shown
    // only the received part.
    const std::vector<std::uint8_t> stale = imageOf(records, c.count);
    const std::size_t received = std::min(stale.size(), kImageFirstRecord + c.records * kImageRecordSize + c.tail);
    const auto result = decodeImage(m_table, DownloadedImage{std::span(stale).first(received), 4, 1}, false);
    EXPECT_EQ(result.added, static_cast<int>(c.written));
    Numbers want;
    for (std::size_t i = 1; i <= c.written; ++i)
        want.push_back(static_cast<double>(i));
    EXPECT_EQ(numbersInView(m_table, Field::P), want);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortImage, ::testing::Values(
    ShortImageCase{"CountBeyondTheBytes", 3, 10, 5, 3},
    ShortImageCase{"CountOneMoreThanAFrameWithItsChecksum", 3, 4, 4, 3},
    ShortImageCase{"NoRecordReceivedWhole", 0, 20, 3, 0},
    ShortImageCase{"BytesBeyondTheCountAreNotRecords", 3, 0, 2, 2},
    ShortImageCase{"CountAtItsMaximum", 2, 28, 65535, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Decoder, TheCountWordCutInHalfReadsNoRecord)
{
    open();
    const std::vector<std::uint8_t> oneByte{5};
    EXPECT_EQ(decodeImage(m_table, DownloadedImage{oneByte, 4, 1}, false).added, 0);
    EXPECT_EQ(decodeImage(m_table, DownloadedImage{{}, 4, 1}, true).added, 0);
}

TEST_F(Decoder, AClosedTableIsLeftAlone)
{
    MeasurementTable closed;
    const auto result = decodeImage(closed, DownloadedImage{imageOf({at(1, 3, 8, 0)}), 4, 1}, true);
    EXPECT_EQ(result.added, 0);
    EXPECT_FALSE(closed.isActive());
}

} // namespace
} // namespace store::test
