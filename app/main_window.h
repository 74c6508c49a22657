#pragma once

#include "app/command_context.h"
#include "app/program_state.h"
#include "document/measurement_document.h"

#include <QMainWindow>
#include <QPalette>
#include <QSettings>

#include <memory>
#include <optional>

class QMenu;
class QTabWidget;
class QToolBar;

namespace views {
class GridTabs;
}

namespace app {

class ArchiveCommands;
class ChartCommands;
class ExportCommand;
class HelpCommands;
class LimitsCommand;
class PortCommand;
class PrintCommands;
class RowCommands;
class StartPage;
class TableCommands;
class TableFiles;

// The main window: menu, toolbar, the two kind tabs with their grids, the start page and the
// chart dock, over the measurement document. It switches between two states, no table and
// table open, following the document; the commands themselves live in command objects
// (TableCommands, RowCommands, ExportCommand, PrintCommands, ChartCommands, LimitsCommand,
// PortCommand, HelpCommands), children of the window named after them, whose actions the
// window puts into its menus and toolbar.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window in its no-table state. The window is not shown; start-up shows it
    // (maximised) once the splash has gone.
    explicit MainWindow(ProgramState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens a table named on the command line, as "Открыть" opens a chosen one.
    void openTable(const QString& path);
    // A second start of the program named this table: the window comes to the front and
    // opens it, once no dialog is in the way.
    void openHandedOver(const QString& path);

protected:
    // Closing from the title bar ends a cell edit, remembers the data folder and closes the
    // table (asking about unsaved edits); a refusal keeps the window open.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A table file dropped on the window is opened as "Открыть" would.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildPages();
    void buildStartPage();
    void buildCommands();
    void buildMenus();
    void buildToolBar();
    void buildPopupMenu();
    // Background of the client area: the button shadow while no table is open, the button
    // face while one is.
    void setClientColour(QPalette::ColorRole role);
    void applyClientColour();
    // The table commands are enabled only while a table is open.
    void enableTableCommands(bool enabled);
    // Shows the tab of the open table's kind (the press tab as soon as the table holds one
    // press row).
    void showKindTab();
    // The window's table-open state once the document holds a table: commands, the tab of
    // its kind, the stored column layouts.
    void showOpenTable();
    // The window's no-table state after the document closed (Close, or a file that could not
    // be opened again): layouts stored, commands disabled, start page, caption and colour.
    void showNoTable();
    // The title bar: the open table's name, with a "*" while it has unsaved changes.
    void showTitle();
    // The window's place and size and the docks' from the last run (maximised the first time).
    void restoreWindowLayout();
    void showRecentTables();
    void pageChanged(int index);

    ProgramState& m_state;
    // The document outlives everything that shows it: members go in reverse order, so the
    // pages and grids below are destroyed before it.
    document::MeasurementDocument m_document;
    std::unique_ptr<QSettings> m_settings;
    QPalette::ColorRole m_clientColour = QPalette::Dark;

    std::unique_ptr<views::GridTabs> m_gridTabs;
    QWidget* m_client = nullptr;
    std::unique_ptr<QTabWidget> m_pages;
    QWidget* m_penetrometerPage = nullptr;
    QWidget* m_pressPage = nullptr;
    QWidget* m_shownPage = nullptr; // the tab page whose rows the grids last showed
    bool m_returningToPage = false; // a refused cell text takes the user back to its page
    StartPage* m_startPage = nullptr;
    QMenu* m_popupMenu = nullptr;
    QToolBar* m_toolBar = nullptr;

    TableFiles* m_files = nullptr;
    std::optional<CommandContext> m_context;
    TableCommands* m_tableCommands = nullptr;
    RowCommands* m_rowCommands = nullptr;
    ExportCommand* m_exportCommand = nullptr;
    PrintCommands* m_printCommands = nullptr;
    ChartCommands* m_chartCommands = nullptr;
    LimitsCommand* m_limitsCommand = nullptr;
    PortCommand* m_portCommand = nullptr;
    HelpCommands* m_helpCommands = nullptr;
    ArchiveCommands* m_archiveCommands = nullptr;
    std::vector<QAction*> m_tableActions; // enabled only while a table is open
};

} // namespace app
