#include "write_fault_support.h"

#include "store/flash_decoder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace store::test {

namespace {

constexpr std::size_t kCountAt = 4;
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kRecordLengthAt = 10;
constexpr std::size_t kProductionIndexAt = 28;
constexpr std::size_t kDescriptorsAt = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kIndexFlagInDescriptor = 31;

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A stored row of kind 0 with a date and time before the image's records.
Cells storedRow(double n, double p, const QString& comment)
{
    return {{Field::N, n},
            {Field::DATE, QStringLiteral("01.03.2006")},
            {Field::TIME, QStringLiteral("10:%1").arg(static_cast<int>(n), 2, 10, QLatin1Char('0'))},
            {Field::DEV_TYPE, 4.0},
            {Field::SERIAL, 1234.0},
            {Field::NB_TYPE, 0.0},
            {Field::P, p},
            {Field::R, p / 100},
            {Field::COMMENT, comment}};
}

// A row that fills most fields, Cyrillic included, as a user's edit or a new row would.
Cells postedRow()
{
    Cells c = storedRow(3, 512.5, QStringLiteral("Суглинок тугопластичный — проба №3"));
    c.push_back({Field::T, QStringLiteral("Испытание штампом")});
    c.push_back({Field::U, 12345.125});
    c.push_back({Field::P7, 0.95});
    return c;
}

void putWord(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A penetrometer image of `n` records, taken on 02.03.2006 from 09:00, one a minute.
std::vector<std::uint8_t> imageOf(int n)
{
    std::vector<std::uint8_t> b;
    putWord(b, static_cast<std::uint16_t>(n));
    for (int k = 0; k < n; ++k) {
        for (int f = 0; f < 5; ++f)
            putWord(b, static_cast<std::uint16_t>(100 + 10 * k + f));
        for (std::uint16_t w : {std::uint16_t(110 + k), std::uint16_t(1234), std::uint16_t(250), std::uint16_t(87),
                                std::uint16_t(45), std::uint16_t(k % 2 ? 0 : 355), std::uint16_t(125)})
            putWord(b, w);
        b.insert(b.end(), {static_cast<std::uint8_t>(k % 60), static_cast<std::uint8_t>(9 + k / 60), 2, 3, 6});
    }
    return b;
}

void markProductionIndex(const QString& file)
{
    std::string b = readBytes(file);
    b[kProductionIndexAt] = 1;
    for (std::size_t field : {std::size_t(0), std::size_t(6)})
        b[kDescriptorsAt + field * kDescriptorSize + kIndexFlagInDescriptor] = 1;
    writeBytes(file, b);
}

void twoRows(const QString& file)
{
    createTable(file, {storedRow(1, 100, QStringLiteral("первая")), storedRow(2, 200.25, QStringLiteral("вторая"))});
}

void appendPostedRow(MeasurementTable& t)
{
    t.table().append();
    setCells(t, postedRow());
}

void post(MeasurementTable& t, const QString&) { t.table().post(); }

} // namespace

std::string describe(const FileOp& op)
{
    const std::string file = baseName(op.path);
    switch (op.op) {
    case platform::Operation::Write:
        return "write " + std::to_string(op.size) + " B at " + std::to_string(op.offset) + " of " + file;
    case platform::Operation::Truncate:
        return "truncate " + file + " to " + std::to_string(op.offset);
    case platform::Operation::Sync:
        return "sync " + file;
    case platform::Operation::Rename:
        return "rename onto " + file;
    }
    return "?";
}

FileState snapshot(const QString& path)
{
    FileState s;
    QFile f(path);
    if (!f.exists())
        return s;
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return s;
    }
    s.exists = true;
    const QByteArray b = f.readAll();
    s.bytes.assign(b.constData(), static_cast<std::size_t>(b.size()));
    return s;
}

std::uint32_t countOf(const std::string& file)
{
    return file.size() < 32 ? 0 : static_cast<std::uint32_t>(u32At(file, kCountAt));
}

std::size_t countedSize(const std::string& file)
{
    if (file.size() < 32)
        return file.size();
    return u16At(file, kHeaderLengthAt) + static_cast<std::size_t>(countOf(file)) * u16At(file, kRecordLengthAt);
}

std::vector<std::string> recordsOf(const std::string& file)
{
    std::vector<std::string> out;
    if (file.size() < 32)
        return out;
    const std::size_t header = u16At(file, kHeaderLengthAt);
    const std::size_t length = u16At(file, kRecordLengthAt);
    for (std::uint32_t r = 0; r < countOf(file); ++r) {
        const std::size_t at = header + r * length;
        out.push_back(at + length <= file.size() ? file.substr(at, length) : std::string("<missing>"));
    }
    return out;
}

bool endsCleanly(const std::string& file)
{
    return file.size() >= 32 && file.size() == countedSize(file) + 1 && file.back() == '\x1A';
}

