#include "widget_test_support.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace kvel_test {
namespace {

QTemporaryDir& privateFolder()
{
    static QTemporaryDir folder;
    return folder;
}

} // namespace

void prepareEnvironment()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!privateFolder().isValid())
        qFatal("no temporary folder for the settings");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(privateFolder().path()));
    // Tables opened by the tests go into an archive of the tests' own, never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(privateFolder().path() + QStringLiteral("/data")));
}

void prepareSettings()
{
    // On Windows the native store is the registry; an ini file in the private folder keeps
    // the tests away from it there as well.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, privateFolder().path());
}

QString settingsFolder()
{
    return privateFolder().path();
}

QString settingsFile()
{
    return QDir(settingsFolder()).filePath(QStringLiteral("Valdrenor/KVEL.ini"));
}

void clearProgramSettings()
{
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope,
                       QStringLiteral("Valdrenor"), QStringLiteral("KVEL"));
    settings.clear();
    settings.sync();
}

ModalAnswerer::ModalAnswerer(std::initializer_list<QMessageBox::StandardButton> replies)
    : m_replies(replies)
{
    // Polling is only how the answer is delivered; no assertion depends on its timing.
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(5);
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_answered)
        return;
    m_answered = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        m_boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->objectName()});
        QAbstractButton* button = nullptr;
        if (!m_replies.empty()) {
            button = box->button(m_replies.front());
            m_replies.pop_front();
        }
        if (button)
            button->click();
        else
            box->reject();
        return;
    }
    m_dialogs.push_back(modal->objectName());
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->accept();
}

} // namespace kvel_test
