// Writes that never finish: the process killed (SIGKILL, nothing of ours runs afterwards) at
// every write point of post, delete, Append, pack and create, with the write done whole or
// only half; and Append on a real file system that runs out of room.

#include "write_fault_support.h"

#include "store/flash_decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace store::test {
namespace {

// The file `after` would be if only the first half of the write `op` had reached `before`.
std::string halfWritten(const FileState& before, const FileState& after, const FileOp& op)
{
    std::string bytes = before.bytes;
    const std::size_t end = static_cast<std::size_t>(op.offset) + op.size / 2;
    if (bytes.size() < end)
        bytes.resize(end);
    std::copy(after.bytes.begin() + static_cast<std::ptrdiff_t>(op.offset),
              after.bytes.begin() + static_cast<std::ptrdiff_t>(end),
              bytes.begin() + static_cast<std::ptrdiff_t>(op.offset));
    return bytes;
}

// In the child: writes the first half of what the write `op` wrote in the reference run.
void writeHalf(const FileOp& op, const FileState& fileAfter)
{
    const int fd = ::open(op.path.c_str(), O_WRONLY);
    if (fd < 0)
        ::_exit(90);
    const std::size_t half = op.size / 2;
    if (::pwrite(fd, fileAfter.bytes.data() + op.offset, half, static_cast<off_t>(op.offset)) != static_cast<ssize_t>(half))
        ::_exit(91);
    ::close(fd);
}

enum class Cut { Whole, Half };

using KilledMidWrite = StoreTest;

TEST_F(KilledMidWrite, AtEveryWritePointTheTableOpensWithTheOldOrTheNewCount)
{
    std::vector<std::string> matrix{"| operation / write point | killed after it | killed halfway through |", "|---|---|---|"};
    std::vector<OracleCase> oracle;
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("oracle"))));
    int caseNumber = 0;
    int scenarioNumber = 0;
    for (const Scenario& s : writeScenarios()) {
        SCOPED_TRACE(s.name);
        const QString refFolder = path(QStringLiteral("ref_%1").arg(scenarioNumber++));
        ASSERT_TRUE(QDir().mkpath(refFolder));
        const Reference ref = referenceRun(s, refFolder, refFolder + QStringLiteral("/опыт.db"));
        ASSERT_FALSE(ref.ops.empty());
        matrix.push_back("| **" + s.name + "** | | |");

        for (std::size_t target = 0; target < ref.ops.size(); ++target) {
            const FileOp& op = ref.ops[target];
            std::string line = "| " + std::to_string(target + 1) + ". " + describe(op);
            for (Cut cut : {Cut::Whole, Cut::Half}) {
                if (cut == Cut::Half && op.op != platform::Operation::Write) {
                    line += " | —";
                    continue;
                }
                SCOPED_TRACE(testing::Message() << "op " << target + 1 << " " << describe(op)
                                                << (cut == Cut::Whole ? ", killed after it" : ", killed halfway"));
                const QString folder = path(QStringLiteral("case_%1").arg(++caseNumber));
                ASSERT_TRUE(QDir().mkpath(folder));
                const QString table = folder + QStringLiteral("/опыт.db");
                s.prepare(table);

                const int status = runInChild([&] {
                    MeasurementTable t;
                    openForScenario(s, t, table);
                    bool killAtNext = false;
                    platform::setFaultHook(hookInFolder(folder, [&](std::size_t index, const FileOp& seen) {
                        // Called before each operation: the one before it has happened whole.
                        if (killAtNext)
                            std::raise(SIGKILL);
                        if (index == target) {
                            if (cut == Cut::Whole) {
                                killAtNext = true;
                            } else {
                                writeHalf(seen, ref.opFileAfter[target]);
                                std::raise(SIGKILL);
                            }
                        }
                        return platform::Fault{};
                    }));
                    s.act(t, table);
                    std::raise(SIGKILL); // the last operation happened whole
                    return 1;
                });
                ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

                // The table file is exactly what the operations up to the kill made of it.
                FileState expected = cut == Cut::Whole ? ref.tableAfter[target] : ref.tableBefore[target];
                // (The reference ran in a folder of its own: the names tell the files apart.)
                const bool onTable = QFileInfo(QString::fromStdString(op.path)).fileName() == QFileInfo(table).fileName();
                if (cut == Cut::Half && onTable)
                    expected.bytes = halfWritten(ref.tableBefore[target], ref.opFileAfter[target], op);
                const FileState left = snapshot(table);
                ASSERT_EQ(left.exists, expected.exists);
                EXPECT_EQ(withoutDate(left.bytes), withoutDate(expected.bytes));

                std::string cell;
                if (!left.exists) {
                    // A create of a new table killed before its rename: the next create works
                    // and leaves no temporary file.
                    MeasurementTable::create(table);
                    EXPECT_EQ(temporariesIn(folder), std::vector<QString>{});
                    cell = "no file; create again works";
                    line += " | " + cell;
                    continue;
                }

                // It opens with the count of the good state before the change or after it, and
                // every counted row is that state's row, byte for byte. Only a row rewritten in
                // place and cut halfway can be neither: half new, half old.
                const std::size_t k = goodBefore(ref, target);
                const FileState& before = ref.good[k];
                const FileState& changed = k + 1 < ref.good.size() ? ref.good[k + 1] : ref.good[k];
                MeasurementTable fresh;
                ASSERT_NO_THROW(fresh.open(table));
                EXPECT_EQ(temporariesIn(folder), std::vector<QString>{}) << "the open removed what the kill left";
                const std::vector<std::string> rows = recordsInMemory(fresh.table());
                const bool oldCount = rows.size() == countOf(before.bytes);
                const bool newCount = rows.size() == countOf(changed.bytes);
                EXPECT_TRUE(oldCount || newCount) << rows.size() << " records";
                const std::vector<std::string> beforeRows = recordsOf(before.bytes);
                const std::vector<std::string> changedRows = recordsOf(changed.bytes);
                int torn = 0;
                for (std::size_t r = 0; r < rows.size(); ++r) {
                    const bool intact = (r < beforeRows.size() && rows[r] == beforeRows[r]) ||
                                        (r < changedRows.size() && rows[r] == changedRows[r]);
                    if (!intact) {
                        ++torn;
                        EXPECT_TRUE(cut == Cut::Half && onTable && op.offset < countedSize(before.bytes))
                            << "row " << r << " is damaged by something other than an in-place rewrite cut halfway";
                    }
                }
                cell = std::to_string(rows.size()) + (oldCount && !newCount ? " (old)" : newCount && !oldCount ? " (new)" : "") +
                       (torn ? ", 1 row half rewritten" : "");

                // The next write cuts off what the kill left after the counted records.
                appendRow(fresh, {{Field::N, 99.0}, {Field::COMMENT, QStringLiteral("после сбоя")}});
                fresh.close();
                const FileState next = snapshot(table);
                EXPECT_TRUE(endsCleanly(next.bytes));
                EXPECT_EQ(countOf(next.bytes), rows.size() + 1);
                const QString copy = path(QStringLiteral("oracle/case_%1.dbf").arg(caseNumber));
                ASSERT_TRUE(QFile::copy(table, copy));
                oracle.push_back({copy, liveRecordsWithoutFlag(next.bytes), copy.toStdString()});
                line += " | " + cell;
            }
            matrix.push_back(line + " |");
        }
    }
    printMatrix("Write point × kill -9 → records in the table after a fresh open", matrix);
    expectOracleAgrees(oracle, path(QStringLiteral("oracle")));
}

