// Paths held as UTF-16 text (as Qt holds them) in the form the file layer takes, and files
// written under such names: on Windows a Cyrillic folder and file name must reach the system
// as the same UTF-16 name, whole files replaced there and read back.

#include "platform_test_support.h"

#include "platform/replacement_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::test {
namespace {

TEST(Utf16Names, BecomeUtf8)
{
    struct Case {
        std::u16string_view text;
        std::string_view utf8;
    };
    for (const Case& c : std::initializer_list<Case>{
             {u"", ""},
             {u"C:\\data\\site.db", "C:\\data\\site.db"},
             {u"Испытания/участок №1.csv",
              "\xD0\x98\xD1\x81\xD0\xBF\xD1\x8B\xD1\x82\xD0\xB0\xD0\xBD\xD0\xB8\xD1\x8F/"
              "\xD1\x83\xD1\x87\xD0\xB0\xD1\x81\xD1\x82\xD0\xBE\xD0\xBA \xE2\x84\x96" "1.csv"},
             {u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},               // two and three bytes
             {u"\U0001D11E.pdf", "\xF0\x9D\x84\x9E.pdf"},             // a surrogate pair: four bytes
             {std::u16string_view(u"a\xD800" "b", 3), "a\xEF\xBF\xBD" "b"}, // a lone high surrogate
             {std::u16string_view(u"\xDC00", 1), "\xEF\xBF\xBD"},     // a lone low surrogate
         }) {
        EXPECT_EQ(utf8FromUtf16(c.text), c.utf8);
    }
}

TEST(Utf16Names, ACyrillicFolderAndFileAreWrittenWholeAndReplaced)
{
    TempFolder temp;
    const std::u16string folderName = u"Отчёты участка";
    const std::u16string fileName = u"протокол №2.csv";
    const fs::path folder = temp.path() / fs::path(folderName);
    fs::create_directory(folder);
    const std::string target =
        utf8FromUtf16(folder.u16string() + static_cast<char16_t>(fs::path::preferred_separator) + fileName);

    // A new file.
    {
        ReplacementFile file(target);
        file.file().writeAt(0, "N;P\r\n1;105,5\r\n");
        file.commit();
    }
    // The system holds it under the very name given, nothing beside it.
    std::vector<std::u16string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().u16string());
    EXPECT_EQ(names, std::vector<std::u16string>{fileName});
    EXPECT_EQ(readWhole(utf8Of(folder / fs::path(fileName))), "N;P\r\n1;105,5\r\n");
    EXPECT_TRUE(fileExists(target));
    EXPECT_TRUE(pathInfo(target).regular);

    // An existing file replaced whole, through its name as the layer resolves it.
    {
        ReplacementFile file(resolvedPath(target));
        file.file().writeAt(0, "N;P\r\n2;206,25\r\n");
        file.commit();
    }
    names.clear();
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().u16string());
    EXPECT_EQ(names, std::vector<std::u16string>{fileName});
    EXPECT_EQ(readWhole(utf8Of(folder / fs::path(fileName))), "N;P\r\n2;206,25\r\n");
}

} // namespace
} // namespace platform::test
