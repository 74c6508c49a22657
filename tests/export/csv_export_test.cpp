// The CSV export: what Python's csv module and LibreOffice (as a Russian user opens the file)
// read from it, the kind filter, and a file that cannot be written.

#include "export/csv_export.h"

#include "store/dbf_table.h"
#include "store/store_error.h"
#include "store/text_codec.h"
#include "tests/store/store_test_support.h"
#include "tests/xls/biff_test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>

namespace {

using store::Field;
using store::MeasurementTable;
using store::test::Blank;
using store::test::Cells;

const QStringList kHeadings = {
    "N", "Дата", "Время", "Fср. Ср. усилие пенетрации, Н", "P, Сопротивление пенетрации, МПа",
    "E, Модуль упругости, МПа", "K, Коэфициент уплотнения", "I, Индекс влажности",
    "f, Угол внутреннего трения, град", "C, Удельное сцепление грунта, МПа",
    "F1, Усилие пенетрации, Н", "F2, Усилие пенетрации, Н", "F3, Усилие пенетрации, Н",
    "F4, Усилие пенетрации, Н", "F5, Усилие пенетрации, Н", "Примечание",
};

// Field by CSV column.
const Field kFields[] = {Field::N, Field::DATE, Field::TIME, Field::P, Field::R, Field::U,
                         Field::P7, Field::H, Field::P6, Field::S, Field::P1, Field::P2,
                         Field::P3, Field::P4, Field::P5, Field::COMMENT};

struct Row {
    Cells cells;
    QStringList expected; // the CSV fields as a reader gives them back
};

// Numbers with fractions, a large one, a negative one, an empty one; comments that need
// quoting or would be taken for a formula.
std::vector<Row> fixture()
{
    return {
        {{{Field::N, 1.0}, {Field::DATE, QStringLiteral("05.03.2024")}, {Field::TIME, QStringLiteral("10:15")},
          {Field::NB_TYPE, 0.0}, {Field::P, 1234.5}, {Field::R, 2.25}, {Field::U, 17.0}, {Field::P7, 0.95},
          {Field::H, 0.125}, {Field::P6, 31.0}, {Field::S, 0.021}, {Field::P1, 1200.0}, {Field::P2, 1250.25},
          {Field::P3, 1190.0}, {Field::P4, 1300.0}, {Field::P5, 1232.25},
          {Field::COMMENT, QStringLiteral("насыпь; слой 2, \"плотный\"")}},
         {"1", "05.03.2024", "10:15", "1234,5", "2,25", "17", "0,95", "0,125", "31", "0,021", "1200",
          "1250,25", "1190", "1300", "1232,25", "насыпь; слой 2, \"плотный\""}},
        {{{Field::N, 2.0}, {Field::DATE, QStringLiteral("06.03.2024")}, {Field::TIME, QStringLiteral("11:00")},
          {Field::NB_TYPE, 0.0}, {Field::P, 100000.0}, {Field::R, -0.5}, {Field::U, Blank{}},
          {Field::P7, Blank{}}, {Field::COMMENT, QStringLiteral("=1+1")}},
         {"2", "06.03.2024", "11:00", "100000", "-0,5", "", "", "", "", "", "", "", "", "", "", "'=1+1"}},
        {{{Field::N, 3.0}, {Field::DATE, QStringLiteral("07.03.2024")}, {Field::TIME, QStringLiteral("12:30")},
          {Field::NB_TYPE, double(store::kPressKind)}, {Field::P, 55.5}, {Field::R, 1.0},
          {Field::COMMENT, QStringLiteral("пресс")}},
         {"3", "07.03.2024", "12:30", "55,5", "1", "", "", "", "", "", "", "", "", "", "", "пресс"}},
    };
}

class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        std::vector<Cells> rows;
        for (const Row& r : fixture())
            rows.push_back(r.cells);
        m_table = m_dir.filePath(QStringLiteral("site.db"));
        store::test::createTable(m_table, rows);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The file read back by Python's csv module as a Russian spreadsheet file: UTF-8 with a
    // byte-order mark, ";" between fields.
    std::optional<std::vector<QStringList>> readWithPython(const QString& file)
    {
#ifdef _WIN32
        // Python is Linux's; under Wine, scripts/test-windows compares the CSV with Linux's.
        (void)file;
        return std::nullopt;
#endif
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import csv, json, sys\n"
                                     "raw = open(sys.argv[1], 'rb').read()\n"
                                     "assert raw.startswith(b'\\xef\\xbb\\xbf'), 'no BOM'\n"
                                     "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                     "    print(json.dumps(list(csv.reader(f, delimiter=';'))))\n"),
                      file});
        if (!python.waitForFinished(30000) || python.exitCode() != 0) {
            ADD_FAILURE() << python.readAllStandardError().toStdString();
            return std::nullopt;
        }
        std::vector<QStringList> rows;
        for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
            QStringList fields;
            for (const QJsonValue& f : row.toArray())
                fields << f.toString();
            rows.push_back(fields);
        }
        return rows;
    }

    QTemporaryDir m_dir;
    QString m_table;
};

