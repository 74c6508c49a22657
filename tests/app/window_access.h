#pragma once

// How the tests reach the parts of the main window a user reaches: actions, menus and
// widgets by their object names, the command objects (children named after them) and the
// document the window shows.

#include "app/chart_commands.h"
#include "app/main_window.h"
#include "app/print_commands.h"
#include "app/row_commands.h"
#include "app/start_page.h"
#include "app/table_commands.h"
#include "app/table_files.h"
#include "document/measurement_document.h"
#include "reports/report_template.h"
#include "views/data_grid.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QString>
#include <QWidget>

namespace kvel_test {

// A child of the window by name; fails the test (and throws) when there is none.
QObject& childNamed(const QWidget& window, const QString& name);
template <typename T>
T& child(const QWidget& window, const char* name)
{
    auto* found = qobject_cast<T*>(&childNamed(window, QString::fromLatin1(name)));
    if (!found)
        throw std::runtime_error(std::string("no child of this type named ") + name);
    return *found;
}

inline document::MeasurementDocument& documentOf(const QWidget& window)
{
    return child<document::MeasurementDocument>(window, "measurementDocument");
}
inline const store::MeasurementTable& tableOf(const QWidget& window)
{
    return documentOf(window).table();
}
inline app::TableCommands& tableCommandsOf(const QWidget& window)
{
    return child<app::TableCommands>(window, "tableCommands");
}
inline app::RowCommands& rowCommandsOf(const QWidget& window)
{
    return child<app::RowCommands>(window, "rowCommands");
}
inline app::PrintCommands& printCommandsOf(const QWidget& window)
{
    return child<app::PrintCommands>(window, "printCommands");
}
inline app::ChartCommands& chartCommandsOf(const QWidget& window)
{
    return child<app::ChartCommands>(window, "chartCommands");
}
inline app::TableFiles& tableFilesOf(const QWidget& window)
{
    return child<app::TableFiles>(window, "tableFiles");
}
inline app::StartPage& startPageOf(const QWidget& window)
{
    return child<app::StartPage>(window, "StartPage");
}
inline reports::ReportTemplate& reportOf(const QWidget& window, const char* name)
{
    return child<reports::ReportTemplate>(window, name);
}
inline QAction& actionOf(const QWidget& window, const char* name)
{
    return child<QAction>(window, name);
}
inline QMenu& menuOf(const QWidget& window, const char* name)
{
    return child<QMenu>(window, name);
}
inline QFileDialog& dialogOf(const QWidget& window, const char* name)
{
    return child<QFileDialog>(window, name);
}
// Grid1 (penetrometer rows) and Grid2 (press rows).
views::DataGrid& gridOf(const QWidget& window, const char* name);
// The grid of the tab in front.
views::DataGrid& shownGridOf(const QWidget& window);
// Opens the table as the command line's table is opened; whether it opened.
inline bool openTableIn(app::MainWindow& window, const QString& path)
{
    window.openTable(path);
    return documentOf(window).isOpen();
}
// Runs the menu command `name` as a click on it would.
void trigger(const QWidget& window, const char* name);
// The role of the client area's background: QPalette::Dark with no table open,
// QPalette::Button with one.
QPalette::ColorRole clientColourOf(const QWidget& window);

} // namespace kvel_test
