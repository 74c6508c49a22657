#include "window_access.h"

#include <QApplication>
#include <QPalette>
#include <QTabWidget>
#include <QtTest>

#include <stdexcept>

namespace kvel_test {

QObject& childNamed(const QWidget& window, const QString& name)
{
    auto* found = window.findChild<QObject*>(name);
    if (!found) {
        QTest::qFail(qPrintable(QStringLiteral("the window has no child named %1").arg(name)), __FILE__, __LINE__);
        throw std::runtime_error("no child named " + name.toStdString());
    }
    return *found;
}

views::DataGrid& gridOf(const QWidget& window, const char* name)
{
    return child<views::DataGrid>(window, name);
}

views::DataGrid& shownGridOf(const QWidget& window)
{
    auto& pages = child<QTabWidget>(window, "kindTabs");
    auto* grid = pages.currentWidget()->findChild<views::DataGrid*>();
    if (!grid)
        throw std::runtime_error("the tab in front has no grid");
    return *grid;
}

void trigger(const QWidget& window, const char* name)
{
    actionOf(window, name).trigger();
}

QPalette::ColorRole clientColourOf(const QWidget& window)
{
    const QColor colour = child<QWidget>(window, "ClientArea").palette().color(QPalette::Window);
    for (QPalette::ColorRole role : {QPalette::Dark, QPalette::Button})
        if (QApplication::palette().color(role) == colour)
            return role;
    return QPalette::NoRole;
}

} // namespace kvel_test