TEST_F(CsvExportTest, PythonReadsEveryFieldBackInItsColumn)
{
    MeasurementTable table;
    table.open(m_table);
    const QString out = path(QStringLiteral("all.csv"));
    EXPECT_EQ(table_export::writeCsvFile(table, out), 3);
    table.close();

    const auto rows = readWithPython(out);
#ifdef _WIN32
    GTEST_SKIP() << "no Python reader on Windows";
#endif
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ(rows->front(), kHeadings);
    const std::vector<Row> expected = fixture();
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ((*rows)[i + 1], expected[i].expected) << "record " << i + 1;
}

TEST_F(CsvExportTest, BytesAreWhatASpreadsheetOpensByDoubleClick)
{
    MeasurementTable table;
    table.open(m_table);
    const QByteArray bytes = table_export::csvBytes(table);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    // Every line ends in CR LF, also the last; the quoted comment's line break is not a line.
    const QList<QByteArray> lines = bytes.mid(3).split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines.back().isEmpty());
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i].endsWith('\r')) << i;
    EXPECT_EQ(QString::fromUtf8(lines[0].chopped(1)), kHeadings.join(QLatin1Char(';')));
    EXPECT_TRUE(lines[1].endsWith(";\"насыпь; слой 2, \"\"плотный\"\"\"\r")) << lines[1].toStdString();
    // An empty number is an empty field, never a 0.
    EXPECT_TRUE(lines[2].contains("100000;-0,5;;;;;;;;;;;'=1+1")) << lines[2].toStdString();

    // The closed table gives nothing at all.
    table.close();
    EXPECT_TRUE(table_export::csvBytes(table).isEmpty());
}

TEST_F(CsvExportTest, OnlyTheRowsOfTheShownKindInViewOrder)
{
    MeasurementTable table;
    table.open(m_table);
    table.table().setFilter(store::kindFilter(store::kPressKind));
    const QString out = path(QStringLiteral("press.csv"));
    EXPECT_EQ(table_export::writeCsvFile(table, out), 1);
    const auto rows = readWithPython(out);
#ifdef _WIN32
    GTEST_SKIP() << "no Python reader on Windows";
#endif
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[1], fixture()[2].expected);
}

// A long table is formatted in blocks of rows at once: every row of the view comes out once,
// in view order, across the blocks' seams, and the file holds what csvBytes gives.
TEST_F(CsvExportTest, ALongTableKeepsEveryRowInViewOrder)
{
    constexpr int kRows = 7000; // several blocks of rows, the last one short
    std::vector<Cells> rows;
    for (int i = 1; i <= kRows; ++i)
        rows.push_back({{Field::N, double(i)},
                        {Field::NB_TYPE, double(i % 3 == 0 ? store::kPressKind : store::kPenetrometerKind)},
                        {Field::P, i * 0.5},
                        {Field::COMMENT, i % 5 == 0 ? QStringLiteral("слой; %1").arg(i) : QString()}});
    const QString longTable = path(QStringLiteral("long.db"));
    store::test::createTable(longTable, rows);
    MeasurementTable table;
    table.open(longTable);
    table.table().setFilter(store::kindFilter(store::kPenetrometerKind));

    const QByteArray bytes = table_export::csvBytes(table);
    const QList<QByteArray> lines = bytes.split('\n');
    int line = 1; // after the headings
    for (int i = 1; i <= kRows; ++i) {
        if (i % 3 == 0)
            continue;
        ASSERT_LT(line, lines.size());
        const QString text = QString::fromUtf8(lines[line++]);
        const QStringList fields = text.left(text.size() - 1).split(QLatin1Char(';')); // less the CR
        ASSERT_GE(fields.size(), 16) << text.toStdString();
        EXPECT_EQ(fields[0], QString::number(i));
        EXPECT_EQ(fields[3], QString::number(i * 0.5).replace(QLatin1Char('.'), QLatin1Char(',')));
        EXPECT_EQ(text.endsWith(QStringLiteral("\"слой; %1\"\r").arg(i)), i % 5 == 0) << text.toStdString();
    }
    EXPECT_EQ(line, lines.size() - 1); // and nothing after the last row's line break
    EXPECT_TRUE(lines.back().isEmpty());

    const QString out = path(QStringLiteral("long.csv"));
    EXPECT_EQ(table_export::writeCsvFile(table, out), kRows - kRows / 3);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
}

