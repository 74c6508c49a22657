#include "app/port_command.h"

#include "device/port_dialog.h"
#include "device/port_names.h"

#include <QAction>

namespace app {

PortCommand::PortCommand(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    m_choosePort = makeCommand(this, m_context, "choosePortAction", QStringLiteral("Порт прибора…"),
                               [this] { choosePort(); });
}

void PortCommand::choosePort()
{
    device::PortDialog dialog(m_context.window);
    if (dialog.exec() == QDialog::Accepted)
        emit portChosen();
}

QString PortCommand::portSummary()
{
    return device::portChoiceSummary();
}

} // namespace app
