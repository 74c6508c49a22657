// The export written as .xlsx beside the .xls: a small table filled into one workbook model,
// saved by both writers, and the two files read back by independent readers - xlrd and
// openpyxl cell by cell with the sheet's layout, and LibreOffice converting each to CSV.

#include "export/table_export.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"
#include "xls/xlsx_writer.h"

#include "tests/store/store_test_support.h"
#include "tests/xls/biff_test_support.h"
#include "tests/xls/xlsx_test_support.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using store::Field;
using store::MeasurementTable;
using store::test::Blank;
using store::test::Cell;
using store::test::Cells;

// Four penetrometer tests and a press test (not on the first tab): a comment in Cyrillic, an
// empty comment, an empty time, an empty force and an empty K (both left empty cells, not 0),
// a test below the K limit, and a comment that looks like the file's escape of a character.
std::vector<Cells> fixture()
{
    std::vector<Cells> rows;
    for (int k = 0; k < 4; ++k) {
        Cells cells = {
            {Field::N, double(k + 1)},
            {Field::DATE, QStringLiteral("%1.05.2024").arg(10 + k)},
            {Field::TIME, k == 2 ? Cell(Blank{}) : Cell(QStringLiteral("09:%1").arg(k * 11, 2, 10, QLatin1Char('0')))},
            {Field::NB_TYPE, double(store::kPenetrometerKind)},
            {Field::P, 812.0 + k * 37},
            {Field::R, 1.25 + k},
            {Field::U, 21.5 + k},
            {Field::P7, k == 1 ? Cell(0.9) : k == 2 ? Cell(Blank{}) : Cell(0.97)},
            {Field::H, 0.61},
            {Field::P6, 27.3},
            {Field::S, 0.0125},
            {Field::P1, 700.0 + k},
            {Field::P2, 800.0},
            {Field::P3, k == 3 ? Cell(Blank{}) : Cell(900.0)},
            {Field::P4, 1000.0},
            {Field::P5, 1100.5},
        };
        if (k != 2)
            cells.emplace_back(Field::COMMENT, QStringLiteral("суглинок «тугопластичный», т. %1").arg(k));
        if (k == 3) // what a spreadsheet could take for a character code
            cells.back().second = QStringLiteral("шифр пробы _x0041_");
        rows.push_back(cells);
    }
    rows.push_back({{Field::N, 5.0}, {Field::NB_TYPE, double(store::kPressKind)}, {Field::P, 3.0}});
    return rows;
}

// The sheet column of K.
constexpr int kKColumn = 6;

class XlsxExportTest : public store::test::StoreTest {
protected:
    void SetUp() override
    {
        const QString table = path(QStringLiteral("t.db"));
        store::test::createTable(table, fixture());
        MeasurementTable t;
        t.open(table);
        t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        t.table().refresh();
        m_records = table_export::fillWorkbook(t, m_book, document::Limits{0.95, std::nullopt});
        m_xls = path(QStringLiteral("книга.xls"));
        m_xlsx = path(QStringLiteral("книга.xlsx"));
        xls::BiffWriter().save(m_book, m_xls);
        xls::XlsxWriter().save(m_book, m_xlsx);
    }

    xls::XlsWorkbook m_book;
    int m_records = 0;
    QString m_xls, m_xlsx;
};