// A table another program wrote, with numbers in exponent form: they are numbers in the
// file too, not blanks; a field of '*' (a value too wide for its field) stays empty.
TEST_F(CsvExportTest, NumbersInExponentFormAreWrittenAsNumbers)
{
    struct Patch {
        Field field;
        std::string stored;
        QString written;
    };
    const Patch patches[] = {
        {Field::P, "1.5E+3", "1500"},
        {Field::R, " -2.5e-1", "-0,25"},
        {Field::P7, "1e2", "100"},
        {Field::H, "**********", ""},
        {Field::P1, "12E-1", "1,2"},
    };
    for (const Patch& p : patches)
        store::test::overwriteField(m_table, 1, store::fieldName(p.field), p.stored);
    QStringList expected = fixture()[1].expected;
    for (const Patch& p : patches) {
        const auto column = std::find(std::begin(kFields), std::end(kFields), p.field) - std::begin(kFields);
        expected[static_cast<int>(column)] = p.written;
    }

    MeasurementTable table;
    table.open(m_table);
    const QString out = path(QStringLiteral("exponents.csv"));
    EXPECT_EQ(table_export::writeCsvFile(table, out), 3);
    table.close();
    const auto rows = readWithPython(out);
#ifdef _WIN32
    GTEST_SKIP() << "no Python reader on Windows";
#endif
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ((*rows)[2], expected);
}

// Whatever a spreadsheet would run or compute gets the apostrophe; plain texts stay as typed.
TEST(CsvFormulas, TextsASpreadsheetWouldTakeForAFormulaAreNeutralised)
{
    struct Case {
        const char16_t* text;
        bool formula;
    };
    const Case cases[] = {
        {u"=1+1", true},
        {u"+7", true},
        {u"@SUM(A1)", true},
        {u"-2+3+cmd|' /C calc'!A0", true},
        {u"-A1", true}, // a reference
        {u"-cmd", true}, // a name
        {u"-1,5 м", false},
        {u"-2*A1", true},
        {u"-(1)", true},
        {u"\t=1+1", true},
        {u"\r=1+1", true},
        {u"\n=1+1", true},
        {u"\x01text", true},
        {u"-2 слой", false},
        {u"-5", false},
        {u"-", false},
        {u"насыпь = песок", false},
        {u" =1+1", false}, // a leading blank makes it text in the spreadsheets
        {u"слой 2", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(table_export::csvTakesAsFormula(text), c.formula) << text.toStdString();
    }
}

TEST_F(CsvExportTest, AFormulaInACommentIsWrittenAsText)
{
    const QString file = path(QStringLiteral("formula.db"));
    store::test::createTable(file, {{{Field::N, 1.0}, {Field::DATE, QStringLiteral("01.03.2024")},
                                     {Field::TIME, QStringLiteral("08:00")},
                                     {Field::COMMENT, QStringLiteral("-2+3+cmd|' /C calc'!A0")}},
                                    {{Field::N, 2.0}, {Field::DATE, QStringLiteral("02.03.2024")},
                                     {Field::TIME, QStringLiteral("08:00")}, {Field::COMMENT, QStringLiteral("-2 слой")}}});
    MeasurementTable table;
    table.open(file);
    const QList<QByteArray> lines = table_export::csvBytes(table).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[1].contains("\"'-2+3+cmd|' /C calc'!A0\"") || lines[1].contains(";'-2+3+cmd|' /C calc'!A0"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(";-2 слой").toUtf8())) << lines[2].toStdString();
}

