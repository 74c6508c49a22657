// The archive as a user meets it: tables opened in the window go into the archive on their
// own; the archive window shows them, assigns a site, filters, exports, opens the table a test
// came from and previews the report of the chosen tests.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"

#include "app/archive_commands.h"
#include "app/archive_window.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "archive/archive.h"
#include "archive/test_list_model.h"
#include "views/data_grid.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace kvel_test;

using app::MainWindow;
using store::Field;

namespace {

Rows siteRows(double serial, const QString& date, int count, int firstN = 1)
{
    Rows rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({{Field::N, double(firstN + i)},
                        {Field::NB_TYPE, 0.0},
                        {Field::DEV_TYPE, 4.0},
                        {Field::SERIAL, serial},
                        {Field::DATE, date},
                        {Field::TIME, QStringLiteral("09:%1").arg(i, 2, 10, QLatin1Char('0'))},
                        {Field::P1, 100.0 + i},
                        {Field::P7, 0.9 + i / 100.0},
                        {Field::COMMENT, i == 0 ? QStringLiteral("Песок крупный") : QStringLiteral("суглинок")}});
    return rows;
}

// Runs `work` on the modal widget that the next step opens, then lets the step go on.
void onNextModal(const std::function<void(QWidget*)>& work)
{
    QTimer::singleShot(0, [work] {
        QWidget* modal = nullptr;
        for (int i = 0; i < 200 && !modal; ++i) {
            modal = QApplication::activeModalWidget();
            if (!modal)
                QTest::qWait(10);
        }
        QVERIFY(modal);
        work(modal);
    });
}

} // namespace

class ArchiveWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openedTablesGoIntoTheArchiveOnTheirOwn();
    void assignFilterExportAndReport();
    void openTableAtATest();
    void turningAutomaticAddingOffIsKept();

private:
    app::ArchiveCommands& archiveCommands() { return child<app::ArchiveCommands>(*m_window, "archiveCommands"); }
    // Opens a table in the main window and waits for its tests to reach the archive.
    void openAndWait(const QString& file);
    app::ArchiveWindow& showArchive();

    std::unique_ptr<QTemporaryDir> m_dir;
    app::ProgramState m_state;
    std::unique_ptr<MainWindow> m_window;
    QString m_first;
    QString m_second;
};

void ArchiveWindowTest::init()
{
    clearProgramSettings();
    QFile::remove(app::ArchiveCommands::location());
    m_dir = std::make_unique<QTemporaryDir>();
    m_first = m_dir->filePath(QStringLiteral("участок 1.db"));
    m_second = m_dir->filePath(QStringLiteral("участок 2.db"));
    writeTable(m_first, siteRows(1234, QStringLiteral("05.05.2026"), 3));
    writeTable(m_second, siteRows(4321, QStringLiteral("06.05.2026"), 4, 10));
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
}

void ArchiveWindowTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
    QFile::remove(app::ArchiveCommands::location());
}

void ArchiveWindowTest::openAndWait(const QString& file)
{
    QSignalSpy done(&archiveCommands(), &app::ArchiveCommands::importFinished);
    m_window->openTable(file);
    QVERIFY(documentOf(*m_window).isOpen());
    QVERIFY(done.wait(20000));
}

app::ArchiveWindow& ArchiveWindowTest::showArchive()
{
    actionOf(*m_window, "showArchiveAction").trigger();
    auto* window = archiveCommands().window();
    if (!window)
        throw std::runtime_error("no archive window");
    return *window;
}

void ArchiveWindowTest::openedTablesGoIntoTheArchiveOnTheirOwn()
{
    QVERIFY(archiveCommands().addsOnItsOwn());
    openAndWait(m_first);
    openAndWait(m_second);
    // The table file itself is only read.
    app::ArchiveWindow& window = showArchive();
    QVERIFY(window.isVisible());
    QCOMPARE(window.model(store::kPenetrometerKind)->rowCount(), 7);
    QCOMPARE(window.model(store::kPressKind)->rowCount(), 0);
    auto& tree = child<QTreeWidget>(window, "archiveTree");
    QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("Все испытания (7)"));
    QCOMPARE(tree.topLevelItem(0)->child(0)->text(0), QStringLiteral("Без объекта"));
    // The grid's captions and formats: N, Дата, Время, F1…, and the site after them.
    archive::TestListModel* model = window.model(store::kPenetrometerKind);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("N"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Дата"));
    QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("05.05.2026"));
    QCOMPARE(model->headerData(model->columnCount() - 1, Qt::Horizontal).toString(), QStringLiteral("Таблица"));

    // Opening it again adds nothing new.
    openAndWait(m_first);
    window.refresh();
    QCOMPARE(window.model(store::kPenetrometerKind)->rowCount(), 7);
}

