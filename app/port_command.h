#pragma once

#include "app/command_context.h"

#include <QObject>

class QAction;

namespace app {

// "Порт прибора…": the serial port the instrument is on, chosen in the port dialog.
class PortCommand : public QObject {
    Q_OBJECT

public:
    PortCommand(const CommandContext& context, QObject* parent);

    QAction* choosePortAction() const noexcept { return m_choosePort; }
    void choosePort();
    // The port chosen, in a line for the start page.
    static QString portSummary();

signals:
    void portChosen();

private:
    CommandContext m_context;
    QAction* m_choosePort = nullptr;
};

} // namespace app
