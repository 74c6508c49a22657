#include "app/row_commands.h"

#include "app/error_report.h"
#include "app/resources.h"

#include "document/measurement_document.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAction>
#include <QColorDialog>
#include <QIcon>
#include <QKeySequence>
#include <QSettings>

namespace app {
namespace {

const QString kLastColourKey = QStringLiteral("Last_color");

} // namespace

RowCommands::RowCommands(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    const auto deleteShown = [this] {
        if (m_context.document.isOpen())
            deleteSelectedRows(*m_context.shownGrid());
    };
    m_deleteRows = makeCommand(this, m_context, "deleteRowsAction", QStringLiteral("Удалить строки"), deleteShown);
    m_deleteRows->setIcon(programIcon("delete_rows"));
    m_deleteRows->setShortcut(QKeySequence::Delete);
    m_deleteRows->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_deleteRowsPopup = makeCommand(this, m_context, "deleteRowsPopupAction", QStringLiteral("Удалить"), deleteShown);
    m_renumber = makeCommand(this, m_context, "renumberAction", QStringLiteral("Перенумеровать строки"),
                             [this] { renumberRows(); });
    m_setColumnColour = makeCommand(this, m_context, "setColumnColourAction", QStringLiteral("Задать цвет"),
                                    [this] { chooseColumnColour(); });
    m_clearColumnColour = makeCommand(this, m_context, "clearColumnColourAction", QStringLiteral("Убрать цвет"),
                                      [this] { clearColumnColour(); });
    m_clearAllColours = makeCommand(this, m_context, "clearAllColoursAction", QStringLiteral("Убрать все цвета"),
                                    [this] { clearAllColours(); });
    // Column widths neither read nor reset the rows: a cell edit stays open.
    m_equalizeColumns = makeCommand(this, m_context, "equalizeColumnsAction", QStringLiteral("Выровнять столбцы"),
                                    [this] { equalizeColumns(); }, CellEdit::Keep);
    m_unsort = makeCommand(this, m_context, "unsortAction", QStringLiteral("Убрать сортировку"), [this] { unsortAll(); });
    // A view of the same rows: the edit in progress ends first, so nothing typed is lost.
    m_forcesInRow = makeCommand(this, m_context, "forcesInRowAction", QStringLiteral("Усилия в строку"), [this] {
        m_context.grids.setForcesInRow(m_forcesInRow->isChecked(), m_context.settings);
    });
    m_forcesInRow->setCheckable(true);
    // A refused cell text keeps the view as it was, and the mark says which view is shown.
    connect(m_forcesInRow, &QAction::triggered, this,
            [this] { m_forcesInRow->setChecked(m_context.grids.forcesInRow()); });
    m_forcesInRow->setChecked(views::GridTabs::storedForcesInRow(m_context.settings));
    m_forcesInRow->setToolTip(QStringLiteral("Одна строка на испытание, усилия F1…F5 рядом"));

    // A row being edited is written first, and is then what an undo takes back.
    m_undo = makeCommand(this, m_context, "undoAction", QStringLiteral("Отменить"),
                         [this] { m_context.document.undo(); });
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = makeCommand(this, m_context, "redoAction", QStringLiteral("Повторить"),
                         [this] { m_context.document.redo(); });
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(&m_context.document, &document::MeasurementDocument::historyChanged, this, &RowCommands::showHistory);
    showHistory();
}

void RowCommands::showHistory()
{
    const document::MeasurementDocument& document = m_context.document;
    const auto named = [](const QString& verb, const QString& name) {
        return name.isEmpty() ? verb : verb + QLatin1Char(' ') + name;
    };
    m_undo->setText(named(QStringLiteral("Отменить"), document.undoName()));
    m_redo->setText(named(QStringLiteral("Повторить"), document.redoName()));
    m_undo->setEnabled(document.isOpen() && document.canUndo());
    m_redo->setEnabled(document.isOpen() && document.canRedo());
}

void RowCommands::deleteSelectedRows(views::DataGrid& grid)
{
    if (!m_context.document.isOpen())
        return;
    const std::vector<std::uint32_t> rows = grid.rowsToDelete();
    // The selection goes, whatever happens.
    try {
        m_context.document.deleteRecords(rows);
    } catch (...) {
        grid.clearSelection();
        throw;
    }
    grid.clearSelection();
}

void RowCommands::renumberRows()
{
    m_context.document.renumber();
}

void RowCommands::chooseColumnColour()
{
    if (!m_context.document.isOpen())
        return;
    views::DataGrid* grid = m_context.shownGrid();
    QColorDialog dialog(m_context.window);
    dialog.setObjectName(QStringLiteral("columnColourDialog"));
    // It starts on the colour chosen last, so one colour goes on column after column.
    const QColor last(m_context.settings.value(kLastColourKey).toString());
    if (last.isValid())
        dialog.setCurrentColor(last);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_context.settings.setValue(kLastColourKey, dialog.selectedColor().name());
    grid->setColumnColor(grid->currentColumn(), dialog.selectedColor());
}

void RowCommands::clearColumnColour()
{
    if (!m_context.document.isOpen())
        return;
    views::DataGrid* grid = m_context.shownGrid();
    grid->setColumnColor(grid->currentColumn(), std::nullopt);
}

void RowCommands::clearAllColours()
{
    if (m_context.document.isOpen())
        m_context.shownGrid()->clearColumnColors();
}

void RowCommands::equalizeColumns()
{
    if (m_context.document.isOpen())
        views::equalizeColumns(*m_context.shownGrid());
}

void RowCommands::unsortAll()
{
    m_context.grids.unsortAll();
}

} // namespace app
