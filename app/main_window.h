#pragma once

#include "app/program_state.h"
#include "document/measurement_document.h"
#include "store/flash_decoder.h"

#include <QMainWindow>
#include <QPalette>
#include <QSettings>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QDockWidget;
class QFileDialog;
class QMenu;
class QTabWidget;
class QToolBar;

namespace views {
class ChartPanel;
class DataGrid;
class GridTabs;
}
namespace device {
class DownloadDialog;
}
namespace reports {
class PageDrawing;
class ReportTemplate;
}

namespace app {

class AboutDialog;
class HelpWindow;
class StartPage;

// The main window "Form1": menu, toolbar, the two kind tabs and the remembered data folder,
// over the measurement document. It has two states, no table and table open, and follows the
// document between them (enable_button, tab_vis_en, setFormColor…). The commands ask the
// user what they need, hand the work to the document and word its results and errors.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window in its no-table state and reads the data folder from the settings.
    // The window is not shown; start-up shows it (maximised) once the splash has gone.
    explicit MainWindow(ProgramState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    ProgramState& programState() noexcept { return m_state; }
    document::MeasurementDocument& document() noexcept { return m_document; }
    const store::MeasurementTable& table() const noexcept { return m_document.table(); }

    bool dbOpen() const noexcept { return m_document.isOpen(); }
    // Set when the user starts editing a cell; cleared by Save, Close and row deletion.
    bool dbChanged() const noexcept { return m_document.isChanged(); }
    void setDbChanged(bool changed) { m_document.setChanged(changed); }

    // The remembered data folder, and the folder the open and save dialogs start in.
    const QString& dataDir() const noexcept { return m_dataDir; }
    void setDataDir(const QString& dir);

    // The program's settings, open for the whole run.
    QSettings& registry() noexcept { return *m_registry; }

    QFileDialog* openDialog() const noexcept { return m_openDialog; }
    QFileDialog* saveDialog() const noexcept { return m_saveDialog; }
    // The context menu both grids share.
    QMenu* popupMenu() const noexcept { return m_popupMenu; }
    // The two grids and their services.
    views::GridTabs* gridTabs() const noexcept { return m_gridTabs.get(); }

    // Background of the client area: QPalette::Dark (the button shadow) while no table is
    // open, QPalette::Button (the button face) while one is.
    void setFormColor(QPalette::ColorRole role);
    QPalette::ColorRole formColor() const noexcept { return m_formColor; }

    // The table commands, enabled only while a table is open.
    void enable_button();
    void disable_button();
    // Show the tab of the open table's kind (the press tab as soon as the table holds one
    // press row), or hide the tabs altogether.
    void tab_vis_en();
    void tab_vis_dis();

    // Writes everything to the table file by closing and reopening it. When the file cannot
    // be opened again, the window is left in its no-table state and StoreError says why.
    void Save_DB();
    // Asks about unsaved edits, closes the table (its index file goes with it) and returns
    // the window to its no-table state.
    void Close_DB();

    // Ends a cell edit in either grid as Enter would and posts the row being edited, so that
    // the table file, the footers, the export and the reports all see what the grid shows.
    // Every command that reads, resets or leaves the grids runs this first. False when the
    // typed text was refused: the refusal has been shown, the cell stays in edit with the
    // text, and the command must not run. Throws StoreError when the row cannot be written.
    bool endCellEdit();

    // Table file commands.
    void N2Click(); // "Создать": download the instrument into a new table
    void N3Click(); // "Открыть"
    // Opens a table named outside the open dialog (the command line, the recent tables, a
    // dropped file) as "Открыть" opens a chosen one: unsaved edits are asked about, the table
    // open is closed, and the new one's folder becomes the data folder.
    void openTable(const QString& path);
    void openFromCommandLine(const QString& path) { openTable(path); }
    // A second start of the program named this table: the window comes to the front and
    // opens it, once no dialog is in the way; the table already open is only shown.
    void openHandedOver(const QString& path);
    void N4Click(); // "Дополнить": download and add the new records to the open table
    void Create_DB(const QString& path);
    // Opens the table; a file that is not the measurement table gives "База данных
    // повреждена !" and leaves no table open. Returns whether it opened.
    bool Open_DB(const QString& path, std::unique_ptr<store::MeasurementTable> opened = {});

    // Rows and columns of the shown tab.
    void N21Click(); // "Удалить строки" / "Удалить"
    void DeleteSelectedRows(views::DataGrid& grid);
    void N37Click(); // "Перенумеровать строки"
    void N17Click(); // "Задать цвет"
    void N18Click(); // "Убрать цвет"
    void N19Click(); // "Убрать все цвета"
    void N23Click(); // "Выровнять столбцы"
    // The grid of the tab in front.
    views::DataGrid* shownGrid() const;
    device::DownloadDialog* downloadDialog() const noexcept { return m_downloadDialog; }

    // Preview and print (print_commands.cpp). The report components are made when first
    // used: Report1 penetrometer, Report2 press, Report3 plate test.
    void N8Click();  // "Предварительный просмотр"
    void N9Click();  // "Печать"
    void N22Click(); // the grids' "Печать": the same as the menu's
    reports::ReportTemplate* Report1();
    reports::ReportTemplate* Report2();
    reports::ReportTemplate* Report3();
    // The report of the shown tab and the device type; null when no table is active.
    reports::ReportTemplate* chosenReport();

    // Menu commands.
    void N5Click();  // "Сохранить"
    void N7Click();  // "Закрыть"
    void N33Click(); // "Убрать сортировку": both tabs back to file order
    void N11Click(); // "Выход": ends the program at once, without the close handler
    void N24Click(); // "Помощь"
    void N26Click(); // "О программе"
    void choosePort(); // "Порт прибора…"
    void setLimitsClick(); // "Нормативы…": the minimums of K and E, stored and applied

    // The start page, shown in the client area while no table is open, and the recent
    // tables it and the "Файл" menu list.
    StartPage* startPage() const noexcept { return m_startPage; }
    QMenu* recentMenu() const noexcept { return m_recentMenu; }
    QStringList recentTables() const;
    void Excel1Click(); // "Экспорт в Excel": the rows of the shown tab into a workbook file
    // The export itself: asks for the file, resets both tabs' sorting, writes the workbook
    // and reports success. The grid keeps its current row and scroll position. Throws
    // XlsError or StoreError when the file cannot be written.
    void exp2excel();

    // ---- charts of the tests (chart_commands.cpp) ----
    // The chart panel in the dock "ChartDock", shown while a table is open and "Вид → Графики"
    // is checked (remembered as Charts_visible); its figure is Charts_measure, its place
    // Charts_area.
    views::ChartPanel* chartPanel() const noexcept { return m_chartPanel; }
    QDockWidget* chartDock() const noexcept { return m_chartDock; }
    void ShowChartsClick(bool shown); // "Графики"
    void SaveChartClick();            // "Сохранить график…": asks for the file, then saveChartsAs
    // Writes the charts into `path`: PNG, SVG or PDF as its extension says, or else as the
    // save dialog's type `nameFilter` says (the extension is added then). Says why when the
    // file could not be written; false then.
    bool saveChartsAs(const QString& path, const QString& nameFilter);
    void ReportChartsClick(bool on); // "Графики в отчёте" (Charts_in_report)
    // The pages the report gets after its rows: the charts page while "Графики в отчёте" is on.
    std::vector<std::shared_ptr<const reports::PageDrawing>> reportAppendix();

protected:
    // Closing from the title bar remembers the data folder and closes the table.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A table file dropped on the window is opened as "Открыть" would.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct CommandDef;

    void FormCreate();
    void buildMenus();
    void buildToolBar();
    void buildPopupMenu();
    void buildPages();
    void buildDialogs();
    void buildStartPage();
    void fillRecentMenu();
    void showRecentTables();
    void rememberTable(const QString& path);
    void forgetTable(const QString& path);
    void forgetMissingTables();
    void readDataDir();
    void applyFormColor();
    store::DownloadedImage downloadedImage() const;
    // The window's table-open state once the document holds a table: commands, the tab of
    // its kind, the stored column layouts.
    void showOpenTable();
    // The window's no-table state after the document closed (Close, or a file that could
    // not be opened again): layouts stored, commands disabled, tabs hidden, caption and
    // colour reset.
    void showNoTable();
    // Runs a document command that may have to open the table again, wording the failure.
    void reopening(const std::function<void()>& command);
    QAction* addCommand(QMenu* menu, const CommandDef& def);
    void bind(QAction* action, void (MainWindow::*handler)(), bool keepsCellEdit);
    void TabSheet1Show();
    void TabSheet2Show();
    void showKind(int kind);
    void pageChanged(int index);
    // Prepares the chosen report over the view; null when there is no table or no pages.
    reports::ReportTemplate* prepareChosenReport();
    // The chart dock and its commands in "Вид"; the dock follows the document.
    void buildCharts();
    void updateChartDock();

    ProgramState& m_state;
    // The document outlives everything that shows it: members go in reverse order, so the
    // pages and grids below are destroyed before it.
    document::MeasurementDocument m_document;
    std::unique_ptr<QSettings> m_registry;
    QString m_dataDir;
    QPalette::ColorRole m_formColor = QPalette::Dark;

    // Grid1 and Grid2 over the document; the model they show outlives them.
    std::unique_ptr<views::GridTabs> m_gridTabs;
    QWidget* m_client = nullptr;
    std::unique_ptr<QTabWidget> m_pages;
    QWidget* m_tabSheet1 = nullptr;
    QWidget* m_tabSheet2 = nullptr;
    QWidget* m_shownPage = nullptr;    // the tab page whose rows the grids last showed
    bool m_returningToPage = false;    // a refused cell text takes the user back to its page
    device::DownloadDialog* m_downloadDialog = nullptr; // TForm2
    QToolBar* m_toolBar = nullptr;
    QMenu* m_popupMenu = nullptr;
    std::vector<QAction*> m_tableCommands;
    QFileDialog* m_openDialog = nullptr;
    QFileDialog* m_saveDialog = nullptr;
    AboutDialog* m_about = nullptr;
    StartPage* m_startPage = nullptr;
    QMenu* m_recentMenu = nullptr;
    QString m_handedOver; // a table handed over while a dialog was up
    HelpWindow* m_help = nullptr; // made when first asked for
    reports::ReportTemplate* m_report1 = nullptr;
    reports::ReportTemplate* m_report2 = nullptr;
    reports::ReportTemplate* m_report3 = nullptr;
    // Charts of the tests.
    QDockWidget* m_chartDock = nullptr;
    views::ChartPanel* m_chartPanel = nullptr;
    QAction* m_showChartsAction = nullptr;
    QAction* m_reportChartsAction = nullptr;
    QFileDialog* m_chartSaveDialog = nullptr; // made when first asked for
};

} // namespace app
