#pragma once

#include <QIODevice>
#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace platform {
class File;
class FileError;
} // namespace platform

namespace table_export {

// Refuses, with a StoreError (Io) that names the file and says why, an output that would
// destroy an input: the table `source` itself (also through a link or another name), another
// dBase table, a file somebody holds open (a table in a running copy of the program), and
// what no export may replace (a folder, a device, a read-only file). An empty name is refused
// too. Checked before any work is done.
void requireExportTarget(const QString& source, const QString& out);

// Writes a file the safe way: `write` makes the whole file in a temporary file beside the
// target, which then takes the target's place in one step, with the old file's access rights.
// A symbolic link is followed (its target is replaced); a folder, a device or a file the user
// may not write is refused before anything is written. On any failure the temporary file goes
// and the target is left as it was. `write` throws to fail; a platform::FileError or a
// StoreError is passed on as a StoreError (Io) that names the file.
void writeReplacing(const QString& path, const std::function<void(platform::File& temp)>& write);

// The message for a file that could not be written: "Не удалось записать файл «name»: why".
QString writeFailureText(const QString& path, const QString& why);

// A sequential QIODevice over a file of the file layer, for writers that take a device (the
// PDF writer): every write goes through the file layer, and the first failure is kept, so a
// writer that ignores a failed write cannot hide it.
class FileDevice : public QIODevice {
public:
    explicit FileDevice(platform::File& file);
    ~FileDevice() override;
    bool isSequential() const override { return true; }
    // Throws the first write failure, if there was one.
    void throwIfFailed() const;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    platform::File& m_file;
    std::uint64_t m_written = 0;
    std::function<void()> m_failure;
};

} // namespace table_export
