#pragma once

#include "app/command_context.h"

#include <QObject>

class QAction;

namespace app {

// "Нормативы…": the minimums of K and E, stored (Limit_K, Limit_E) and applied to the
// document, which marks the rows by them.
class LimitsCommand : public QObject {
    Q_OBJECT

public:
    // The stored limits go to the document at once: they belong to the program, not a table.
    LimitsCommand(const CommandContext& context, QObject* parent);

    QAction* limitsAction() const noexcept { return m_limits; }
    void chooseLimits();

private:
    CommandContext m_context;
    QAction* m_limits = nullptr;
};

} // namespace app
