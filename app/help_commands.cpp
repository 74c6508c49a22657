#include "app/help_commands.h"

#include "app/about_dialog.h"
#include "app/help_location.h"
#include "app/help_window.h"
#include "app/resources.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>

namespace app {

HelpCommands::HelpCommands(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    const QString helpFile = helpFilePath();
    if (QFileInfo::exists(helpFile))
        m_context.state.helpFile = helpFile;
    m_aboutDialog = new AboutDialog(m_context.window);

    // Neither reads nor resets the grids: a cell edit stays open.
    m_help = makeCommand(this, m_context, "helpAction", QStringLiteral("Помощь"), [this] { showHelp(); }, CellEdit::Keep);
    m_help->setShortcut(QKeySequence(QStringLiteral("F1")));
    m_help->setIcon(programIcon("help"));
    m_about = makeCommand(this, m_context, "aboutAction", QStringLiteral("О программе"), [this] { showAbout(); },
                          CellEdit::Keep);
}

void HelpCommands::showHelp()
{
    const QString file = m_context.state.helpFile.isEmpty() ? helpFilePath() : m_context.state.helpFile;
    if (!m_helpWindow) {
        auto* help = new HelpWindow(m_context.window);
        if (!help->load(file)) {
            delete help;
            QMessageBox::warning(m_context.window, QStringLiteral("Справка"),
                                 QStringLiteral("Не удалось открыть файл справки:\n%1\n\n"
                                                "Он должен лежать в папке программы.")
                                     .arg(QDir::toNativeSeparators(file)));
            return;
        }
        m_helpWindow = help;
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void HelpCommands::showAbout()
{
    m_aboutDialog->exec();
}

void HelpCommands::closeHelp()
{
    if (m_helpWindow)
        m_helpWindow->close();
}

} // namespace app
