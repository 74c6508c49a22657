#include "store/flash_decoder.h"

#include "store/store_error.h"

#include <QStringView>

#include <algorithm>

namespace store {

namespace {

// Offsets inside one 29-byte penetrometer record. Words are unsigned little-endian.
constexpr std::size_t kForce1 = 0;      // P1..P5 follow, one word each, in newtons
constexpr std::size_t kMeanForce = 10;  // P, newtons
constexpr std::size_t kResistance = 12; // R, hundredths of MPa
constexpr std::size_t kModulus = 14;    // U, tenths of MPa
constexpr std::size_t kCompaction = 16; // P7, hundredths
constexpr std::size_t kMoisture = 18;   // H, hundredths
constexpr std::size_t kFriction = 20;   // P6, tenths of a degree
constexpr std::size_t kCohesion = 22;   // S, ten-thousandths of MPa
constexpr std::size_t kMinute = 24;     // then the hour
constexpr std::size_t kDay = 26;        // then the month and the year − 2000

constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastDay = 31;
constexpr int kLastMonth = 12;
constexpr int kYearBase = 2000;

std::uint8_t imageByte(std::span<const std::uint8_t> image, std::size_t i)
{
    return i < image.size() ? image[i] : 0;
}

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

// Reads an unsigned decimal of min..max digits from the front of `s`, and consumes it.
std::optional<int> takeNumber(QStringView& s, int minDigits, int maxDigits)
{
    int digits = 0;
    int value = 0;
    while (digits < s.size() && digits < maxDigits && s[digits] >= u'0' && s[digits] <= u'9') {
        value = value * 10 + (s[digits].unicode() - '0');
        ++digits;
    }
    if (digits < minDigits)
        return std::nullopt;
    s = s.mid(digits);
    return value;
}

bool takeChar(QStringView& s, char c)
{
    if (s.isEmpty() || s.front() != QLatin1Char(c))
        return false;
    s = s.mid(1);
    return true;
}

std::size_t recordStart(std::size_t k)
{
    return kImageFirstRecord + k * kImageRecordSize;
}

} // namespace

std::uint16_t imageWord(std::span<const std::uint8_t> image, std::size_t i)
{
    return static_cast<std::uint16_t>(imageByte(image, i) | (imageByte(image, i + 1) << 8));
}

QString imageTime(std::span<const std::uint8_t> image, std::size_t i)
{
    const int minute = imageByte(image, i);
    const int hour = imageByte(image, i + 1);
    return twoDigits(hour > kLastHour ? 0 : hour) + QLatin1Char(':') + twoDigits(minute > kLastMinute ? 0 : minute);
}

QString imageDate(std::span<const std::uint8_t> image, std::size_t i)
{
    const int day = imageByte(image, i);
    const int month = imageByte(image, i + 1);
    const int year = kYearBase + imageByte(image, i + 2);
    return twoDigits(day == 0 || day > kLastDay ? 1 : day) + QLatin1Char('.') +
           twoDigits(month == 0 || month > kLastMonth ? 1 : month) + QLatin1Char('.') + QString::number(year);
}

std::optional<std::int64_t> stampSeconds(const QString& date, const QString& time)
{
    QStringView d = QStringView(date).trimmed();
    QStringView t = QStringView(time).trimmed();
    const auto day = takeNumber(d, 1, 2);
    if (!day || !takeChar(d, '.'))
        return std::nullopt;
    const auto month = takeNumber(d, 1, 2);
    if (!month || !takeChar(d, '.'))
        return std::nullopt;
    const auto year = takeNumber(d, 4, 4);
    if (!year || !d.isEmpty())
        return std::nullopt;
    const auto hour = takeNumber(t, 1, 2);
    if (!hour || !takeChar(t, ':'))
        return std::nullopt;
    const auto minute = takeNumber(t, 2, 2);
    if (!minute)
        return std::nullopt;
    std::optional<int> second = 0;
    if (takeChar(t, ':'))
        second = takeNumber(t, 2, 2);
    if (!second || !t.isEmpty())
        return std::nullopt;
    if (*day < 1 || *day > kLastDay || *month < 1 || *month > kLastMonth || *year < 1 ||
        *hour > kLastHour || *minute > kLastMinute || *second > 59)
        return std::nullopt;
    // Every month counts 31 days. A true calendar would put 31.02 on 03.03, after 01.03 and
    // 02.03: an Append whose table ends on such a record would then take the records of
    // early March as stored and lose them. Counted this way the texts order by their
    // numbers, year, month, day, hour, minute, whatever the instrument's clock wrote.
    const std::int64_t dayNumber = (static_cast<std::int64_t>(*year - 1) * kLastMonth + (*month - 1)) * kLastDay + *day;
    return dayNumber * 86400 + *hour * 3600 + *minute * 60 + *second;
}

DecodeResult decodeImage(MeasurementTable& table, const DownloadedImage& image, bool append)
{
    DecodeResult result;
    if (!table.isActive())
        return result;
    DbfTable& t = table.table();
    t.setFilter(kindFilter(kPenetrometerKind));
    t.refresh();
    t.last(); // file order: the caller has reset any sort, so this is the newest stored row

    const std::span<const std::uint8_t> bytes = image.bytes;
    // The count is the instrument's word; the bytes are what actually arrived. A count that
    // claims more records than arrived whole (a frame cut short, a corrupt count that still
    // passed the checksum) gets the records that are all there, and never a record pieced
    // together from stale or missing bytes.
    const std::size_t received = bytes.size() > kImageFirstRecord ? (bytes.size() - kImageFirstRecord) / kImageRecordSize : 0;
    const std::size_t count = std::min<std::size_t>(imageWord(bytes, kImageCountOffset), received);

    std::size_t first = 0;
    if (append) {
        std::int64_t lastKey = 0;
        if (t.recordCount() > 0) {
            const QString date = table.text(Field::DATE);
            const QString time = table.text(Field::TIME);
            const auto key = stampSeconds(date, time);
            if (!key)
                throw StoreError(StoreError::Code::BadDate,
                                 QStringLiteral("«%1 %2» — неверная дата или время").arg(date, time).toStdString());
            lastKey = *key;
        }
        // The instrument keeps its records in time order: everything up to the first record
        // stamped after the newest stored row is already in the table.
        while (first < count) {
            const std::size_t at = recordStart(first);
            // The texts imageDate and imageTime write always read back, so no key is missing.
            const auto key = stampSeconds(imageDate(bytes, at + kDay), imageTime(bytes, at + kMinute));
            if (key && *key > lastKey)
                break;
            ++first;
        }
    }
    result.skipped = static_cast<int>(first);

    auto word = [&](std::size_t at) { return imageWord(bytes, at); };
    try {
        for (std::size_t k = first; k < count; ++k) {
            const std::size_t at = recordStart(k);
            t.append();
            table.setReal(Field::N, static_cast<double>(k + 1));
            table.setText(Field::TIME, imageTime(bytes, at + kMinute));
            table.setText(Field::DATE, imageDate(bytes, at + kDay));
            table.setInteger(Field::DEV_TYPE, image.dev_type);
            table.setInteger(Field::SERIAL, image.dev_serial);
            table.setInteger(Field::NB_TYPE, kPenetrometerKind);
            const Field forces[] = {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};
            for (std::size_t i = 0; i < std::size(forces); ++i)
                table.setInteger(forces[i], word(at + kForce1 + 2 * i));
            table.setInteger(Field::P, word(at + kMeanForce));
            table.setReal(Field::R, word(at + kResistance) / 100.0);
            table.setReal(Field::U, word(at + kModulus) / 10.0);
            table.setReal(Field::P6, word(at + kFriction) / 10.0);
            // Without a friction angle the instrument has not computed the derived values;
            // their words hold nothing meaningful, so the fields stay empty.
            if (word(at + kFriction) != 0) {
                table.setReal(Field::P7, word(at + kCompaction) / 100.0);
                table.setReal(Field::H, word(at + kMoisture) / 100.0);
                table.setReal(Field::S, word(at + kCohesion) / 10000.0);
            }
            t.post();
            ++result.added;
        }
    } catch (...) {
        t.cancel(); // a row that failed halfway is not left pending for the next move to post
        throw;
    }
    t.refresh();
    return result;
}

} // namespace store
