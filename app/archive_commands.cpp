#include "app/archive_commands.h"

#include "app/archive_window.h"
#include "app/error_report.h"
#include "app/error_text.h"

#include "archive/archive_error.h"
#include "archive/archive_export.h"
#include "archive/test_values.h"
#include "document/measurement_document.h"
#include "settings/program_settings.h"
#include "store/measurement_table.h"
#include "store/row_cursor.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QThread>

namespace app {

namespace {

const QString kAutoAddKey = QStringLiteral("Archive_auto");

QString summaryText(const archive::ImportSummary& summary)
{
    return QStringLiteral("В архив добавлено таблиц: %1; испытаний в них: %2, новых: %3, изменённых: %4.")
        .arg(summary.tables)
        .arg(summary.total.tests)
        .arg(summary.total.added)
        .arg(summary.total.updated);
}

} // namespace

ArchiveCommands::ArchiveCommands(const CommandContext& context, std::function<void(const QString&)> openTable,
                                 QObject* parent)
    : QObject(parent), m_context(context), m_openTable(std::move(openTable))
{
    m_showArchive = makeCommand(this, m_context, "showArchiveAction", QStringLiteral("Открыть архив"),
                                [this] { showArchive(); });
    m_showArchive->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+A")));
    m_showArchive->setToolTip(QStringLiteral("Все испытания всех таблиц и приборов"));
    m_addTables = makeCommand(this, m_context, "archiveAddTablesMainAction", QStringLiteral("Добавить таблицы…"), [this] {
        const QStringList files = QFileDialog::getOpenFileNames(m_context.window, QStringLiteral("Добавить таблицы в архив"),
                                                                QString(), QStringLiteral("Таблицы (*.db);;Все файлы (*)"));
        std::vector<archive::TableToAdd> tables;
        for (const QString& file : files)
            tables.push_back({file, {}, false});
        if (!tables.empty())
            addTables(std::move(tables), {}, true);
    });
    m_addFolder = makeCommand(this, m_context, "archiveAddFolderMainAction", QStringLiteral("Добавить папку…"), [this] {
        const QString folder = QFileDialog::getExistingDirectory(m_context.window, QStringLiteral("Добавить папку в архив"));
        if (folder.isEmpty())
            return;
        std::vector<archive::TableToAdd> tables;
        for (const QString& file : archive::tableFiles({folder}))
            tables.push_back({file, {}, false});
        if (tables.empty()) {
            QMessageBox::information(m_context.window, QStringLiteral("Архив"),
                                     QStringLiteral("В папке «%1» и её подпапках нет таблиц (*.db).")
                                         .arg(QDir::toNativeSeparators(folder)));
            return;
        }
        addTables(std::move(tables), {}, true);
    });
    m_autoAdd = new QAction(QStringLiteral("Добавлять открытые таблицы в архив"), this);
    m_autoAdd->setObjectName(QStringLiteral("archiveAutoAddAction"));
    m_autoAdd->setCheckable(true);
    m_autoAdd->setChecked(addsOnItsOwn());
    m_autoAdd->setToolTip(QStringLiteral("Создать, Открыть и Дополнить добавляют испытания таблицы в архив"));
    connect(m_autoAdd, &QAction::toggled, this, [this](bool on) { m_context.settings.setValue(kAutoAddKey, on); });

    if (auto* window = qobject_cast<QMainWindow*>(m_context.window)) {
        m_progressText = new QLabel(window);
        m_progressText->setObjectName(QStringLiteral("archiveImportText"));
        m_progress = new QProgressBar(window);
        m_progress->setObjectName(QStringLiteral("archiveImportProgress"));
        m_progress->setMaximumWidth(200);
        m_progressText->hide();
        m_progress->hide();
        window->statusBar()->addPermanentWidget(m_progressText);
        window->statusBar()->addPermanentWidget(m_progress);
    }
}

ArchiveCommands::~ArchiveCommands()
{
    // A job still running stops after its table, which is added whole or not at all; the
    // program waits for that before it goes, so that no thread outlives it.
    if (m_job) {
        m_job->cancel();
        if (QThread* thread = m_job->thread(); thread && thread != QThread::currentThread())
            thread->wait();
    }
    delete m_window;
}

ArchiveWindow* ArchiveCommands::window() const
{
    return m_window;
}

QString ArchiveCommands::location()
{
    return archive::Archive::defaultLocation();
}

QString ArchiveCommands::siteLineOf(const document::MeasurementDocument& document)
{
    if (!document.isOpen() || !QFileInfo::exists(location()))
        return {};
    try {
        archive::Archive archive(location());
        store::RowCursor rows(document.table());
        std::vector<std::uint32_t> records;
        for (rows.first(); !rows.atEnd(); rows.next())
            records.push_back(rows.record());
        return archive::sharedSiteLine(archive::sitesOf(archive, document.table(), records));
    } catch (const std::exception&) {
        // An archive that cannot be read leaves the report as it always was.
        return {};
    }
}

bool ArchiveCommands::addsOnItsOwn() const
{
    return settings::readFlag(m_context.settings, kAutoAddKey, true);
}

void ArchiveCommands::showArchive()
{
    if (!m_window) {
        auto made = std::make_unique<archive::Archive>(location());
        ArchiveWindow::Program program;
        program.addTables = [this](std::vector<archive::TableToAdd> tables, const archive::SiteAssignment& site) {
            addTables(std::move(tables), site, true);
        };
        program.openTable = [this](const QString& path, const QByteArray& identity) { openTableAt(path, identity); };
        m_window = new ArchiveWindow(std::move(made), std::move(program), m_context.window);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void ArchiveCommands::addOpenTable()
{
    const document::MeasurementDocument& document = m_context.document;
    if (!addsOnItsOwn() || !document.isOpen())
        return;
    // The program holds the table: a copy of its bytes, read through the program's own open,
    // is what the job reads, under the table's name.
    const std::string bytes = document.table().table().fileBytes();
    QTemporaryFile copy(QDir::temp().filePath(QStringLiteral("kvel-archive-XXXXXX.db")));
    copy.setAutoRemove(false);
    if (!copy.open() || copy.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !copy.flush()) {
        copy.remove();
        showProgress(QStringLiteral("Архив: не удалось сделать копию таблицы для архива: %1").arg(copy.errorString()), -2, 0);
        return;
    }
    const QString file = copy.fileName();
    copy.close();
    addTables({{file, document.path(), true}}, {}, false);
}

void ArchiveCommands::addTables(std::vector<archive::TableToAdd> tables, const archive::SiteAssignment& site, bool tell)
{
    m_queue.push_back({std::move(tables), site, tell});
    if (!m_running)
        startNext();
}

void ArchiveCommands::startNext()
{
    if (m_queue.empty())
        return;
    Queued next = std::move(m_queue.front());
    m_queue.erase(m_queue.begin());
    m_running = true;
    auto* job = new archive::ImportJob(location(), std::move(next.tables), next.site,
                                       [](const std::exception& error, const QString& file) {
                                           return openFailureText(error, file);
                                       });
    m_job = job;
    connect(job, &archive::ImportJob::progress, this,
            [this](int table, int tables, qint64 done, qint64 total, const QString& name) {
                const QString text = tables > 1 ? QStringLiteral("Архив: «%1» (%2 из %3)").arg(name).arg(table + 1).arg(tables)
                                                 : QStringLiteral("Архив: «%1»").arg(name);
                showProgress(text, done, total);
            });
    const bool tell = next.tell;
    connect(job, &archive::ImportJob::finished, this,
            [this, tell](const archive::ImportSummary& summary) { finished(summary, tell); });
    job->start();
}

void ArchiveCommands::finished(const archive::ImportSummary& summary, bool tell)
{
    m_running = false;
    m_job = nullptr;
    showProgress({}, -1, 0);
    QString text = summary.archiveError.isEmpty() ? summaryText(summary) : summary.archiveError;
    if (m_window)
        m_window->refresh();
    if (auto* window = qobject_cast<QMainWindow*>(m_context.window))
        window->statusBar()->showMessage(text.section(QLatin1Char('\n'), 0, 0), 15000);
    // Added by hand: the user hears of the outcome and of every table left out; added on its
    // own, a failure still says why.
    if (tell || !summary.archiveError.isEmpty() || !summary.failures.isEmpty()) {
        if (!summary.failures.isEmpty())
            text += QStringLiteral("\n\nНе добавлены:\n") + summary.failures.join(QLatin1Char('\n'));
        QWidget* parent = m_window && m_window->isVisible() ? static_cast<QWidget*>(m_window) : m_context.window;
        QMessageBox box(summary.archiveError.isEmpty() && summary.failures.isEmpty() ? QMessageBox::Information
                                                                                      : QMessageBox::Warning,
                        QStringLiteral("Архив"), text, QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("ArchiveImportBox"));
        // An archive that refuses (newer, read-only, full) is told in a box once a run when
        // the adding was the program's own; after that in the status bar, not at every Open.
        const bool firstRefusal = !summary.archiveError.isEmpty() && !m_refusalShown;
        if (tell || firstRefusal) {
            m_refusalShown = m_refusalShown || firstRefusal;
            box.exec();
        }
        else if (auto* window = qobject_cast<QMainWindow*>(m_context.window))
            window->statusBar()->showMessage(text.replace(QLatin1Char('\n'), QLatin1Char(' ')), 30000);
    }
    emit importFinished(summary);
    startNext();
}

void ArchiveCommands::showProgress(const QString& text, qint64 done, qint64 total)
{
    if (m_window)
        m_window->showProgress(text, done, total);
    if (!m_progress)
        return;
    if (done == -2) {
        if (auto* window = qobject_cast<QMainWindow*>(m_context.window))
            window->statusBar()->showMessage(text, 15000);
        return;
    }
    showImportProgress(m_progressText, m_progress, text, done, total);
}

void ArchiveCommands::openTableAt(const QString& path, const QByteArray& identity)
{
    document::MeasurementDocument& document = m_context.document;
    if (!document.isOpen() || QDir::cleanPath(document.path()) != QDir::cleanPath(path))
        m_openTable(path);
    if (!document.isOpen() || QDir::cleanPath(QFileInfo(document.path()).absoluteFilePath()) != QDir::cleanPath(path))
        return;
    // The test's record, found by what makes it the test (a renumbering or pack moved it).
    const store::MeasurementTable& table = document.table();
    const store::DbfTable& t = table.table();
    for (std::uint32_t record = 0; record < t.physicalCount(); ++record) {
        if (t.isDeleted(record))
            continue;
        const archive::TestValues values = archive::readRecord(table, record);
        if (archive::identityOf(values) != identity)
            continue;
        if (values.kind() != document.kind() && (values.kind() == store::kPenetrometerKind || values.kind() == store::kPressKind))
        {
            document.showKind(values.kind());
            emit kindShown();
        }
        const int position = t.positionOf(record);
        if (position >= 0)
            if (views::DataGrid* grid = m_context.shownGrid())
                grid->setCurrentRow(position);
        break;
    }
    m_context.window->raise();
    m_context.window->activateWindow();
}

} // namespace app
