// main() of the device tests that need Qt's event loop: headless, and with settings in a
// folder of this run only, never the user's own.

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir config;
    if (!config.isValid())
        return 1;
    // Before the application object: QSettings takes its folder from here once.
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    // An ini file in the same folder on every platform: on Windows the native store would be
    // the user's registry.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
