// Text in C fields: Windows-1251 on disk, DOS 866 tables read by their language driver, and
// text that does not fit or cannot be encoded refused before anything is stored.

#include "store_test_support.h"

#include "store/text_codec.h"

#include <QStringEncoder>

#ifdef _WIN32
#include <windows.h>
#endif

namespace store::test {
namespace {

constexpr std::size_t kLanguageDriverAt = 29;

// The text in a code page, by the library converter: Qt's (with ICU) on Linux, the system's on
// Windows, where Qt converts only Unicode.
std::string encoded(const char* codePage, const QString& text)
{
#ifdef _WIN32
    const unsigned page = std::string(codePage) == "IBM866" ? 866 : 1251;
    const std::wstring wide = text.toStdWString();
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0, nullptr, &lossy);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), out.data(), n, nullptr, &lossy);
    EXPECT_FALSE(lossy) << codePage;
    return out;
#else
    QStringEncoder enc(codePage);
    EXPECT_TRUE(enc.isValid()) << codePage;
    const QByteArray b = enc.encode(text);
    EXPECT_FALSE(enc.hasError()) << codePage;
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
#endif
}

std::string padded(std::string s, std::size_t width)
{
    s.resize(width, ' ');
    return s;
}

using TextField = StoreTest;

TEST_F(TextField, CyrillicRoundTripsThroughTheFileAsWindows1251)
{
    struct Case {
        Field field;
        QString text;
    };
    const Case cases[] = {
        {Field::COMMENT, QStringLiteral("Суглинок тугопластичный, слой №2 — ЁЖЗ ёжз")},
        {Field::T, QStringLiteral("Испытание штампом")},
        {Field::TYPE, QStringLiteral("Плита 600 мм")},
        {Field::ZAV, QStringLiteral("Вид")},
        {Field::DATE, QStringLiteral("31.01.2005")},
        {Field::COMMENT, QString(100, QChar(0x044F))}, // a hundred "я": exactly the width
        {Field::T, QStringLiteral("  ведущие пробелы остаются")},
        {Field::COMMENT, QStringLiteral("€‰«»")}, // punctuation that Windows-1251 has
    };
    const QString file = path("text.db");
    MeasurementTable::create(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        {
            MeasurementTable t;
            t.open(file);
            appendRow(t, {{c.field, c.text}});
            EXPECT_EQ(t.text(c.field), c.text);
        }
        MeasurementTable t;
        t.open(file);
        t.table().last();
        const int col = t.column(c.field);
        const auto width = static_cast<std::size_t>(t.table().fields()[static_cast<std::size_t>(col)].width);
        EXPECT_EQ(std::string(t.table().rawField(*t.table().currentRecord(), col)),
                  padded(encoded("windows-1251", c.text), width));
        EXPECT_EQ(t.text(c.field), c.text);
    }
}