void ArchiveWindowTest::assignFilterExportAndReport()
{
    openAndWait(m_first);
    openAndWait(m_second);
    app::ArchiveWindow& window = showArchive();
    QTableView* view = window.view(store::kPenetrometerKind);
    archive::TestListModel* model = window.model(store::kPenetrometerKind);
    // Tests in date and time order: the first table's three, then the second's.
    view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(1, 0)),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QAction& assign = actionOf(window, "archiveAssignAction");
    QVERIFY(assign.isEnabled());
    onNextModal([](QWidget* modal) {
        QCOMPARE(modal->objectName(), QStringLiteral("SiteDialog"));
        child<QComboBox>(*modal, "siteObject").setCurrentText(QStringLiteral("М-4 «Дон»"));
        child<QComboBox>(*modal, "siteLayer").setCurrentText(QStringLiteral("песок"));
        child<QLineEdit>(*modal, "siteChainage").setText(QStringLiteral("ПК 12+35,0"));
        modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    assign.trigger();
    auto& tree = child<QTreeWidget>(window, "archiveTree");
    QTreeWidgetItem* all = tree.topLevelItem(0);
    QCOMPARE(all->childCount(), 2); // "Без объекта" and the object
    QTreeWidgetItem* object = all->child(1);
    QCOMPARE(object->text(0), QStringLiteral("М-4 «Дон»"));
    tree.setCurrentItem(object);
    QCOMPARE(model->rowCount(), 2);
    const int chainage = model->columnCount() - 4;
    QCOMPARE(model->headerData(chainage, Qt::Horizontal).toString(), QStringLiteral("ПК"));
    QCOMPARE(model->data(model->index(0, chainage)).toString(), QStringLiteral("ПК 12+35,0"));

    // Filters: all tests again, then one instrument, then a text in the comment.
    tree.setCurrentItem(all);
    QCOMPARE(model->rowCount(), 7);
    auto& serial = child<QLineEdit>(window, "filterSerial");
    serial.setText(QStringLiteral("4321"));
    emit serial.editingFinished();
    QCOMPARE(model->rowCount(), 4);
    serial.clear();
    emit serial.editingFinished();
    auto& comment = child<QLineEdit>(window, "filterComment");
    comment.setText(QStringLiteral("ПЕСОК"));
    emit comment.editingFinished();
    QCOMPARE(model->rowCount(), 2); // "Песок крупный" of each table, whatever the case
    comment.clear();
    emit comment.editingFinished();

    // The export of the chosen tests, with the site columns.
    view->clearSelection();
    view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(0, 0)),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString out = m_dir->filePath(QStringLiteral("выборка.csv"));
    onNextModal([out](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        dialog->selectFile(out);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    actionOf(window, "archiveExportAction").trigger();
    QFile csv(out);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].contains(QStringLiteral(";М-4 «Дон»;;песок;ПК 12+35,0;;;")), qPrintable(lines[1]));

    // The report of the two tests of the object: its header names their site.
    view->clearSelection();
    tree.setCurrentItem(object);
    view->selectAll();
    bool previewed = false;
    QStringList texts;
    onNextModal([&](QWidget* modal) {
        previewed = qobject_cast<QPrintPreviewDialog*>(modal) != nullptr;
        if (auto* report = window.findChild<reports::ReportTemplate*>(QStringLiteral("archiveReport")))
            for (const reports::PreparedCell& cell : report->prepared().pages.front().cells)
                texts << cell.text;
        modal->close();
    });
    actionOf(window, "archiveReportAction").trigger();
    QVERIFY(previewed);
    QVERIFY2(texts.contains(QStringLiteral("Объект: М-4 «Дон»; слой: песок")), qPrintable(texts.join(QLatin1Char('|'))));
}

void ArchiveWindowTest::openTableAtATest()
{
    openAndWait(m_first);
    openAndWait(m_second);
    app::ArchiveWindow& window = showArchive();
    QTableView* view = window.view(store::kPenetrometerKind);
    archive::TestListModel* model = window.model(store::kPenetrometerKind);
    // The second test of the first table, while the second table is open.
    view->setCurrentIndex(model->index(1, 0));
    QCOMPARE(model->data(model->index(1, 0)).toString(), QStringLiteral("2"));
    actionOf(window, "archiveOpenTableAction").trigger();
    QCOMPARE(QFileInfo(documentOf(*m_window).path()).fileName(), QStringLiteral("участок 1.db"));
    views::DataGrid& grid = child<views::DataGrid>(*m_window, "PenetrometerGrid");
    QCOMPARE(grid.currentRow(), 1);
}

void ArchiveWindowTest::turningAutomaticAddingOffIsKept()
{
    QAction& automatic = actionOf(*m_window, "archiveAutoAddAction");
    QVERIFY(automatic.isChecked());
    automatic.trigger();
    QVERIFY(!archiveCommands().addsOnItsOwn());
    m_window->openTable(m_first);
    QTest::qWait(200);
    QVERIFY(!archiveCommands().importRunning());
    app::ArchiveWindow& window = showArchive();
    QCOMPARE(window.model(store::kPenetrometerKind)->rowCount(), 0);
    // A new window reads the setting back.
    m_window.reset();
    m_window = std::make_unique<MainWindow>(m_state);
    QVERIFY(!actionOf(*m_window, "archiveAutoAddAction").isChecked());
}

KVEL_WIDGET_TEST_MAIN(ArchiveWindowTest)
#include "archive_window_test.moc"
