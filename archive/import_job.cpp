#include "archive/import_job.h"

#include "archive/archive_error.h"
#include "store/store_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>

namespace archive {

ImportJob::ImportJob(QString location, std::vector<TableToAdd> tables, SiteAssignment site, Describe describe)
    : m_location(std::move(location)), m_tables(std::move(tables)), m_site(std::move(site)), m_describe(std::move(describe))
{
    qRegisterMetaType<archive::ImportSummary>();
}

ImportJob::~ImportJob()
{
    // Copies not read (a cancelled or failed job) go too.
    for (const TableToAdd& table : m_tables)
        if (table.removeAfter)
            QFile::remove(table.file);
}

void ImportJob::run()
{
    ImportSummary summary;
    try {
        Archive archive(m_location);
        const int count = int(m_tables.size());
        for (int i = 0; i < count; ++i) {
            if (m_cancelled) {
                summary.cancelled = true;
                break;
            }
            TableToAdd& table = m_tables[std::size_t(i)];
            const QString source = table.source.isEmpty() ? table.file : table.source;
            const QString name = QFileInfo(source).fileName();
            emit progress(i, count, 0, 0, name);
            // A few progress signals a second are enough for a bar; more would flood the queue.
            auto last = std::chrono::steady_clock::now();
            const auto report = [&](std::uint32_t done, std::uint32_t total) {
                const auto now = std::chrono::steady_clock::now();
                if (now - last < std::chrono::milliseconds(100) && done != total)
                    return;
                last = now;
                emit progress(i, count, done, total, name);
            };
            try {
                store::MeasurementTable opened;
                opened.openForReading(table.file);
                const AddResult added = archive.addTable(opened, source, m_site, report);
                ++summary.tables;
                summary.total.tests += added.tests;
                summary.total.added += added.added;
                summary.total.updated += added.updated;
                summary.total.gone += added.gone;
            } catch (const store::StoreError& error) {
                summary.failures << QStringLiteral("«%1»: %2")
                                        .arg(QDir::toNativeSeparators(source),
                                             m_describe ? m_describe(error, source) : QString::fromUtf8(error.what()))
                                        .replace(QLatin1Char('\n'), QLatin1Char(' '));
            }
            if (table.removeAfter) {
                QFile::remove(table.file);
                table.removeAfter = false;
            }
        }
    } catch (const ArchiveError& error) {
        summary.archiveError = QString::fromUtf8(error.what());
    } catch (const std::exception& error) {
        summary.archiveError = QStringLiteral("Внутренняя ошибка программы: %1").arg(QString::fromUtf8(error.what()));
    }
    emit finished(summary);
}

void ImportJob::start()
{
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("archiveImport"));
    moveToThread(thread);
    connect(thread, &QThread::started, this, &ImportJob::run);
    // Straight from the worker: a window that waits for the thread (the program closing) must
    // not wait for its own event loop to pass the word on.
    connect(this, &ImportJob::finished, thread, &QThread::quit, Qt::DirectConnection);
    connect(thread, &QThread::finished, this, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

} // namespace archive
