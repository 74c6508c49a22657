#pragma once

#include "app/command_context.h"

#include <QObject>

class QAction;

namespace app {

class AboutDialog;
class HelpWindow;

// "Помощь" (the help window over the help document) and "О программе".
class HelpCommands : public QObject {
    Q_OBJECT

public:
    HelpCommands(const CommandContext& context, QObject* parent);

    QAction* helpAction() const noexcept { return m_help; }
    QAction* aboutAction() const noexcept { return m_about; }

    void showHelp();
    void showAbout();
    // Closes the help window with the main window.
    void closeHelp();

private:
    CommandContext m_context;
    QAction* m_help = nullptr;
    QAction* m_about = nullptr;
    AboutDialog* m_aboutDialog = nullptr;
    HelpWindow* m_helpWindow = nullptr; // made when first asked for
};

} // namespace app
