#include "app/shell.h"

#include "app/instance_channel.h"
#include "app/main_window.h"
#include "app/resources.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

Shell::Shell(StartupOptions options)
    : m_options(options)
{
}

Shell::~Shell() = default;

void Shell::start()
{
    loadResources();
    m_state.title = kStartTitle;
    QApplication::setWindowIcon(programIcon("kvel"));

    m_mainWindow = std::make_unique<MainWindow>(m_state);

    {
        SplashWindow splash(m_options.splashTime);
        splash.exec();
    }

    m_mainWindow->show(); // maximised: the window state was set when it was built
    if (!m_options.tableToOpen.isEmpty())
        m_mainWindow->openTable(m_options.tableToOpen);

    // From now on a second start with a table hands it to this window.
    m_instance = std::make_unique<InstanceServer>(instanceServerName());
    QObject::connect(m_instance.get(), &InstanceServer::tableHandedOver, m_mainWindow.get(),
                     &MainWindow::openHandedOver);
}

bool installRussianTranslations(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace app
