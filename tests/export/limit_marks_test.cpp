// Tests below a limit, marked in what the export writes: the workbook's N cell red and bold,
// the CSV file's last column; nothing changes without limits.

#include "export/csv_export.h"
#include "export/table_export.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"

#include "tests/store/store_test_support.h"
#include "tests/xls/biff_test_support.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using store::Field;

// K (P7) and E (U) per test: 0.90/25 below K, 0.99/30 fine, 0.98/15 below E, empty: not judged.
std::vector<store::test::Cells> fixture()
{
    using store::test::Blank;
    return {
        {{Field::N, 1.0}, {Field::P7, 0.90}, {Field::U, 25.0}},
        {{Field::N, 2.0}, {Field::P7, 0.99}, {Field::U, 30.0}},
        {{Field::N, 3.0}, {Field::P7, 0.98}, {Field::U, 15.0}},
        {{Field::N, 4.0}, {Field::P7, Blank{}}, {Field::U, Blank{}}},
    };
}

class LimitMarks : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("t.db"));
        store::test::createTable(m_file, fixture());
        m_table.open(m_file);
    }

    // Per test (its first row), whether the N cell is marked, and that nothing else is styled.
    std::vector<bool> marksIn(const xls::XlsWorkbook& book)
    {
        std::vector<bool> marks(4, false);
        const xls::XlsWorksheet& sheet = book.sheet(0);
        for (int i = 0; i < sheet.cellCount(); ++i) {
            const xls::XlsCell cell = sheet.cellAt(i);
            if (cell.top() == 0 || cell.isPlain())
                continue; // the headings are styled of their own
            const xls::XlsRange* range = cell.range();
            EXPECT_EQ(cell.left(), 0) << "only the N cell is marked";
            EXPECT_EQ(range->Font.Color, 0x000000FFu);
            EXPECT_TRUE(range->Font.Style.Bold);
            const int test = (cell.top() - 1) / table_export::kRowsPerRecord;
            marks.at(std::size_t(test)) = true;
        }
        return marks;
    }

    QTemporaryDir m_dir;
    QString m_file;
    store::MeasurementTable m_table;
};

TEST_F(LimitMarks, WorkbookMarksTheNumberOfEachTestBelowALimit)
{
    struct Case {
        const char* name;
        document::Limits limits;
        std::vector<bool> marked;
    };
    const Case cases[] = {
        {"none", {}, {false, false, false, false}},
        {"K", {0.95, std::nullopt}, {true, false, false, false}},
        {"K and E", {0.95, 20.0}, {true, false, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xls::XlsWorkbook book;
        table_export::fillWorkbook(m_table, book, c.limits);
        EXPECT_EQ(marksIn(book), c.marked);
        // The values stay where they are.
        xls::XlsWorkbook plain;
        table_export::fillWorkbook(m_table, plain);
        ASSERT_EQ(book.sheet(0).cellCount(), plain.sheet(0).cellCount());
    }

    // An independent reader sees the marked N bold, the others not.
    xls::XlsWorkbook book;
    table_export::fillWorkbook(m_table, book, {0.95, 20.0});
    const QString file = m_dir.filePath(QStringLiteral("marked.xls"));
    xls::BiffWriter().save(book, file);
    const xls::test::OracleResult read = xls::test::readWithXlrd(file);
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.json) << read.failure;
    const QJsonObject sheet = read.json->value(QStringLiteral("sheets")).toArray().at(0).toObject();
    const QJsonObject cells = sheet.value(QStringLiteral("cells")).toObject();
    const QJsonArray xfs = read.json->value(QStringLiteral("xf_styles")).toArray();
    const QJsonArray fonts = read.json->value(QStringLiteral("font_styles")).toArray();
    const auto weightOfN = [&](int test) {
        const QJsonArray cell = cells.value(QStringLiteral("%1,0").arg(1 + test * 5)).toArray();
        const int font = xfs.at(cell.at(2).toInt()).toArray().at(0).toInt();
        return fonts.at(font).toArray().at(0).toInt();
    };
    EXPECT_EQ(weightOfN(0), 700);
    EXPECT_EQ(weightOfN(1), 400);
    EXPECT_EQ(weightOfN(2), 700);
    EXPECT_EQ(weightOfN(3), 400);
}

TEST_F(LimitMarks, CsvGetsAColumnNamingTheLimits)
{
    QLocale::setDefault(QLocale(QLocale::Russian));
    const QList<QByteArray> lines = table_export::csvBytes(m_table, {0.95, 20.0}).split('\n');
    QLocale::setDefault(QLocale::c());
    ASSERT_EQ(lines.size(), 6);
    // The heading holds a ";", so it is quoted.
    EXPECT_TRUE(lines[0].endsWith(";\"Нормативы: K ≥ 0,95; E ≥ 20 МПа\"\r")) << lines[0].toStdString();
    const QByteArray marks[] = {";не соотв.\r", ";\r", ";не соотв.\r", ";\r"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i + 1].endsWith(marks[i])) << lines[i + 1].toStdString();
    // Without limits, no such column.
    EXPECT_FALSE(table_export::csvBytes(m_table).contains("Нормативы"));
    EXPECT_EQ(table_export::csvHeadings().size(), table_export::csvHeadings({0.95, std::nullopt}).size() - 1);
}

} // namespace
