#pragma once

// What the tests of failed and interrupted writes share: the operations that write a table
// (post, Append, pack, create), a run of each without faults that records every write point
// and the table file around it, reading a table file the way the header's count sees it, and
// one python3-dbfread run over many files.

#include "store_test_support.h"

#include "platform/file_io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace store::test {

// One operation of the file primitives, as the fault hook saw it.
struct FileOp {
    platform::Operation op = platform::Operation::Write;
    std::string path;
    std::uint64_t offset = 0;
    std::size_t size = 0;
};

// "write 466 B at 1731 of t.db", "truncate t.db.pack to 0", "sync t.db.new", "rename onto t.db".
std::string describe(const FileOp& op);

// Installs a hook for the life of the object and puts the previous one back.
class FaultHookScope {
public:
    explicit FaultHookScope(platform::FaultHook hook) : m_previous(platform::setFaultHook(std::move(hook))) {}
    ~FaultHookScope() { platform::setFaultHook(std::move(m_previous)); }
    FaultHookScope(const FaultHookScope&) = delete;
    FaultHookScope& operator=(const FaultHookScope&) = delete;

private:
    platform::FaultHook m_previous;
};

// A table file, or its absence.
struct FileState {
    bool exists = false;
    std::string bytes;
    friend bool operator==(const FileState&, const FileState&) = default;
};
FileState snapshot(const QString& path);

// The file as a reader that trusts the header's count sees it.
std::uint32_t countOf(const std::string& file);
std::size_t countedSize(const std::string& file); // header + counted records
std::vector<std::string> recordsOf(const std::string& file); // deletion flag included
// Ends with the end mark right after the counted records, and nothing else.
bool endsCleanly(const std::string& file);
// The header's date of the last update zeroed: runs of one operation on either side of
// midnight stamp different days.
std::string withoutDate(std::string file);

// The records of an open table as its memory holds them (deletion flag, then the fields).
std::vector<std::string> recordsInMemory(const DbfTable& t);

// Files beside the table that only the engine's temporary names would make.
std::vector<QString> temporariesIn(const QString& folder);

// An operation that writes a table, from the files it starts with.
struct Scenario {
    std::string name;
    // Makes the files the operation starts from (none for a create of a new table).
    std::function<void(const QString& table)> prepare;
    // Whether the operation works on the open table (post, Append, pack) or on a path (create).
    bool opensTable = true;
    // Brings the open table to the point of the operation, writing nothing.
    std::function<void(MeasurementTable&)> arrange;
    // The operation: every write point under test happens in here.
    std::function<void(MeasurementTable&, const QString& table)> act;
    // Which operation completes a change, so that the table is in a good state after it.
    // Unset: the header's write (the count) and the rename onto the table.
    std::function<bool(const FileOp& op, const std::string& realTable)> commit;
};
const std::vector<Scenario>& writeScenarios();

// Opens the table (when the scenario does) and arranges it; the table is left open.
void openForScenario(const Scenario& s, MeasurementTable& t, const QString& table);

// A run of a scenario without faults: every operation on its folder, the table file before and
// after each, the operation's own file after it, and the good states the table passes
// through: before the operation, then after each change whose count (or rename) completed.
struct Reference {
    std::vector<FileOp> ops;
    std::vector<FileState> tableBefore;
    std::vector<FileState> tableAfter;
    std::vector<FileState> opFileAfter;
    std::vector<FileState> good;
    std::vector<std::size_t> commitOps; // the op that completed good[k + 1]
};
Reference referenceRun(const Scenario& s, const QString& folder, const QString& table);
// How many changes had completed before op `op` began.
std::size_t goodBefore(const Reference& r, std::size_t op);

// Counts the operations whose file lies in `folder` and hands each, with its number, to `decide`.
platform::FaultHook hookInFolder(const QString& folder,
                                 std::function<platform::Fault(std::size_t index, const FileOp& op)> decide);

// Live records (deletion flag ' ') of many files, each read by python3-dbfread with raw
// field bytes. Returns, per file, the records as dbfread saw them (fields joined, no flag),
// or an error text. Empty when /usr/bin/python3 with dbfread is missing.
struct OracleReading {
    bool ran = false;
    std::string error;
    std::vector<std::vector<std::string>> records; // per file
};
OracleReading readWithDbfread(const std::vector<QString>& files, const QString& scratchFolder);
// The live records of a file as the oracle returns them: flag dropped.
std::vector<std::string> liveRecordsWithoutFlag(const std::string& file);

// A file left by one case and the records the engine holds in it.
struct OracleCase {
    QString file;
    std::vector<std::string> expected;
    std::string what; // the case, for the failure message
};
// Prints a matrix of outcomes under its title, for the record of a run.
void printMatrix(const char* title, const std::vector<std::string>& lines);
// Has python3-dbfread read every case's file and expects the engine's records; skips the
// test, saying why, when the oracle is not installed.
void expectOracleAgrees(const std::vector<OracleCase>& cases, const QString& scratchFolder);

} // namespace store::test