// ---- a file system that is really full ---------------------------------------------------------

Cells fullDiskRow(double n)
{
    return {{Field::N, n}, {Field::DATE, QStringLiteral("01.03.2006")}, {Field::TIME, QStringLiteral("08:00")},
            {Field::DEV_TYPE, 4.0}, {Field::NB_TYPE, 0.0}, {Field::P, 10 * n}, {Field::COMMENT, QStringLiteral("до загрузки")}};
}

std::vector<std::uint8_t> imageOfRecords(int n)
{
    std::vector<std::uint8_t> b;
    const auto word = [&b](int v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    };
    word(n);
    for (int k = 0; k < n; ++k) {
        for (int w = 0; w < 12; ++w)
            word(100 + k + w);
        b.insert(b.end(), {static_cast<std::uint8_t>(k % 60), static_cast<std::uint8_t>(9 + k / 60), 2, 3, 6});
    }
    return b;
}

// Appends the image to the table in a batch, as the Append command does.
void appendImage(MeasurementTable& t, const std::vector<std::uint8_t>& image)
{
    t.table().beginBatch();
    try {
        decodeImage(t, DownloadedImage{image, 4, 1234}, true);
    } catch (...) {
        t.table().endBatch();
        throw;
    }
    t.table().endBatch();
}

using FullDisk = StoreTest;

