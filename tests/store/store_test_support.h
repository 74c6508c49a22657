#pragma once

// Helpers shared by the store tests: a private folder per test, raw file bytes, rows written
// through the measurement table, and child processes (other programs, python oracles).

#include "store/measurement_table.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace store::test {

// A test that works on files: each gets a fresh folder, removed afterwards.
class StoreTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

std::string readBytes(const QString& path);
void writeBytes(const QString& path, const std::string& bytes);

unsigned char byteAt(const std::string& bytes, std::size_t at);
unsigned u16At(const std::string& bytes, std::size_t at);
unsigned long u32At(const std::string& bytes, std::size_t at);
void putU16At(std::string& bytes, std::size_t at, unsigned value);
void putU32At(std::string& bytes, std::size_t at, unsigned long value);

// One cell of a row to write: a number, a text, or explicitly blank.
struct Blank {};
using Cell = std::variant<Blank, double, QString>;
using Cells = std::vector<std::pair<Field, Cell>>;

// Appends and posts a row holding `cells` (fields not named stay blank).
void appendRow(MeasurementTable& t, const Cells& cells);
// Sets the cells on the row being edited or appended.
void setCells(MeasurementTable& t, const Cells& cells);

// Puts `text`, right-aligned in the field's width, into the field `fieldName` of record
// `record` (physical, from 0) of the closed table at `path`, byte for byte, as another
// program might have written it. The field is found through the file's own header.
void overwriteField(const QString& path, std::uint32_t record, const std::string& fieldName, const std::string& text);

// Creates `path` with the given rows and leaves it closed.
void createTable(const QString& path, const std::vector<Cells>& rows);

// The values of one field along the current view, first to eof.
std::vector<std::optional<double>> numbersInView(MeasurementTable& t, Field f);
std::vector<QString> textsInView(MeasurementTable& t, Field f);

#ifndef _WIN32
// Runs `body` in a forked child and returns its exit status as waitpid reports it.
// The child ends with _exit(body()), so nothing of the parent's state is torn down twice.
int runInChild(const std::function<int()>& body);

// Exit codes of a child that could not get mounts of its own.
inline constexpr int kNoNamespace = 77;
inline constexpr int kNoPrivateMounts = 78;
inline constexpr int kNoMount = 79;
// In a forked child: a mount namespace of its own (as root directly, otherwise inside a user
// namespace in which this user is root, where the kernel allows that) whose mounts nobody
// outside sees. 0, or kNoNamespace / kNoPrivateMounts for the child to exit with.
int enterPrivateMounts();
// Why a child that exited with `code` could not make its mounts; empty for any other code.
std::string privateMountsRefused(int code);
#endif

// A child process that holds `path` open exclusively until the object is destroyed.
class TableHeldByChild {
public:
    explicit TableHeldByChild(const QString& path);
    ~TableHeldByChild();
    TableHeldByChild(const TableHeldByChild&) = delete;
    TableHeldByChild& operator=(const TableHeldByChild&) = delete;
    bool holding() const { return m_holding; }
    // The held file's bytes: read by name on POSIX, where the lock keeps no reader out; on
    // Windows, where it does, through the holder's own open.
    std::string bytes() const;

private:
    QString m_path;
#ifdef _WIN32
    std::unique_ptr<DbfTable> m_table;
#else
    int m_pid = -1;
    int m_release = -1; // write end; closing it lets the child go
#endif
    bool m_holding = false;
};

// Runs a program and gives back its exit code (-1 when it did not exit normally) and
// everything it wrote to stdout and stderr.
struct ProcessResult {
    int exitCode = -1;
    std::string output;
};
ProcessResult runProcess(const std::vector<std::string>& argv);

// /usr/bin/python3 can import every module named; the oracle tests skip themselves otherwise.
bool pythonHasModules(std::initializer_list<const char*> modules);

} // namespace store::test
