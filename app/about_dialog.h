#pragma once

#include <QDialog>

class QLabel;

namespace app {

// "О программе" (Tform6): the program's name, what it is for and its version.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // "Версия " followed by the program's file version.
    static QString versionLine();

protected:
    void showEvent(QShowEvent* event) override; // FormShow

private:
    QLabel* m_version = nullptr;
};

} // namespace app
