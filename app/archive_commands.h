#pragma once

#include "app/command_context.h"

#include "archive/archive.h"
#include "archive/import_job.h"

#include <QObject>
#include <QPointer>

#include <vector>

class QAction;
class QLabel;
class QProgressBar;

namespace document {
class MeasurementDocument;
}

namespace app {

class ArchiveWindow;

// The archive's commands in the main window: its window, adding tables by hand, and adding
// the open table's tests on its own after New, Open and Append (a setting, on by default).
// Tables are added by jobs off the window's thread, one job at a time.
class ArchiveCommands : public QObject {
    Q_OBJECT
public:
    // `openTable` opens a table in the main window, as Open does.
    ArchiveCommands(const CommandContext& context, std::function<void(const QString&)> openTable, QObject* parent);
    ~ArchiveCommands() override;

    QAction* showArchiveAction() const { return m_showArchive; }
    QAction* addTablesAction() const { return m_addTables; }
    QAction* addFolderAction() const { return m_addFolder; }
    QAction* autoAddAction() const { return m_autoAdd; }

    // The archive the program works with: the user's own.
    static QString location();
    // The site that every row the document shows has in the archive, as a report's line
    // under its title; empty when they share none, or there is no archive to ask (reports
    // never make one).
    static QString siteLineOf(const document::MeasurementDocument& document);
    // Whether New, Open and Append add the table's tests ("Archive_auto", on when unset).
    bool addsOnItsOwn() const;

    void showArchive();
    // Adds the tests of the open table, read through the program (a copy of its file as the
    // program holds it), when the setting is on.
    void addOpenTable();
    // Queues a job; it starts when the one running has finished.
    void addTables(std::vector<archive::TableToAdd> tables, const archive::SiteAssignment& site, bool tellWhenDone);
    bool importRunning() const { return m_running; }
    // The archive's window, once it has been opened.
    ArchiveWindow* window() const;

signals:
    void importFinished(const archive::ImportSummary& summary);
    // Opening a table at a test of the other kind: the window shows that kind's tab.
    void kindShown();

private:
    struct Queued {
        std::vector<archive::TableToAdd> tables;
        archive::SiteAssignment site;
        bool tell;
    };
    void startNext();
    void finished(const archive::ImportSummary& summary, bool tell);
    void showProgress(const QString& text, qint64 done, qint64 total);
    // Opens the table and puts the grid on the test with this identity.
    void openTableAt(const QString& path, const QByteArray& identity);

    CommandContext m_context;
    std::function<void(const QString&)> m_openTable;
    QAction* m_showArchive = nullptr;
    QAction* m_addTables = nullptr;
    QAction* m_addFolder = nullptr;
    QAction* m_autoAdd = nullptr;
    QPointer<ArchiveWindow> m_window;
    std::vector<Queued> m_queue;
    bool m_running = false;
    bool m_refusalShown = false;
    QPointer<archive::ImportJob> m_job;
    QLabel* m_progressText = nullptr;
    QProgressBar* m_progress = nullptr;
};

} // namespace app
