#include "app/limits_command.h"

#include "app/limits_dialog.h"

#include "document/measurement_document.h"

#include <QAction>
#include <QSettings>

namespace app {

LimitsCommand::LimitsCommand(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    m_context.document.setLimits(document::readLimits(m_context.settings));
    m_limits = makeCommand(this, m_context, "limitsAction", QStringLiteral("Нормативы…"), [this] { chooseLimits(); });
}

void LimitsCommand::chooseLimits()
{
    LimitsDialog dialog(m_context.document.limits(), m_context.window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    document::writeLimits(m_context.settings, dialog.limits());
    m_context.settings.sync();
    m_context.document.setLimits(dialog.limits());
}

} // namespace app
