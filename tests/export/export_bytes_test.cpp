// The files the program writes, byte for byte: fixed tables are made here, written by the
// store, exported through the workbook model and the BIFF8 writer, and the bytes of every
// file compared with what the program has always written for them (as SHA-256 digests).
// Work on speed must leave every byte where it was; a change of the format is made on
// purpose, with new digests. (The workbook digests last changed when the sheet got its
// layout - bold wrapped headings, column widths, frozen and repeated heading row, landscape
// fit-to-width printing - and FONT weights, EXTSST's bucket size and the code page followed
// the published format; and again when a missing number stopped being written as 0.)

#include "export/table_export.h"
#include "store/measurement_table.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace {

using store::Field;
using store::MeasurementTable;

// A small generator that gives the same numbers on every platform and library.
class Numbers {
public:
    explicit Numbers(std::uint32_t seed) : m_state(seed) {}
    std::uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t m_state;
};

QByteArray digestOf(QByteArray bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

// The table file with the header's date of last update zeroed: it is the day of writing.
QByteArray tableDigest(const QString& path)
{
    QByteArray bytes = fileBytes(path);
    if (bytes.size() > 4)
        bytes[1] = bytes[2] = bytes[3] = 0;
    return digestOf(bytes);
}

// `records` rows of the instrument's ranges, every third a press row, with the edge cases a
// writer meets: empty fields, -0, whole and fractional numbers, long Cyrillic texts,
// repeated and unique comments.
void writeTable(const QString& path, int records)
{
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    Numbers rng(static_cast<std::uint32_t>(records) * 7919u + 17u);
    const QString comments[] = {QString(), QStringLiteral("Суглинок тугопластичный"),
                                QStringLiteral("Песок мелкий, влажный; \"кавычки\" и ёЁ"),
                                QString(100, QChar(u'ж'))};
    t.table().beginBatch();
    for (int k = 0; k < records; ++k) {
        t.table().append();
        t.setReal(Field::N, k + 1);
        t.setText(Field::DATE, QStringLiteral("%1.%2.20%3")
                                   .arg(1 + rng.below(28), 2, 10, QLatin1Char('0'))
                                   .arg(1 + rng.below(12), 2, 10, QLatin1Char('0'))
                                   .arg(rng.below(25), 2, 10, QLatin1Char('0')));
        if (k % 11 != 5)
            t.setText(Field::TIME, QStringLiteral("%1:%2").arg(rng.below(24), 2, 10, QLatin1Char('0')).arg(rng.below(60), 2, 10, QLatin1Char('0')));
        t.setInteger(Field::NB_TYPE, k % 3 == 2 ? store::kPressKind : store::kPenetrometerKind);
        t.setInteger(Field::DEV_TYPE, k % 7 == 0 ? 13 : 4);
        for (Field f : {Field::P, Field::R, Field::U, Field::P7, Field::H, Field::P6, Field::S, Field::P1, Field::P2,
                        Field::P3, Field::P4, Field::P5}) {
            const int pick = rng.below(20);
            if (pick == 0)
                continue; // empty
            if (pick == 1)
                t.setReal(f, -0.0);
            else if (pick < 8)
                t.setReal(f, rng.below(3000));
            else
                t.setReal(f, (static_cast<double>(rng.next() % 200000000) - 1000000.0) / 1000.0);
        }
        if (k % 3 == 0)
            t.setText(Field::COMMENT, comments[rng.below(4)]);
        else if (k % 5 == 1)
            t.setText(Field::COMMENT, QStringLiteral("точка %1").arg(k));
        t.table().post();
    }
    t.table().endBatch();
}

struct Case {
    const char* name;
    int records;
    int kind; // the tab shown; -1: no kind filter yet
    const char* tableDigest;
    const char* workbookDigest;
};

class ExportBytes : public ::testing::TestWithParam<Case> {};

TEST_P(ExportBytes, AreWhatTheProgramHasAlwaysWritten)
{
    const Case& c = GetParam();
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("t.db"));
    writeTable(table, c.records);
    const QByteArray written = tableDigest(table);

    MeasurementTable t;
    t.open(table);
    if (c.kind >= 0) {
        t.table().setFilter(store::kindFilter(c.kind));
        t.table().refresh();
    }
    xls::XlsWorkbook book;
    table_export::fillWorkbook(t, book);
    const QString workbook = dir.filePath(QStringLiteral("t.xls"));
    xls::BiffWriter().save(book, workbook);
    const QByteArray exported = digestOf(fileBytes(workbook));

    // The messages name the digests written, for a change of the bytes made on purpose.
    EXPECT_EQ(written, QByteArray(c.tableDigest)) << "the table file: " << written.constData();
#ifdef _WIN32
    // The compound file around the Workbook stream is the system's own on Windows; the stream
    // is compared with Linux's byte for byte by scripts/test-windows.
    (void)exported;
#else
    EXPECT_EQ(exported, QByteArray(c.workbookDigest)) << "the workbook: " << exported.constData();
#endif
}

INSTANTIATE_TEST_SUITE_P(Tables, ExportBytes, ::testing::Values(
    Case{"empty", 0, store::kPenetrometerKind,
         "d3af8acfb0f176d9b8842cd46945d580488c3554cfb2e0bb6d75b73790ee78a1",
         "adba8117228ab66f5fa5ea2e3e8d65bd1d36159f11b0b6dcf05700f2d2777e24"},
    Case{"few_rows_first_tab", 12, store::kPenetrometerKind,
         "9f32ad5089f6a3e74cd125bd792ec413aec8cd13fddb95f764a92cb91ec8fe4d",
         "1bb00adcca0ae7646cbc84e96de2293202576961c5c1dbc510114a815aafccd4"},
    Case{"few_rows_second_tab", 12, store::kPressKind,
         "9f32ad5089f6a3e74cd125bd792ec413aec8cd13fddb95f764a92cb91ec8fe4d",
         "7a7efae7bfa5f9ceec742dd0baf38253a6271b8e81127d88a5675790dab946fe"},
    Case{"every_row", 300, -1,
         "9f33acf4559ac336178c66e925fd15071c7ee92f8dec100a1f23f55f3a2c1488",
         "d25b7b3c457dc7fce756b992a21dcdde85f0b6327a3569699b214f679f335ce3"},
    // More records than one sheet holds, and a shared-string table long enough to be
    // continued over several records.
    Case{"two_sheets", 13'200, -1,
         "f02cf97c34445b36878bd42ce7ce46187ff7d9a4a425ea3bc77a1871ee9deeb1",
         "546e7156ed9cdadd3ec0bb05f29b312f78b0baa27fbbb4879e21d35564fc7b7f"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
