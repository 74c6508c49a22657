#include "store/text_codec.h"

#include "store/byte_scan.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace store {

namespace {

// One byte of the code page as the library converter reads it: Qt's (with ICU) on Linux; on
// Windows, where Qt is built without ICU and converts only Unicode, the system's own.
class ByteDecoder {
public:
    explicit ByteDecoder(TextCodec::CodePage page)
#ifdef _WIN32
        : m_codePage(page == TextCodec::CodePage::Dos866 ? 866 : 1251)
#else
        : m_decoder(page == TextCodec::CodePage::Dos866 ? "IBM866" : "windows-1251", QStringConverter::Flag::Stateless)
#endif
    {
    }

    QString decode(char byte)
    {
#ifdef _WIN32
        wchar_t wide[2];
        const int n = ::MultiByteToWideChar(m_codePage, MB_ERR_INVALID_CHARS, &byte, 1, wide, 2);
        return n == 1 ? QString(QChar(char16_t(wide[0]))) : QString(QChar::ReplacementCharacter);
#else
        return m_decoder.decode(QByteArrayView(&byte, 1));
#endif
    }

private:
#ifdef _WIN32
    unsigned m_codePage;
#else
    QStringDecoder m_decoder;
#endif
};

} // namespace

TextCodec::TextCodec(CodePage page) : m_page(page)
{
    ByteDecoder decoder(page);
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const QString ch = decoder.decode(byte);
        // A byte the code page leaves undefined (0x98 in 1251) still round-trips as itself
        // rather than turning into a replacement character that could not be written back.
        const char16_t u = (ch.size() == 1 && ch[0] != QChar::ReplacementCharacter)
                               ? ch[0].unicode()
                               : static_cast<char16_t>(b);
        m_toUnicode[static_cast<std::size_t>(b)] = u;
        m_fromUnicode.emplace(u, static_cast<unsigned char>(b));
    }
    for (char16_t b = 0; b < 0x80; ++b)
        m_asciiIsAscii = m_asciiIsAscii && m_toUnicode[b] == b;
    for (std::size_t b = 0; b < 256; ++b) {
        const QByteArray utf8 = QString(QChar(m_toUnicode[b])).toUtf8();
        Utf8& to = m_toUtf8[b];
        // One character of the Basic Multilingual Plane: never more than three bytes.
        to.size = static_cast<unsigned char>(std::min<qsizetype>(utf8.size(), qsizetype(kMaxUtf8PerByte)));
        std::copy_n(utf8.constData(), to.size, to.bytes);
    }
}

const TextCodec& TextCodec::get(CodePage page)
{
    static const TextCodec cp1251(CodePage::Windows1251);
    static const TextCodec cp866(CodePage::Dos866);
    return page == CodePage::Dos866 ? cp866 : cp1251;
}

TextCodec::CodePage TextCodec::fromLanguageDriver(unsigned char driver) noexcept
{
    return (driver == 0x26 || driver == 0x65) ? CodePage::Dos866 : CodePage::Windows1251;
}

QString TextCodec::decode(std::string_view bytes) const
{
    const std::size_t n = bytes.size();
    // An empty field (most of a table's text fields are) shares Qt's empty string: asking
    // it for writable data below would allocate.
    if (n == 0)
        return QString(0, Qt::Uninitialized);
    QString out(static_cast<qsizetype>(n), Qt::Uninitialized);
    QChar* dst = out.data();
    const char* src = bytes.data();
    std::size_t i = 0;
    if constexpr (detail::bytes8::kUsable) {
        // Eight plain ASCII bytes (dates, times, numbers) widen without the table: the
        // compiler turns that loop into a few vector instructions.
        for (; m_asciiIsAscii && n - i >= 8; i += 8) {
            if (detail::bytes8::load(src + i) & detail::bytes8::kHigh) {
                for (std::size_t k = i; k < i + 8; ++k)
                    dst[k] = QChar(m_toUnicode[static_cast<unsigned char>(src[k])]);
            } else {
                for (std::size_t k = i; k < i + 8; ++k)
                    dst[k] = QChar(static_cast<char16_t>(static_cast<unsigned char>(src[k])));
            }
        }
    }
    for (; i < n; ++i)
        dst[i] = QChar(m_toUnicode[static_cast<unsigned char>(src[i])]);
    return out;
}

char* TextCodec::toUtf8(std::string_view bytes, char* out) const noexcept
{
    const std::size_t n = bytes.size();
    const char* src = bytes.data();
    std::size_t i = 0;
    if constexpr (detail::bytes8::kUsable) {
        // Plain ASCII (most of a comment, every date and time) is the same in UTF-8: eight
        // bytes are copied at once.
        for (; m_asciiIsAscii && n - i >= 8; i += 8) {
            if (detail::bytes8::load(src + i) & detail::bytes8::kHigh)
                break;
            std::memcpy(out, src + i, 8);
            out += 8;
        }
    }
    for (; i < n; ++i) {
        const Utf8& to = m_toUtf8[static_cast<unsigned char>(src[i])];
        // Copying all three bytes and moving by the real size avoids a loop per character;
        // the caller leaves room for three per byte.
        std::memcpy(out, to.bytes, kMaxUtf8PerByte);
        out += to.size;
    }
    return out;
}

std::optional<std::string> TextCodec::encode(const QString& text) const
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 && m_toUnicode[u] == u) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        const auto it = m_fromUnicode.find(u);
        if (it == m_fromUnicode.end())
            return std::nullopt;
        out.push_back(static_cast<char>(it->second));
    }
    return out;
}

} // namespace store