std::string withoutDate(std::string file)
{
    for (std::size_t i = 1; i <= 3 && i < file.size(); ++i)
        file[i] = 0;
    return file;
}

std::vector<std::string> recordsInMemory(const DbfTable& t)
{
    std::vector<std::string> out;
    const int fields = static_cast<int>(t.fields().size());
    for (std::uint32_t r = 0; r < t.physicalCount(); ++r) {
        std::string rec(1, t.isDeleted(r) ? '*' : ' ');
        for (int f = 0; f < fields; ++f)
            rec += std::string(t.rawField(r, f));
        out.push_back(std::move(rec));
    }
    return out;
}

std::vector<QString> temporariesIn(const QString& folder)
{
    std::vector<QString> out;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.pack"), QStringLiteral("*.new")},
                                                      QDir::Files | QDir::Hidden | QDir::System))
        out.push_back(name);
    return out;
}

const std::vector<Scenario>& writeScenarios()
{
    static const std::vector<Scenario> scenarios = [] {
        std::vector<Scenario> v;
        v.push_back({"post: append", twoRows, true, appendPostedRow, post, {}});
        v.push_back({"post: edit",
                     twoRows,
                     true,
                     [](MeasurementTable& t) {
                         t.table().last();
                         t.table().edit();
                         // Fields at both ends of the record, so that half of its write
                         // holds some of the change and not all of it.
                         setCells(t, {{Field::N, 7.0}, {Field::COMMENT, QStringLiteral("исправлено")}, {Field::P7, 0.5}});
                     },
                     post,
                     {}});
        v.push_back({"post: first append to a table that names an index",
                     [](const QString& file) {
                         twoRows(file);
                         markProductionIndex(file);
                     },
                     true, appendPostedRow, post, {}});
        v.push_back({"post: append after a record cut short",
                     [](const QString& file) {
                         twoRows(file);
                         std::string b = readBytes(file);
                         const std::string last = b.substr(b.size() - 1 - kRecordLength, kRecordLength);
                         b.pop_back(); // the end mark
                         writeBytes(file, b + last.substr(0, 200));
                     },
                     true, appendPostedRow, post, {}});
        v.push_back({"delete",
                     twoRows,
                     true,
                     [](MeasurementTable& t) { t.table().first(); },
                     [](MeasurementTable& t, const QString&) { t.table().deleteRecord(); },
                     [](const FileOp&, const std::string&) { return true; }});
        v.push_back({"Append: decodeImage of three records in a batch",
                     twoRows,
                     true,
                     [](MeasurementTable&) {},
                     [](MeasurementTable& t, const QString&) {
                         static const std::vector<std::uint8_t> image = imageOf(3);
                         DbfTable& d = t.table();
                         d.beginBatch();
                         try {
                             decodeImage(t, DownloadedImage{image, 4, 1234}, true);
                         } catch (...) {
                             d.endBatch();
                             throw;
                         }
                         d.endBatch();
                     },
                     {}});
        v.push_back({"pack",
                     [](const QString& file) {
                         createTable(file, {storedRow(1, 100, QStringLiteral("первая")),
                                            storedRow(2, 200, QStringLiteral("удалённая")),
                                            storedRow(3, 300, QStringLiteral("третья"))});
                         MeasurementTable t;
                         t.open(file);
                         t.table().moveTo(1);
                         t.table().deleteRecord();
                     },
                     true,
                     [](MeasurementTable&) {},
                     [](MeasurementTable& t, const QString&) { t.table().pack(); },
                     {}});
        v.push_back({"create over a table",
                     twoRows,
                     false,
                     {},
                     [](MeasurementTable&, const QString& file) { MeasurementTable::create(file); },
                     {}});
        v.push_back({"create a new table",
                     [](const QString&) {},
                     false,
                     {},
                     [](MeasurementTable&, const QString& file) { MeasurementTable::create(file); },
                     {}});
        return v;
    }();
    return scenarios;
}

void openForScenario(const Scenario& s, MeasurementTable& t, const QString& table)
{
    if (!s.opensTable)
        return;
    t.open(table);
    t.table().setFilter(kindFilter(kPenetrometerKind));
    t.table().refresh();
    s.arrange(t);
}

namespace {
// The changes of the engine end with the header's count or with the rename that puts a
// new file in place; a deletion is a single write.
bool completesChange(const Scenario& s, const FileOp& op, const std::string& realTable)
{
    if (op.path != realTable)
        return false;
    if (s.commit)
        return s.commit(op, realTable);
    return (op.op == platform::Operation::Write && op.offset == 0) || op.op == platform::Operation::Rename;
}
} // namespace

