#pragma once

#include "archive/archive.h"
#include "archive/import_job.h"
#include "archive/test_filter.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace archive {
class TestListModel;
struct ArchivedTest;
}

namespace app {

// Shows what an import is doing in a text and a bar (a status bar's); done < 0 hides both.
void showImportProgress(QLabel* text, QProgressBar* bar, const QString& what, qint64 done, qint64 total);

// The archive's window: a tree of objects, sections and layers on the left; the tests of the
// chosen node on the right, one tab per kind, with the filters above them; the commands on
// the chosen tests (assign a site, export, report, open the table they came from).
class ArchiveWindow : public QMainWindow {
    Q_OBJECT
public:
    // What the window asks of the program: to add tables (a job off the window's thread) and
    // to open a table at one of its tests.
    struct Program {
        std::function<void(std::vector<archive::TableToAdd> tables, const archive::SiteAssignment& site)> addTables;
        std::function<void(const QString& path, const QByteArray& identity)> openTable;
    };

    ArchiveWindow(std::unique_ptr<archive::Archive> archive, Program program, QWidget* parent = nullptr);
    ~ArchiveWindow() override;

    archive::Archive& archive() noexcept { return *m_archive; }
    // Reads the tree and the tests again (after an import).
    void refresh();
    // Shows what an import is doing; done = -1 hides it.
    void showProgress(const QString& text, qint64 done, qint64 total);
    // The model of a kind's tab (tests find the rows through it).
    archive::TestListModel* model(int kind) const;
    QTableView* view(int kind) const;

    // The filter the window's controls and tree set (without the kind).
    archive::TestFilter currentFilter() const;

private:
    void buildActions();
    void buildLayout();
    void fillTree();
    void applyFilter();
    // The tests of the tab in front that are selected; all of its tests when none is.
    std::vector<qint64> chosenTests(bool allWhenNone) const;
    archive::TestListModel* shownModel() const;
    QTableView* shownView() const;
    void chooseTablesToAdd();
    void chooseFolderToAdd();
    void assignSite();
    void exportTests();
    void openSourceTable();
    void reportTests();
    void showCharts();
    // The chosen tests (the selection, or the tab's tests) written into a table of their own
    // in `folder`, for the report and the charts; refuses more than `limit` with a message.
    bool chosenTable(const QString& folder, int limit, const QString& what, std::vector<archive::ArchivedTest>& tests);
    void updateActions();

    std::unique_ptr<archive::Archive> m_archive;
    Program m_program;
    QTreeWidget* m_tree = nullptr;
    QTabWidget* m_tabs = nullptr;
    archive::TestListModel* m_models[2] = {nullptr, nullptr};
    QTableView* m_views[2] = {nullptr, nullptr};
    QCheckBox* m_useFrom = nullptr;
    QDateEdit* m_from = nullptr;
    QCheckBox* m_useTo = nullptr;
    QDateEdit* m_to = nullptr;
    QLineEdit* m_serial = nullptr;
    QLineEdit* m_comment = nullptr;
    QCheckBox* m_belowLimits = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_progressText = nullptr;
    QProgressBar* m_progress = nullptr;
    QAction* m_addTables = nullptr;
    QAction* m_addFolder = nullptr;
    QAction* m_assign = nullptr;
    QAction* m_export = nullptr;
    QAction* m_openTable = nullptr;
    QAction* m_report = nullptr;
    QAction* m_charts = nullptr;
    QAction* m_close = nullptr;
};

} // namespace app