TEST_F(XlsxExportTest, SameCellsAndLayoutAsTheXls)
{
    ASSERT_EQ(m_records, 4);
    const xls::test::OracleResult old = xls::test::readWithXlrd(m_xls);
    const xls::test::XlsxResult read = xls::test::readWithOpenpyxl(m_xlsx);
    if (!old.skipReason.empty())
        GTEST_SKIP() << old.skipReason;
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(old.failure.empty()) << old.failure;
    ASSERT_TRUE(read.failure.empty()) << read.failure;
    EXPECT_TRUE(xls::test::sameAsXls(*old.json, *read.json));
    EXPECT_EQ(read.json->value("warnings").toArray(), QJsonArray{});

    // The layout the export sets, as openpyxl finds it in the .xlsx.
    const QJsonObject sheet = read.json->value("sheets").toArray().at(0).toObject();
    EXPECT_EQ(sheet.value("name").toString(), QStringLiteral("ВРТ-ТК5"));
    const QJsonObject cells = sheet.value("cells").toObject();
    EXPECT_EQ(cells.size(), table_export::kColumnCount + 16 * m_records - 2)
        << "headings, 16 cells a test, none for the empty K and force";
    EXPECT_EQ(sheet.value("freeze").toString(), QStringLiteral("A2"));
    EXPECT_EQ(sheet.value("print_titles").toString(), QStringLiteral("$1:$1"));
    EXPECT_EQ(sheet.value("widths").toObject().size(), table_export::kColumnCount);
    EXPECT_EQ(sheet.value("heights").toObject().value(QStringLiteral("0")).toDouble(),
              m_book.sheet(0).rowHeight(0)->Height / 20.0);
    const QJsonObject page = sheet.value("page").toObject();
    EXPECT_EQ(page.value("orientation").toString(), QStringLiteral("landscape"));
    EXPECT_TRUE(page.value("fit").toBool());
    EXPECT_EQ(page.value("fit_width").toInt(1), 1);
    EXPECT_EQ(page.value("fit_height").toInt(1), 0);
    EXPECT_EQ(page.value("paper").toInt(), 9);
    const QJsonArray margins = page.value("margins").toArray();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(margins.at(i).toDouble(), 0.4) << "margin " << i;

    // Headings bold, wrapped, centred; values plain Arial 10; the test below K red and bold.
    for (int c = 0; c < table_export::kColumnCount; ++c) {
        const QJsonObject style = cells.value(QStringLiteral("0,%1").arg(c)).toArray().at(2).toObject();
        EXPECT_TRUE(style.value("font").toArray().at(2).toBool()) << "heading " << c;
        EXPECT_EQ(style.value("align").toArray(), (QJsonArray{QStringLiteral("center"), QStringLiteral("center"), true, 0}));
    }
    const auto font = [&](int row, int column) {
        return cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toArray().at(2).toObject().value("font").toArray();
    };
    EXPECT_EQ(font(1, 1).at(0).toString(), QStringLiteral("Arial"));
    EXPECT_EQ(font(1, 1).at(1).toDouble(), 10.0);
    EXPECT_FALSE(font(1, 0).at(2).toBool());
    EXPECT_TRUE(font(6, 0).at(2).toBool()) << "the second test is below K";
    EXPECT_EQ(font(6, 0).at(6).toString(), QStringLiteral("FFFF0000"));

    // Neither reader finds a cell where a value is missing; a stored 0 would have been one.
    const auto key = [](int row, int column) { return QStringLiteral("%1,%2").arg(row).arg(column); };
    const QJsonObject oldCells = old.json->value("sheets").toArray().at(0).toObject().value("cells").toObject();
    const int noK = table_export::recordPlace(2).row;
    const int noForce = table_export::recordPlace(3).row + 2;
    for (const QJsonObject* found : {&cells, &oldCells}) {
        EXPECT_FALSE(found->contains(key(noK, kKColumn))) << "the missing K";
        EXPECT_FALSE(found->contains(key(noForce, table_export::kForceColumn))) << "the missing force";
        EXPECT_TRUE(found->contains(key(noK, kKColumn + 1))) << "the value beside it";
    }
}

TEST_F(XlsxExportTest, LibreOfficeReadsTheSameRowsFromBoth)
{
    const xls::test::CsvResult fromXls = xls::test::convertWithLibreOffice(m_xls, path(QStringLiteral("lo_xls")));
    if (!fromXls.skipReason.empty())
        GTEST_SKIP() << fromXls.skipReason;
    ASSERT_TRUE(fromXls.failure.empty()) << fromXls.failure;
    const xls::test::CsvResult fromXlsx = xls::test::convertWithLibreOffice(m_xlsx, path(QStringLiteral("lo_xlsx")));
    ASSERT_TRUE(fromXlsx.failure.empty()) << fromXlsx.failure;
    const std::vector<std::vector<QString>>& rows = *fromXls.rows;
    ASSERT_EQ(rows.size(), std::size_t(1 + 5 * m_records));
    EXPECT_EQ(rows[0].at(table_export::kCommentColumn), QStringLiteral("Примечание"));
    // Missing stays missing: the third test's K and the fourth's third force are empty, and
    // a measured value beside them is still there.
    const auto at = [&](int row, int column) { return rows[std::size_t(row)].at(std::size_t(column)); };
    EXPECT_EQ(at(table_export::recordPlace(2).row, kKColumn), QString());
    EXPECT_EQ(at(table_export::recordPlace(1).row, kKColumn), QStringLiteral("0.9"));
    EXPECT_EQ(at(table_export::recordPlace(3).row + 2, table_export::kForceColumn), QString());
    EXPECT_EQ(at(table_export::recordPlace(2).row + 2, table_export::kForceColumn), QStringLiteral("900"));
    ASSERT_EQ(fromXlsx.rows->size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(fromXlsx.rows->at(r), rows[r]) << "row " << r;
}

} // namespace