TEST_F(CsvExportTest, LibreOfficeInRussianReadsNumbersAsNumbers)
{
    MeasurementTable table;
    table.open(m_table);
    const QString csv = path(QStringLiteral("lo.csv"));
    table_export::writeCsvFile(table, csv);
    table.close();

    // As the import dialog offers it on a Russian system: ";" and quotes, UTF-8, Russian
    // number format; converted to a workbook that xlrd then reads.
    const QString profile = QStringLiteral("/tmp/lo_csv_%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + profile, QStringLiteral("--headless"),
                   QStringLiteral("--norestore"), QStringLiteral("--infilter=CSV:59,34,76,1,,1049"),
                   QStringLiteral("--convert-to"), QStringLiteral("xls"), QStringLiteral("--outdir"),
                   path(QStringLiteral("lo")), csv});
    if (!soffice.waitForStarted())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ASSERT_TRUE(soffice.waitForFinished(120000));
    QDir(profile).removeRecursively();
    const xls::test::OracleResult read = xls::test::readWithXlrd(path(QStringLiteral("lo/lo.xls")));
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.json) << read.failure << soffice.readAll().toStdString();
    const QJsonObject cells = read.json->value(QStringLiteral("sheets")).toArray().at(0).toObject()
                                  .value(QStringLiteral("cells")).toObject();
    const auto cell = [&](int row, int column) {
        return cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toArray();
    };
    constexpr int kNumber = 2;
    constexpr int kText = 1;
    struct Expect {
        int row, column;
        std::variant<double, QString> value;
    };
    const Expect expected[] = {
        {1, 3, 1234.5}, {1, 4, 2.25}, {1, 7, 0.125}, {1, 11, 1250.25}, {2, 3, 100000.0}, {2, 4, -0.5},
        {1, 15, QStringLiteral("насыпь; слой 2, \"плотный\"")}, {3, 15, QStringLiteral("пресс")},
        {0, 10, QStringLiteral("F1, Усилие пенетрации, Н")},
    };
    for (const Expect& e : expected) {
        const QJsonArray c = cell(e.row, e.column);
        if (const double* number = std::get_if<double>(&e.value)) {
            EXPECT_EQ(c.at(0).toInt(), kNumber) << e.row << "," << e.column;
            EXPECT_DOUBLE_EQ(c.at(1).toDouble(), *number) << e.row << "," << e.column;
        } else {
            EXPECT_EQ(c.at(0).toInt(), kText) << e.row << "," << e.column;
            EXPECT_EQ(c.at(1).toString(), std::get<QString>(e.value)) << e.row << "," << e.column;
        }
    }
    // The empty modulus of record 2 stays empty.
    EXPECT_TRUE(cell(2, 5).isEmpty() || cell(2, 5).at(0).toInt() == 0);
}

