// Our tables checked by independent dBase implementations: python3-dbfread and python3-dbf
// read back what we wrote, and a table that python3-dbf wrote opens and reads here.

#include "store_test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace store::test {
namespace {

// Reads a table with both libraries and writes what they saw as JSON: the live rows as
// dictionaries keyed by upper-case field names (text with its padding removed, blank
// numbers as null), and the code page each library took from the language driver byte.
constexpr char kReadScript[] = R"py(
import json, sys
import dbf, dbfread

path, out = sys.argv[1], sys.argv[2]
by_dbfread = dbfread.DBF(path, encoding='cp1251', char_decode_errors='strict')
rows_dbfread = [dict(r) for r in by_dbfread]
guessed = dbfread.DBF(path).encoding

table = dbf.Table(path)
table.open(dbf.READ_ONLY)
rows_dbf = []
for record in table:
    if dbf.is_deleted(record):
        continue
    row = {}
    for name in table.field_names:
        value = record[name]
        row[name.upper()] = value.rstrip(' ') if isinstance(value, str) else value
    rows_dbf.append(row)
codepage = table.codepage.name
table.close()

with open(out, 'w', encoding='utf-8') as f:
    json.dump({'dbfread': rows_dbfread, 'dbfread_encoding': guessed,
               'dbf': rows_dbf, 'dbf_codepage': codepage}, f, ensure_ascii=False)
)py";

// Writes a measurement table with python3-dbf from rows given as JSON.
constexpr char kWriteScript[] = R"py(
import json, os, sys
import dbf

target, rows_file = sys.argv[1], sys.argv[2]
fields = ('N N(18,9); DATE C(10); TIME C(8); DEV_TYPE N(4,0); SERIAL N(18,9); NB_TYPE N(4,0); '
          'P N(18,9); R N(18,9); ZAV C(8); TYPE C(15); COMMENT C(100); H N(18,9); T C(50); '
          'U N(18,9); K N(9,0); G N(4,0); S N(18,9); P1 N(18,9); P2 N(18,9); P3 N(18,9); '
          'P4 N(18,9); P5 N(18,9); P6 N(18,9); P7 N(18,9)')
with open(rows_file, encoding='utf-8') as f:
    rows = json.load(f)
table = dbf.Table(target, fields, dbf_type='db3', codepage='cp1251')
table.open(dbf.READ_WRITE)
for row in rows:
    table.append({name.lower(): value for name, value in row['values'].items()})
    if row['deleted']:
        dbf.delete(table[-1])
written = table.filename
table.close()
# The library names the file target + '.dbf' when the name ends in '.db'.
if written != target:
    os.replace(written, target)
)py";

bool isTextField(Field f)
{
    switch (f) {
    case Field::DATE: case Field::TIME: case Field::ZAV: case Field::TYPE: case Field::COMMENT: case Field::T:
        return true;
    default:
        return false;
    }
}

struct OracleRow {
    Cells cells;
    bool deleted = false;
};

// Values that exercise every field: Cyrillic text, text filling its field, negative numbers,
// explicit zeros, the widest numbers, blank fields, and a deleted row readers must not see.
std::vector<OracleRow> sampleRows()
{
    return {
        {{{Field::N, 1.0}, {Field::DATE, QStringLiteral("31.01.2005")}, {Field::TIME, QStringLiteral("12:30")},
          {Field::DEV_TYPE, 4.0}, {Field::SERIAL, 65535.0}, {Field::NB_TYPE, 0.0}, {Field::P, 1234.5},
          {Field::R, -0.25}, {Field::ZAV, QStringLiteral("Вид")}, {Field::TYPE, QStringLiteral("Плита 600 мм")},
          {Field::COMMENT, QStringLiteral("Суглинок тугопластичный, слой №2 — ёЁ «проба»")}, {Field::H, 0.0},
          {Field::T, QStringLiteral("Испытание штампом")}, {Field::U, 12345678.125}, {Field::K, 999999999.0},
          {Field::G, -7.0}, {Field::S, 0.5}, {Field::P1, 100.0}, {Field::P2, 200.0}, {Field::P3, 300.0},
          {Field::P4, 400.0}, {Field::P5, 500.0}, {Field::P6, 35.5}, {Field::P7, 0.95}}},
        {{{Field::N, 2.0}, {Field::DATE, QStringLiteral("01.12.2005")}, {Field::NB_TYPE, 1.0}, {Field::P, 50.0},
          {Field::R, 2.5}, {Field::COMMENT, QStringLiteral("100x100x100")}, {Field::T, QStringLiteral("Сжатие")},
          {Field::H, 1.25}, {Field::P7, -1234567.125}}},
        {{{Field::N, 3.0}, {Field::P, 999.0}, {Field::COMMENT, QStringLiteral("удалена")}}, true},
        {{{Field::N, 4.0}, {Field::T, QString(50, QChar(0x0416))}, {Field::COMMENT, QString(100, QChar(0x0451))}}},
    };
}

