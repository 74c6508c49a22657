// The word-at-a-time scans of field bytes against plain byte-by-byte versions, and the record
// buffer against a std::string doing the same edits.

#include "store/byte_buffer.h"
#include "store/dbf_table_impl.h"
#include "store/text_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace store::test {
namespace {

std::string_view plainRightTrimmed(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

std::string_view plainTrimmed(std::string_view s)
{
    s = plainRightTrimmed(s);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    return s;
}

// Mostly padding, with the bytes a carry between bytes of a word would confuse with it.
std::string randomField(std::mt19937& rng, int maxLength)
{
    static const char alphabet[] = {' ', ' ', ' ', '\0', 'x', '!', '\x01', '\x21', '\xA0', '\xFF', '0'};
    std::string s(std::uniform_int_distribution<std::size_t>(0, static_cast<std::size_t>(maxLength))(rng), ' ');
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    for (char& c : s)
        c = alphabet[pick(rng)];
    return s;
}

TEST(FieldScan, TrimmingCutsWhatAByteByByteTrimCuts)
{
    std::mt19937 rng(465);
    for (int i = 0; i < 50'000; ++i) {
        const std::string s = randomField(rng, 40);
        // Views that start anywhere inside a record, as fields do.
        const std::string record = "*" + s;
        const std::string_view field = std::string_view(record).substr(1);
        SCOPED_TRACE(testing::Message() << "case " << i << ", " << s.size() << " bytes");
        ASSERT_EQ(detail::rightTrimmed(field), plainRightTrimmed(field));
        ASSERT_EQ(detail::trimmed(field), plainTrimmed(field));
        ASSERT_EQ(detail::rightTrimmed(field).data(), field.data());
    }
}

TEST(FieldScan, DecodingARunGivesTheCharactersOfItsBytes)
{
    for (const auto page : {TextCodec::CodePage::Windows1251, TextCodec::CodePage::Dos866}) {
        const TextCodec& codec = TextCodec::get(page);
        std::mt19937 rng(1251);
        for (int i = 0; i < 20'000; ++i) {
            // Mostly ASCII, as dates and times are, with a byte above 127 here and there.
            std::string bytes(std::uniform_int_distribution<std::size_t>(0, 40)(rng), ' ');
            for (char& c : bytes)
                c = static_cast<char>(std::uniform_int_distribution<int>(0, 9)(rng) == 0
                                          ? std::uniform_int_distribution<int>(128, 255)(rng)
                                          : std::uniform_int_distribution<int>(0, 127)(rng));
            QString expected;
            for (char c : bytes)
                expected += codec.decode(std::string_view(&c, 1));
            SCOPED_TRACE(testing::Message() << "case " << i << ", " << bytes.size() << " bytes");
            ASSERT_EQ(codec.decode(bytes), expected);
        }
        EXPECT_TRUE(codec.decode("").isEmpty());
        EXPECT_FALSE(codec.decode("").isNull());
    }
}

TEST(FieldScan, RecordBufferHoldsWhatAStringWouldHold)
{
    std::mt19937 rng(100'000);
    ByteBuffer buffer;
    std::string mirror;
    for (int i = 0; i < 2'000; ++i) {
        const std::string chunk = randomField(rng, 600);
        buffer.append(chunk);
        mirror += chunk;
        if (!mirror.empty() && i % 3 == 0) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, mirror.size() - 1)(rng);
            const std::string patch = randomField(rng, static_cast<int>(mirror.size() - at));
            buffer.overwrite(at, patch);
            mirror.replace(at, patch.size(), patch);
        }
        ASSERT_EQ(buffer.size(), mirror.size());
    }
    ASSERT_EQ(std::string_view(buffer), mirror);

    ByteBuffer moved = std::move(buffer);
    EXPECT_EQ(std::string_view(moved), mirror);
    EXPECT_TRUE(buffer.empty()); // NOLINT(bugprone-use-after-move): a moved-from buffer is empty

    moved.resizeForOverwrite(10);
    EXPECT_EQ(std::string_view(moved), mirror.substr(0, 10)) << "shrinking keeps the first bytes";
}

} // namespace
} // namespace store::test
