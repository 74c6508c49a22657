#pragma once

#include "app/program_state.h"
#include "app/splash_window.h"

#include <QString>

#include <chrono>
#include <memory>

class QCoreApplication;

namespace app {

class InstanceServer;
class MainWindow;

struct StartupOptions {
    std::chrono::milliseconds splashTime = SplashWindow::kDisplayTime;
    QString tableToOpen; // named on the command line: opened once the window is shown
};

// The program as a whole: its program-lifetime values and its main window, and the start-up
// sequence that brings them up.
class Shell {
public:
    explicit Shell(StartupOptions options = {});
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Sets the application title, builds the main window, shows the splash modally until it
    // closes itself, destroys it, and only then shows the main window, maximised, and opens
    // the table the command line named (as "Открыть" would). Then it listens for later
    // starts that name a table. The caller runs the event loop afterwards.
    void start();

    ProgramState& state() noexcept { return m_state; }
    MainWindow* mainWindow() const noexcept { return m_mainWindow.get(); }

private:
    StartupOptions m_options;
    ProgramState m_state;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<InstanceServer> m_instance; // the channel for later starts
};

// Loads Qt's own Russian translations, so that standard buttons and dialogs read "Да", "Нет",
// "Отмена" whatever the user's locale. False when they are not installed.
bool installRussianTranslations(QCoreApplication& application);

} // namespace app