TEST_F(TextField, TextWiderThanItsFieldOrOutsideTheCodePageIsRefused)
{
    struct Case {
        Field field;
        QString text;
        StoreError::Code code;
    };
    const Case cases[] = {
        {Field::COMMENT, QString(101, QChar(0x044F)), StoreError::Code::ValueTooWide},
        {Field::T, QString(51, QLatin1Char('x')), StoreError::Code::ValueTooWide},
        {Field::DATE, QStringLiteral("31.01.20055"), StoreError::Code::ValueTooWide},
        {Field::TIME, QStringLiteral("12:30:00:0"), StoreError::Code::ValueTooWide},
        {Field::COMMENT, QStringLiteral("Grüße"), StoreError::Code::BadText},
        {Field::COMMENT, QStringLiteral("Ελληνικά"), StoreError::Code::BadText},
        {Field::T, QStringLiteral("漢字"), StoreError::Code::BadText},
        {Field::T, QStringLiteral("слой 😀"), StoreError::Code::BadText},
        {Field::COMMENT, QStringLiteral("Łódź"), StoreError::Code::BadText},
    };
    const QString file = path("refused.db");
    createTable(file, {{{Field::COMMENT, QStringLiteral("прежний")}, {Field::T, QStringLiteral("прежний")},
                        {Field::DATE, QStringLiteral("01.02.2003")}, {Field::TIME, QStringLiteral("10:00")}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const std::string before = readBytes(file);
        {
            MeasurementTable t;
            t.open(file);
            const QString old = t.text(c.field);
            t.table().edit();
            try {
                t.setText(c.field, c.text);
                ADD_FAILURE() << "accepted";
            } catch (const StoreError& e) {
                EXPECT_EQ(e.code(), c.code) << e.what();
            }
            EXPECT_EQ(t.text(c.field), old) << "the edit buffer keeps the old text";
            t.table().post();
            EXPECT_EQ(t.text(c.field), old);

            // The same text is refused in a new row too, and the row is never half written.
            t.table().append();
            EXPECT_THROW(t.setText(c.field, c.text), StoreError);
            t.table().cancel();
            EXPECT_EQ(t.table().physicalCount(), 1u);
        }
        EXPECT_EQ(readBytes(file).substr(32), before.substr(32));
    }
}

TEST_F(TextField, TheLanguageDriverByteChoosesTheCodePage)
{
    struct Case {
        unsigned char driver;
        const char* codePage;
    };
    const Case cases[] = {
        {0x26, "IBM866"},       // DOS Russian
        {0x65, "IBM866"},       // DOS Russian (dBase IV)
        {0xC9, "windows-1251"}, // Windows Russian, what this program writes
        {0x00, "windows-1251"}, // no driver named: the instrument's tables are Windows-1251
    };
    const QString comment = QStringLiteral("Песок мелкий, влажный; ЁЖЩЪ №5");
    const QString kind = QStringLiteral("Штамп");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "driver 0x" << std::hex << int(c.driver));
        const QString file = path("driver.db");
        createTable(file, {{{Field::P, 1.0}}});
        // Put the driver byte and text in that code page into the file, as a DOS program would.
        std::string b = readBytes(file);
        b[kLanguageDriverAt] = static_cast<char>(c.driver);
        const std::size_t headerLength = u16At(b, 8);
        const std::size_t commentAt = headerLength + 1 + 18 + 10 + 8 + 4 + 18 + 4 + 18 + 18 + 8 + 15;
        b.replace(commentAt, 100, padded(encoded(c.codePage, comment), 100));
        writeBytes(file, b);

        MeasurementTable t;
        t.open(file);
        ASSERT_EQ(t.table().rawField(0, t.column(Field::COMMENT)).data() - t.table().rawField(0, 0).data(),
                  static_cast<std::ptrdiff_t>(commentAt - headerLength - 1))
            << "the test's idea of the COMMENT offset";
        EXPECT_EQ(t.text(Field::COMMENT), comment);

        // Text written to such a table goes out in the same code page.
        t.table().edit();
        t.setText(Field::T, kind);
        t.table().post();
        EXPECT_EQ(std::string(t.table().rawField(0, t.column(Field::T))), padded(encoded(c.codePage, kind), 50));
        t.close();
        EXPECT_EQ(byteAt(readBytes(file), kLanguageDriverAt), c.driver) << "the driver byte is kept";
    }
}

TEST(TextCodecTables, EveryByteDecodesAndEncodesBackToItself)
{
    for (auto page : {TextCodec::CodePage::Windows1251, TextCodec::CodePage::Dos866}) {
        const TextCodec& codec = TextCodec::get(page);
        std::string all;
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        const QString text = codec.decode(all);
        ASSERT_EQ(text.size(), 256);
        EXPECT_EQ(codec.encode(text), all);
    }
    EXPECT_EQ(TextCodec::get(TextCodec::CodePage::Windows1251).decode("\xC0\xFF\xA8\xB8\xB9"), QStringLiteral("АяЁё№"));
    EXPECT_EQ(TextCodec::get(TextCodec::CodePage::Dos866).decode("\x80\xEF\xF0\xF1\xFC"), QStringLiteral("АяЁё№"));
}

} // namespace
} // namespace store::test