TEST_F(CsvExportTest, AFileThatCannotBeWrittenLeavesWhatWasThere)
{
    MeasurementTable table;
    table.open(m_table);
    const QString existing = path(QStringLiteral("old.csv"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    struct Case {
        const char* name;
        QString target;
    };
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.csv"));
    const Case cases[] = {
        {"missing folder", path(QStringLiteral("no/such/folder/x.csv"))},
        {"a folder", path(QStringLiteral("folder.csv"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            table_export::writeCsvFile(table, c.target);
            ADD_FAILURE() << "written";
        } catch (const store::StoreError& error) {
            EXPECT_EQ(error.code(), store::StoreError::Code::Io);
            EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith(QStringLiteral("Не удалось записать файл")));
        }
    }
    // Nothing left behind beside the targets.
    const QStringList left = QDir(m_dir.path()).entryList(QDir::Files);
    EXPECT_EQ(left, (QStringList{"old.csv", "site.db"}));

    // A file that can be written replaces the old one whole.
    EXPECT_EQ(table_export::writeCsvFile(table, existing), 3);
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), table_export::csvBytes(table));
}

// How the export wrote a number through Qt: the shortest fixed form, a decimal comma, -0 as 0.
QByteArray numberThroughQt(double value)
{
    QByteArray digits = QByteArray::number(value == 0.0 ? 0.0 : value, 'f', QLocale::FloatingPointShortest);
    digits.replace('.', ',');
    return digits;
}

std::string shown(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

TEST(CsvNumber, IsTheShortestFixedFormWithADecimalComma)
{
    const double edges[] = {
        0.0, -0.0, 1.0, -1.0, 0.1, -0.1, 0.5, 0.3, 2.675, 4.35, 1.0 / 3, 2.0 / 3,
        1e-7, -1e-7, 1.5e-9, 1e-9, 0.000000001, 123456789.123456789, 999999999.999999999, -99999999.999999999,
        1e15, 1e16, 1e17, 1e20, -1e20, 1e21, 1e22, 1e23, 5e22, 1.2345678901234567e20,
        9007199254740991.0, 9007199254740992.0, 9007199254740994.0, 9007199254740996.0, 18014398509481988.0,
        1.7976931348623157e300, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, DBL_EPSILON,
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
        std::nextafter(1.0, 2.0), std::nextafter(1.0, 0.0), std::nextafter(0.1, 1.0),
    };
    for (const double v : edges)
        EXPECT_EQ(table_export::csvNumber(v), numberThroughQt(v)) << shown(v);
    // Nothing is ever in exponent form, and -0 loses its sign.
    for (const double v : edges)
        EXPECT_FALSE(table_export::csvNumber(v).contains('e')) << shown(v);
    EXPECT_EQ(table_export::csvNumber(-0.0), table_export::csvNumber(0.0));

    std::mt19937_64 rng(20240305);
    // What a table holds: numbers as a dBase N field of 18 places with 9 decimals stores them,
    // read back by the table's own parser; whole, fractional, small and near the widest.
    std::uniform_int_distribution<int> magnitude(-10, 8);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::bernoulli_distribution negative(0.3);
    int compared = 0;
    for (int i = 0; i < 200'000; ++i) {
        double v = mantissa(rng) * std::pow(10.0, magnitude(rng));
        if (i % 5 == 0)
            v = std::round(v);
        if (i % 7 == 0)
            v = std::round(v * 100) / 100;
        if (negative(rng))
            v = -v;
        char stored[64];
        std::snprintf(stored, sizeof stored, "%18.9f", v);
        const std::optional<double> read = store::parseNumeric(stored);
        ASSERT_TRUE(read) << stored;
        ASSERT_EQ(table_export::csvNumber(*read), numberThroughQt(*read)) << stored;
        ++compared;
    }
    // And any double at all: every exponent, subnormals, whole numbers beyond 2^53.
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 20'000; ++i) {
        const std::uint64_t b = bits(rng);
        double v;
        std::memcpy(&v, &b, sizeof v);
        if (!std::isfinite(v))
            continue;
        ASSERT_EQ(table_export::csvNumber(v), numberThroughQt(v)) << shown(v);
        ++compared;
    }
    EXPECT_GT(compared, 200'000);
}

// A number field is written from its stored bytes when they are plain decimals: the same
// text as csvNumber makes of the value the field holds, for every stored shape (this
// program's fixed decimals, other writers' widths, leading and trailing zeros, too many
// digits for the copy, signs, exponents, blanks, no number at all).
TEST(CsvNumber, AStoredNumberIsWrittenAsItsValueWould)
{
    const auto expected = [](std::string_view stored) {
        const std::optional<double> value = store::parseNumeric(stored);
        return value ? table_export::csvNumber(*value) : QByteArray();
    };
    const std::string_view shapes[] = {
        "      12.500000000", "     -12.500000000", "       0.000000000", "      -0.000000000", "0", "-0", "000",
        "007", "  1200", "1200.000", "0.05", "-0.0500", "123456789012345", "1234567890123456",
        "12345678901234.5", "123456789012345.6", "0.123456789012345", "0.1234567890123456",
        "0.000000000000001", "100000000000000000000", "99999999999999999999", "9007199254740993",
        "  3.14159265358979", "2.718281828459045", "+5", "5.", ".5", "-.5", "1.5E+3", "1,5", "1e400",
        "nan", "1.2.3", "- 5", "5 5", "", "    ", "**********", std::string_view("\0\0 7.25\0", 9),
    };
    for (const std::string_view shape : shapes)
        EXPECT_EQ(table_export::csvStoredNumber(shape), expected(shape)) << "\"" << shape << "\"";

    // Random plain decimals: every width, place of the point and count of zeros.
    std::mt19937_64 rng(20261210);
    std::uniform_int_distribution<int> wholeDigits(0, 18), fractionDigits(0, 12), digit(0, 9), pad(0, 4);
    std::bernoulli_distribution negative(0.3), zero(0.3);
    for (int i = 0; i < 200'000; ++i) {
        std::string text(std::size_t(pad(rng)), ' ');
        if (negative(rng))
            text += '-';
        const int whole = std::max(1, wholeDigits(rng));
        for (int d = 0; d < whole; ++d)
            text += char('0' + (zero(rng) ? 0 : digit(rng)));
        if (const int places = fractionDigits(rng)) {
            text += '.';
            for (int d = 0; d < places; ++d)
                text += char('0' + (zero(rng) ? 0 : digit(rng)));
        }
        ASSERT_EQ(table_export::csvStoredNumber(text), expected(text)) << "\"" << text << "\"";
    }
}

// The texts of a table written as the export wrote them through QString: the neutralised
// formula, quotes around a text with ";", a quote or a line break, quotes doubled, UTF-8.
// Both code pages a table can name: this program's Windows-1251 and DOS 866 of older files.
TEST_F(CsvExportTest, TextsAreWrittenAsThroughQStringInEitherCodePage)
{
    QString everyCharacter; // every character the table's code page holds, but controls
    for (int b = 0x20; b < 0x100; ++b) {
        const char byte = static_cast<char>(b);
        everyCharacter += store::TextCodec::get(store::TextCodec::CodePage::Windows1251).decode(std::string_view(&byte, 1));
    }
    const QString comments[] = {
        QString(), QStringLiteral("Суглинок тугопластичный"), QStringLiteral("plain ascii text, long enough"),
        QStringLiteral("насыпь; слой 2"), QStringLiteral("\"кавычки\" в начале и \"в конце\""),
        QStringLiteral("\""), QStringLiteral("\"\""), QStringLiteral(";"), QStringLiteral("=1+1"),
        QStringLiteral("+7"), QStringLiteral("@SUM(A1)"), QStringLiteral("-2+3+cmd|' /C calc'!A0"),
        QStringLiteral("-2 слой"), QStringLiteral("-1,5 м"), QStringLiteral("-"), QStringLiteral("-\"a\";b"),
        QStringLiteral("\t=1+1"), QStringLiteral("первая строка\r\nвторая"), QStringLiteral("a\nb"),
        QStringLiteral(" =1+1"), QStringLiteral("ёЁ№€‰«»—"), everyCharacter.left(100), everyCharacter.mid(100, 100), everyCharacter.mid(200),
        QStringLiteral("12345678ж12345678;12345678\"12345678"),
    };
    std::vector<Cells> rows;
    for (const QString& c : comments)
        rows.push_back({{Field::N, double(rows.size() + 1)}, {Field::DATE, QStringLiteral("05.03.2024")},
                        {Field::TIME, QStringLiteral("10:15")}, {Field::COMMENT, c}});
    const QString file = path(QStringLiteral("texts.db"));
    store::test::createTable(file, rows);

    const auto throughQString = [](QString text) {
        if (table_export::csvTakesAsFormula(text))
            text.prepend(QLatin1Char('\''));
        if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
            && !text.contains(QLatin1Char('\r')))
            return text.toUtf8();
        return '"' + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")).toUtf8() + '"';
    };
    struct CodePage {
        const char* name;
        unsigned char driver;
    };
    for (const CodePage page : {CodePage{"Windows-1251", store::TextCodec::kWindows1251Driver}, CodePage{"DOS 866", 0x26}}) {
        SCOPED_TRACE(page.name);
        std::string bytes = store::test::readBytes(file);
        bytes[29] = static_cast<char>(page.driver); // the header's language driver
        store::test::writeBytes(file, bytes);

        MeasurementTable table;
        table.open(file);
        QByteArray expected("\xEF\xBB\xBF");
        expected += kHeadings.join(QLatin1Char(';')).toUtf8() + "\r\n";
        const store::DbfTable& t = table.table();
        for (const std::uint32_t rec : t.view()) {
            QByteArrayList fields;
            for (const Field f : kFields) {
                const int column = table.column(f);
                fields << (store::isNumeric(t.fields()[std::size_t(column)].type)
                               ? (t.real(rec, column) ? numberThroughQt(*t.real(rec, column)) : QByteArray())
                               : throughQString(t.text(rec, column)));
            }
            expected += fields.join(';') + "\r\n";
        }
        EXPECT_EQ(table_export::csvBytes(table), expected);
    }
}

} // namespace