std::vector<OracleRow> liveRows()
{
    std::vector<OracleRow> live;
    for (const OracleRow& r : sampleRows())
        if (!r.deleted)
            live.push_back(r);
    return live;
}

// The value a row holds in `f`: what was set, or blank.
Cell cellOf(const Cells& cells, Field f)
{
    for (const auto& [field, cell] : cells)
        if (field == f)
            return cell;
    return Blank{};
}

QJsonValue expectedJson(Field f, const Cell& cell)
{
    if (std::holds_alternative<double>(cell))
        return std::get<double>(cell);
    if (std::holds_alternative<QString>(cell))
        return std::get<QString>(cell);
    return isTextField(f) ? QJsonValue(QString()) : QJsonValue(QJsonValue::Null);
}

// Compares the rows a reader reported with the rows written, field by field.
void expectRows(const QJsonArray& seen, const std::vector<OracleRow>& rows, const char* reader)
{
    SCOPED_TRACE(reader);
    ASSERT_EQ(seen.size(), static_cast<qsizetype>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QJsonObject row = seen[static_cast<qsizetype>(r)].toObject();
        ASSERT_EQ(row.size(), kFieldCount) << "row " << r;
        for (int i = 0; i < kFieldCount; ++i) {
            const Field f = static_cast<Field>(i);
            SCOPED_TRACE(testing::Message() << "row " << r << " field " << fieldName(f));
            const QJsonValue want = expectedJson(f, cellOf(rows[r].cells, f));
            const QJsonValue got = row.value(QString::fromLatin1(fieldName(f)));
            if (want.isDouble()) {
                ASSERT_TRUE(got.isDouble()) << got.toVariant().toString().toStdString();
                EXPECT_EQ(got.toDouble(), want.toDouble());
            } else {
                EXPECT_EQ(got, want) << got.toVariant().toString().toStdString();
            }
        }
    }
}

class Oracle : public StoreTest {
protected:
    void SetUp() override
    {
        if (!pythonHasModules({"dbf", "dbfread", "json"}))
            GTEST_SKIP() << "/usr/bin/python3 with python3-dbf and python3-dbfread is not installed";
    }

    QString script(const char* name, const char* text)
    {
        const QString file = path(QString::fromLatin1(name));
        writeBytes(file, text);
        return file;
    }

    ProcessResult python(const QString& scriptFile, const QString& a, const QString& b)
    {
        return runProcess({"/usr/bin/python3", scriptFile.toStdString(), a.toStdString(), b.toStdString()});
    }
};