Reference referenceRun(const Scenario& s, const QString& folder, const QString& table)
{
    Reference r;
    s.prepare(table);
    MeasurementTable t;
    openForScenario(s, t, table);
    const std::string realTable = platform::resolvedPath(table.toStdString());
    const auto finishOp = [&] {
        r.tableAfter.push_back(snapshot(table));
        r.opFileAfter.push_back(snapshot(QString::fromStdString(r.ops.back().path)));
        if (completesChange(s, r.ops.back(), realTable)) {
            r.good.push_back(r.tableAfter.back());
            r.commitOps.push_back(r.ops.size() - 1);
        }
    };
    r.good.push_back(snapshot(table));
    {
        FaultHookScope hook(hookInFolder(folder, [&](std::size_t index, const FileOp& op) {
            if (index > 0)
                finishOp();
            r.ops.push_back(op);
            r.tableBefore.push_back(snapshot(table));
            return platform::Fault{};
        }));
        s.act(t, table);
        if (!r.ops.empty())
            finishOp();
    }
    t.close();
    return r;
}

std::size_t goodBefore(const Reference& r, std::size_t op)
{
    std::size_t k = 0;
    while (k < r.commitOps.size() && r.commitOps[k] < op)
        ++k;
    return k;
}

platform::FaultHook hookInFolder(const QString& folder,
                                 std::function<platform::Fault(std::size_t index, const FileOp& op)> decide)
{
    const std::string prefix = platform::resolvedPath(folder.toStdString()) + "/";
    auto counter = std::make_shared<std::size_t>(0);
    return [prefix, counter, decide = std::move(decide)](platform::Operation op, std::string_view path,
                                                        std::uint64_t offset, std::size_t size) {
        if (path.substr(0, prefix.size()) != prefix)
            return platform::Fault{};
        return decide((*counter)++, FileOp{op, std::string(path), offset, size});
    };
}

namespace {
constexpr char kDbfreadScript[] = R"py(
import json, sys
import dbfread

out = []
for path in sys.argv[2:]:
    try:
        table = dbfread.DBF(path, raw=True, encoding='cp1251')
        out.append({'records': [b''.join(r.values()).hex() for r in table]})
    except Exception as e:
        out.append({'error': repr(e)})
with open(sys.argv[1], 'w') as f:
    json.dump(out, f)
)py";
} // namespace

OracleReading readWithDbfread(const std::vector<QString>& files, const QString& scratchFolder)
{
    OracleReading reading;
    if (!pythonHasModules({"dbfread", "json"}))
        return reading;
    const QString script = QDir(scratchFolder).filePath(QStringLiteral("read_raw.py"));
    const QString out = QDir(scratchFolder).filePath(QStringLiteral("read_raw.json"));
    writeBytes(script, kDbfreadScript);
    std::vector<std::string> argv{"/usr/bin/python3", script.toStdString(), out.toStdString()};
    for (const QString& f : files)
        argv.push_back(f.toStdString());
    const ProcessResult run = runProcess(argv);
    reading.ran = true;
    if (run.exitCode != 0) {
        reading.error = run.output;
        return reading;
    }
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(readBytes(out))).array();
    for (const QJsonValue& v : all) {
        std::vector<std::string> records;
        const QJsonObject o = v.toObject();
        if (o.contains(QStringLiteral("error"))) {
            records.push_back("<dbfread: " + o.value(QStringLiteral("error")).toString().toStdString() + ">");
        } else {
            for (const QJsonValue& r : o.value(QStringLiteral("records")).toArray())
                records.push_back(QByteArray::fromHex(r.toString().toLatin1()).toStdString());
        }
        reading.records.push_back(std::move(records));
    }
    if (reading.records.size() != files.size())
        reading.error = "dbfread answered for " + std::to_string(reading.records.size()) + " of " +
                        std::to_string(files.size()) + " files";
    return reading;
}

std::vector<std::string> liveRecordsWithoutFlag(const std::string& file)
{
    std::vector<std::string> out;
    for (const std::string& r : recordsOf(file))
        if (!r.empty() && r[0] == ' ')
            out.push_back(r.substr(1));
    return out;
}

void printMatrix(const char* title, const std::vector<std::string>& lines)
{
    std::printf("\n%s\n", title);
    for (const std::string& l : lines)
        std::printf("%s\n", l.c_str());
    std::fflush(stdout);
}

void expectOracleAgrees(const std::vector<OracleCase>& cases, const QString& scratchFolder)
{
    std::vector<QString> files;
    for (const OracleCase& c : cases)
        files.push_back(c.file);
    const OracleReading reading = readWithDbfread(files, scratchFolder);
    if (!reading.ran)
        GTEST_SKIP() << "/usr/bin/python3 with python3-dbfread is not installed; the oracle did not read the "
                     << files.size() << " files";
    ASSERT_EQ(reading.error, "");
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(reading.records[i], cases[i].expected) << "python3-dbfread reads other rows: " << cases[i].what;
    std::printf("python3-dbfread read %zu of the files back, every one as the engine does\n", cases.size());
}

} // namespace store::test
