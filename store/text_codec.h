#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace store {

// An 8-bit code page of a table file. The byte-to-character table is filled once from the
// library converter (never typed in by hand) and then used directly, because a grid reads
// tens of thousands of short fields and a converter call per field would dominate.
class TextCodec {
public:
    enum class CodePage { Windows1251, Dos866 };

    static const TextCodec& get(CodePage page);
    // The code page a dBase language driver byte names: DOS 866 for its two Russian drivers,
    // Windows-1251 for everything else (this program's own files carry 0xC9).
    static CodePage fromLanguageDriver(unsigned char driver) noexcept;
    static constexpr unsigned char kWindows1251Driver = 0xC9;

    CodePage page() const noexcept { return m_page; }
    QString decode(std::string_view bytes) const;
    // The same text as UTF-8, written at `out`, which must have room for 3 bytes per byte of
    // `bytes` (every character of these code pages takes at most 3). Returns the end of what
    // was written. For writers that want bytes, not a QString per field.
    char* toUtf8(std::string_view bytes, char* out) const noexcept;
    static constexpr std::size_t kMaxUtf8PerByte = 3;
    // nullopt when a character has no place in this code page.
    std::optional<std::string> encode(const QString& text) const;

private:
    explicit TextCodec(CodePage page);
    CodePage m_page;
    std::array<char16_t, 256> m_toUnicode{};
    std::unordered_map<char16_t, unsigned char> m_fromUnicode;
    struct Utf8 {
        char bytes[kMaxUtf8PerByte];
        unsigned char size;
    };
    std::array<Utf8, 256> m_toUtf8{}; // from m_toUnicode, through the library's UTF-8 encoder
    bool m_asciiIsAscii = true; // bytes below 0x80 are the same characters (both our code pages)
};

} // namespace store
