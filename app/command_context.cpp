#include "app/command_context.h"

#include "app/error_report.h"

#include "document/measurement_document.h"
#include "views/grid_tabs.h"

#include <QAction>

namespace app {

views::DataGrid* CommandContext::shownGrid() const
{
    return grids.gridOfKind(document.kind());
}

bool runAfterCellEdit(const CommandContext& context, const std::function<void()>& command)
{
    bool ran = false;
    runCommand(context.window, [&] {
        if (!context.grids.endEdit())
            return;
        command();
        ran = true;
    });
    return ran;
}

QAction* makeCommand(QObject* owner, const CommandContext& context, const char* name, const QString& caption,
                     std::function<void()> command, CellEdit edit)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, owner, [&context, command = std::move(command), edit] {
        if (edit == CellEdit::Keep)
            runCommand(context.window, command);
        else
            runAfterCellEdit(context, command);
    });
    return action;
}

} // namespace app