TEST_F(Oracle, BothLibrariesReadBackWhatWeWrote)
{
    // python3-dbf only opens names ending ".dbf"; the engine does not care about the name.
    const QString file = path("ours.dbf");
    MeasurementTable::create(file);
    {
        MeasurementTable t;
        t.open(file);
        for (const OracleRow& r : sampleRows()) {
            appendRow(t, r.cells);
            if (r.deleted)
                t.table().deleteRecord();
        }
    }
    const QString out = path("seen.json");
    const ProcessResult run = python(script("read.py", kReadScript), file, out);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonParseError err{};
    const QJsonObject seen = QJsonDocument::fromJson(f.readAll(), &err).object();
    ASSERT_EQ(err.error, QJsonParseError::NoError) << err.errorString().toStdString();

    EXPECT_EQ(seen.value("dbfread_encoding").toString(), QStringLiteral("cp1251"))
        << "the language driver byte names Windows-1251";
    EXPECT_TRUE(seen.value("dbf_codepage").toString().startsWith(QStringLiteral("cp1251")))
        << seen.value("dbf_codepage").toString().toStdString();
    expectRows(seen.value("dbfread").toArray(), liveRows(), "python3-dbfread");
    expectRows(seen.value("dbf").toArray(), liveRows(), "python3-dbf");
}

TEST_F(Oracle, ATableWrittenByPythonDbfOpensAndReads)
{
    QJsonArray rowsJson;
    for (const OracleRow& r : sampleRows()) {
        QJsonObject values;
        for (const auto& [field, cell] : r.cells)
            if (!std::holds_alternative<Blank>(cell))
                values.insert(QString::fromLatin1(fieldName(field)), expectedJson(field, cell));
        rowsJson.append(QJsonObject{{"values", values}, {"deleted", r.deleted}});
    }
    const QString rowsFile = path("rows.json");
    writeBytes(rowsFile, QJsonDocument(rowsJson).toJson().toStdString());

    const QString file = path("theirs.db");
    const ProcessResult run = python(script("write.py", kWriteScript), file, rowsFile);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(QFile::exists(file));
    const std::string before = readBytes(file);

    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(readBytes(file), before) << "opening writes nothing";
    const std::vector<OracleRow> rows = liveRows();
    ASSERT_EQ(t.table().recordCount(), static_cast<int>(rows.size()));
    EXPECT_EQ(t.table().physicalCount(), static_cast<std::uint32_t>(sampleRows().size()));
    std::size_t r = 0;
    for (t.table().first(); !t.table().eof(); t.table().next(), ++r) {
        for (int i = 0; i < kFieldCount; ++i) {
            const Field f = static_cast<Field>(i);
            SCOPED_TRACE(testing::Message() << "row " << r << " field " << fieldName(f));
            const Cell want = cellOf(rows[r].cells, f);
            if (std::holds_alternative<double>(want)) {
                EXPECT_EQ(t.real(f), std::get<double>(want));
            } else if (std::holds_alternative<QString>(want)) {
                EXPECT_EQ(t.text(f), std::get<QString>(want));
            } else {
                EXPECT_TRUE(t.table().isEmpty(t.column(f)));
                EXPECT_EQ(t.real(f), std::nullopt);
                EXPECT_EQ(t.text(f), QString());
            }
        }
    }

    // Their table takes our writes, and they read our rows back.
    t.table().setFilter(kindFilter(kPressKind));
    t.table().refresh();
    EXPECT_EQ(t.table().recordCount(), 1);
    t.table().setFilter("");
    t.table().refresh();
    appendRow(t, {{Field::N, 5.0}, {Field::COMMENT, QStringLiteral("дописано нами")}, {Field::P, -1.5}});
    t.close();

    const QString copy = path("theirs_again.dbf");
    ASSERT_TRUE(QFile::copy(file, copy));
    const QString out = path("seen.json");
    const ProcessResult reread = python(script("read.py", kReadScript), copy, out);
    ASSERT_EQ(reread.exitCode, 0) << reread.output;
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject seen = QJsonDocument::fromJson(f.readAll()).object();
    std::vector<OracleRow> expected = rows;
    expected.push_back({{{Field::N, 5.0}, {Field::COMMENT, QStringLiteral("дописано нами")}, {Field::P, -1.5}}});
    expectRows(seen.value("dbfread").toArray(), expected, "python3-dbfread");
    expectRows(seen.value("dbf").toArray(), expected, "python3-dbf");
}

} // namespace
} // namespace store::test
