#pragma once

#include "archive/archive.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <functional>
#include <vector>

class QThread;

namespace archive {

// A table to add: a file read in place, or a copy of a table the program holds open, read
// under the table's own name (and removed afterwards).
struct TableToAdd {
    QString file;
    QString source; // the table's name in the archive; empty: `file`
    bool removeAfter = false;
};

// What a job did.
struct ImportSummary {
    int tables = 0;       // added
    AddResult total;      // summed over them
    QStringList failures; // one line per table that could not be read: "«name»: reason"
    QString archiveError; // set when the archive itself refused: nothing more was added
    bool cancelled = false;
};

// Adds tables to an archive off the window's thread, with a connection of its own: made on
// the thread that runs run(). The window hears of its progress through queued signals and
// stays responsive. A table that cannot be read is reported and skipped; an archive that
// refuses ends the job.
class ImportJob : public QObject {
    Q_OBJECT
public:
    // Words a table's failure for the user (which table, why).
    using Describe = std::function<QString(const std::exception& error, const QString& file)>;

    ImportJob(QString location, std::vector<TableToAdd> tables, SiteAssignment site, Describe describe);
    ~ImportJob() override;

    // Stops before the next table; the table being added is finished or not added at all.
    void cancel() noexcept { m_cancelled = true; }

    // Runs the job where it is called (a thread of its own: start()).
    void run();
    // Moves the job onto a thread of its own and runs it there; the thread and the job are
    // deleted once it has finished.
    void start();

signals:
    // Table `table` of `tables` (from 0), record `done` of `total` in it.
    void progress(int table, int tables, qint64 done, qint64 total, const QString& name);
    void finished(const archive::ImportSummary& summary);

private:
    QString m_location;
    std::vector<TableToAdd> m_tables;
    SiteAssignment m_site;
    Describe m_describe;
    std::atomic<bool> m_cancelled{false};
};

} // namespace archive

Q_DECLARE_METATYPE(archive::ImportSummary)