TEST_F(FullDisk, AppendOnASmallFullFileSystemKeepsTheRowsWhoseCountWasWritten)
{
    constexpr int kRecords = 200; // about 93 KB of rows for a 64 KB file system
    const std::vector<std::uint8_t> image = imageOfRecords(kRecords);
    const QString mountPoint = path(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const QString table = mountPoint + QStringLiteral("/полный.db");
    const QString copy = path(QStringLiteral("after.db"));
    const QString report = path(QStringLiteral("report.txt"));

    const int status = runInChild([&] {
        if (const int refused = enterPrivateMounts())
            return refused;
        if (::mount("kvel-test", mountPoint.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
            return kNoMount;
        std::ofstream out(report.toStdString());
        try {
            createTable(table, {fullDiskRow(1), fullDiskRow(2)});
            MeasurementTable t;
            t.open(table);
            try {
                appendImage(t, image);
                out << "error none\n";
            } catch (const StoreError& e) {
                out << "error " << static_cast<int>(e.code()) << "\nmessage " << e.what() << "\n";
            }
            out << "active " << t.isActive() << "\n";
            const std::vector<std::string> memory = recordsInMemory(t.table());
            out << "memory " << memory.size() << "\nview " << t.table().recordCount() << "\n";
            t.close();
            const FileState file = snapshot(table);
            out << "memory-matches-file " << (memory == recordsOf(file.bytes)) << "\n";
            MeasurementTable fresh;
            fresh.open(table);
            out << "reopened " << fresh.table().physicalCount() << "\n";
            fresh.close();
            std::ofstream(copy.toStdString(), std::ios::binary) << file.bytes;
        } catch (const std::exception& e) {
            out << "failed " << e.what() << "\n";
        }
        return 0;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    if (const std::string why = privateMountsRefused(WEXITSTATUS(status)); !why.empty())
        GTEST_SKIP() << why << ": cannot make a small file system";
    ASSERT_EQ(WEXITSTATUS(status), 0);

    std::map<std::string, std::string> seen;
    {
        std::istringstream lines(readBytes(report));
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t space = line.find(' ');
            seen[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
        }
    }
    ASSERT_EQ(seen.count("failed"), 0u) << seen["failed"];
    EXPECT_EQ(seen["error"], std::to_string(static_cast<int>(StoreError::Code::Io))) << "the full disk reaches the caller";
    EXPECT_NE(seen["message"].find("\"" + table.toStdString() + "\""), std::string::npos) << seen["message"];
    EXPECT_NE(seen["message"].find("на диске нет места"), std::string::npos) << seen["message"];
    EXPECT_EQ(seen["active"], "1") << "the table stays open";
    EXPECT_EQ(seen["memory-matches-file"], "1");
    EXPECT_EQ(seen["view"], seen["memory"]) << "the view shows the rows the file holds, and not the one that failed";
    EXPECT_EQ(seen["reopened"], seen["memory"]);

    // The file holds the rows whose count was written, each as an Append with room writes it.
    const FileState left = snapshot(copy);
    ASSERT_TRUE(left.exists);
    EXPECT_TRUE(endsCleanly(left.bytes)) << "the end mark right after the counted records";
    const std::uint32_t rows = countOf(left.bytes);
    EXPECT_GT(rows, 2u) << "some rows fitted";
    EXPECT_LT(rows, 2u + kRecords) << "not all rows fitted";
    EXPECT_EQ(std::to_string(rows), seen["memory"]);

    const QString roomy = path(QStringLiteral("roomy.db"));
    createTable(roomy, {fullDiskRow(1), fullDiskRow(2)});
    {
        MeasurementTable t;
        t.open(roomy);
        appendImage(t, image);
    }
    const std::vector<std::string> all = recordsOf(readBytes(roomy));
    ASSERT_EQ(all.size(), 2u + kRecords);
    EXPECT_EQ(recordsOf(left.bytes), std::vector<std::string>(all.begin(), all.begin() + rows));
    std::printf("a %d-record Append on a 64 KB file system kept %u of %d rows and reported: %s\n", kRecords, rows,
                kRecords + 2, seen["message"].c_str());

    const OracleReading reading = readWithDbfread({copy}, path(QString()));
    if (!reading.ran)
        GTEST_SKIP() << "/usr/bin/python3 with python3-dbfread is not installed";
    ASSERT_EQ(reading.error, "");
    EXPECT_EQ(reading.records.front(), liveRecordsWithoutFlag(left.bytes));
}

} // namespace
} // namespace store::test
