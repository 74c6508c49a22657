#pragma once

// Shared by the widget tests: a headless application with private settings, and a helper
// that answers the modal boxes a command shows.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <initializer_list>
#include <vector>

namespace kvel_test {

// Before QApplication exists: the offscreen platform unless the caller chose one, and a
// private folder for every kind of per-user setting.
void prepareEnvironment();
// After: QSettings writes into that folder, whatever the platform's native store is.
void prepareSettings();

// The folder that stands for the user's settings in this test program.
QString settingsFolder();
// Forgets every value of the program's settings key, as on a first run.
void clearProgramSettings();
// The settings file of the program, read straight from disk.
QString settingsFile();

// What a modal message box said.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString name; // objectName
};

// While alive, answers each modal message box that appears with the next reply of the list
// (Escape when the list is used up) and records what it said. Any other modal dialog is
// recorded by its objectName and accepted.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    explicit ModalAnswerer(std::initializer_list<QMessageBox::StandardButton> replies = {});

    const std::vector<SeenBox>& boxes() const noexcept { return m_boxes; }
    const std::vector<QString>& dialogs() const noexcept { return m_dialogs; }

private:
    void poll();

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_replies;
    std::vector<SeenBox> m_boxes;
    std::vector<QString> m_dialogs;
    QPointer<QWidget> m_answered;
};

} // namespace kvel_test

#define KVEL_WIDGET_TEST_MAIN(TestClass)                                                       \
    int main(int argc, char* argv[])                                                           \
    {                                                                                          \
        kvel_test::prepareEnvironment();                                                       \
        QApplication application(argc, argv);                                                  \
        kvel_test::prepareSettings();                                                          \
        TestClass test;                                                                        \
        return QTest::qExec(&test, argc, argv);                                                \
    }
