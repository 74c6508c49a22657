// A table big enough to be read in two halves at once: every record must land where it
// belongs, around the seam too, and the tail after the records must be judged as before.

#include "store_test_support.h"

#include <string>

namespace store::test {
namespace {

using BigTable = StoreTest;

constexpr int kWidth = 254;          // one C field: 255-byte records
constexpr std::uint32_t kRows = 80'000; // 20 MB of records

std::string rowText(std::uint32_t row)
{
    return "row " + std::to_string(row) + " of " + std::to_string(kRows);
}

// The bytes of a table of kRows records, each naming its own number; `tail` follows them.
std::string bigTable(const QString& path, const std::string& tail)
{
    DbfTable::create(path, {FieldDef{"T", FieldType::Character, kWidth, 0}});
    std::string bytes = readBytes(path);
    bytes.pop_back(); // the end mark of the empty table
    putU32At(bytes, 4, kRows);
    bytes.reserve(bytes.size() + std::size_t(kRows) * (kWidth + 1) + tail.size());
    for (std::uint32_t r = 0; r < kRows; ++r) {
        std::string text = rowText(r);
        text.resize(kWidth, ' ');
        bytes += ' ';
        bytes += text;
    }
    return bytes + tail;
}

TEST_F(BigTable, EveryRecordIsReadIntoItsPlace)
{
    struct Case {
        const char* name;
        std::string tail; // what follows the counted records
    };
    const Case cases[] = {
        {"end mark", "\x1A"},
        {"no end mark", ""},
        {"a record cut short", std::string(100, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("big.db"));
        const std::string bytes = bigTable(file, c.tail);
        writeBytes(file, bytes);
        {
            DbfTable t;
            t.open(file);
            ASSERT_EQ(t.physicalCount(), kRows);
            ASSERT_EQ(t.recordCount(), static_cast<int>(kRows));
            for (std::uint32_t r = 0; r < kRows; ++r)
                ASSERT_EQ(t.text(r, 0), QString::fromStdString(rowText(r))) << "record " << r;
            // A post puts the end mark right after the records whatever followed them.
            t.editRecord(0);
            t.post();
        }
        const std::string after = readBytes(file);
        const std::size_t end = bytes.size() - c.tail.size();
        ASSERT_EQ(after.size(), end + 1);
        EXPECT_EQ(after.back(), '\x1A');
        EXPECT_EQ(after.compare(32, end - 32, bytes, 32, end - 32), 0) << "the records stay as they were";
    }
}

} // namespace
} // namespace store::test
