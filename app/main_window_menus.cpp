// The main window's menu bar, toolbar and the grids' context menu.

#include "app/error_report.h"
#include "app/main_window.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include <array>
#include <span>

namespace app {
namespace {

// The toolbar's image list: menu items with an image use the same picture as their button.
QIcon image(int index)
{
    static constexpr std::array<const char*, 7> kImages = {
        ":/kvel/icons/new.svg",     ":/kvel/icons/open.svg",  ":/kvel/icons/save.svg",
        ":/kvel/icons/preview.svg", ":/kvel/icons/print.svg", ":/kvel/icons/help.svg",
        ":/kvel/icons/delete_rows.svg",
    };
    if (index < 0 || index >= static_cast<int>(kImages.size()))
        return {};
    return QIcon(QString::fromLatin1(kImages[static_cast<std::size_t>(index)]));
}

} // namespace

// One menu item. A null caption makes a separator. Items without a handler belong to
// commands that are not part of the program yet; they are shown but do nothing.
struct MainWindow::CommandDef {
    const char* name;
    const char* caption = nullptr;
    const char* shortcut = nullptr;
    int image = -1;
    bool tableCommand = false; // enabled only while a table is open
    void (MainWindow::*handler)() = nullptr;
    // Commands that neither read nor reset the grids (help, column widths) leave a cell
    // edit alone; every other one ends it first.
    bool keepsCellEdit = false;
};

void MainWindow::buildMenus()
{
    static const CommandDef file[] = {
        {"N2", "Создать", "Ctrl+N", 0, false, &MainWindow::N2Click},
        {"N3", "Открыть", "Ctrl+O", 1, false, &MainWindow::N3Click},
        {"N4", "Дополнить", nullptr, -1, true, &MainWindow::N4Click},
        {"N5", "Сохранить", "Ctrl+S", 2, true, &MainWindow::N5Click},
        {"N7", "Закрыть", nullptr, -1, true, &MainWindow::N7Click},
        {"N6"},
        {"N8", "Предварительный просмотр", nullptr, 3, true, &MainWindow::N8Click},
        {"N9", "Печать", "Ctrl+P", 4, true, &MainWindow::N9Click},
        {"N10"},
        {"N11", "Выход", nullptr, -1, false, &MainWindow::N11Click},
    };
    static const CommandDef view[] = {
        {"N27", "Выровнять столбцы", nullptr, -1, true, &MainWindow::N23Click, true},
        {"N28"},
        {"N29", "Задать цвет", nullptr, -1, true, &MainWindow::N17Click},
        {"N30", "Убрать цвет", nullptr, -1, true, &MainWindow::N18Click},
        {"N31", "Убрать все цвета", nullptr, -1, true, &MainWindow::N19Click},
        {"N32"},
        {"N33", "Убрать сортировку", nullptr, -1, true, &MainWindow::N33Click},
    };
    static const CommandDef edit[] = {
        {"N34", "Удалить строки", nullptr, 6, true, &MainWindow::N21Click},
    };
    static const CommandDef service[] = {
        {"Excel1", "Экспорт в Excel", nullptr, -1, true, &MainWindow::Excel1Click},
        {"N37", "Перенумеровать строки", nullptr, -1, true, &MainWindow::N37Click},
        {"ServiceSeparator1"},
        {"ChoosePort", "Порт прибора…", nullptr, -1, false, &MainWindow::choosePort},
        {"Limits", "Нормативы…", nullptr, -1, false, &MainWindow::setLimitsClick},
    };
    static const CommandDef help[] = {
        {"N24", "Помощь", "F1", 5, false, &MainWindow::N24Click, true},
        {"N25"},
        {"N26", "О программе", nullptr, -1, false, &MainWindow::N26Click, true},
    };
    struct MenuDef {
        const char* name;
        const char* caption;
        std::span<const CommandDef> items;
    };
    const MenuDef menus[] = {
        {"N1", "Файл", file},        {"N12", "Вид", view},           {"N13", "Правка", edit},
        {"N35", "Сервис", service},  {"N14", "Справка", help},
    };

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setAccessibleName(QStringLiteral("Главное меню"));
    for (const MenuDef& menuDef : menus) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(menuDef.caption));
        menu->setObjectName(QString::fromLatin1(menuDef.name));
        menu->menuAction()->setObjectName(QString::fromLatin1(menuDef.name));
        for (const CommandDef& def : menuDef.items)
            addCommand(menu, def);
    }

    // "Последние таблицы" follows "Открыть".
    auto* fileMenu = bar->findChild<QMenu*>(QStringLiteral("N1"));
    m_recentMenu = new QMenu(QStringLiteral("Последние таблицы"), fileMenu);
    m_recentMenu->setObjectName(QStringLiteral("RecentMenu"));
    m_recentMenu->menuAction()->setObjectName(QStringLiteral("RecentMenu"));
    fileMenu->insertMenu(fileMenu->findChild<QAction*>(QStringLiteral("N4")), m_recentMenu);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    fillRecentMenu();
}

QAction* MainWindow::addCommand(QMenu* menu, const CommandDef& def)
{
    QAction* action = def.caption ? menu->addAction(QString::fromUtf8(def.caption))
                                  : menu->addSeparator();
    action->setObjectName(QString::fromLatin1(def.name));
    if (def.shortcut)
        action->setShortcut(QKeySequence(QString::fromLatin1(def.shortcut)));
    if (def.image >= 0)
        action->setIcon(image(def.image));
    if (def.tableCommand)
        m_tableCommands.push_back(action);
    if (def.handler)
        bind(action, def.handler, def.keepsCellEdit);
    return action;
}

void MainWindow::bind(QAction* action, void (MainWindow::*handler)(), bool keepsCellEdit)
{
    // The one way into every command: a text still in a cell editor reaches the table before
    // the command reads, resets or leaves the grids, or the command does not run at all.
    connect(action, &QAction::triggered, this, [this, handler, keepsCellEdit] {
        runCommand(this, [this, handler, keepsCellEdit] {
            if (keepsCellEdit || endCellEdit())
                (this->*handler)();
        });
    });
}

void MainWindow::buildToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("Панель инструментов"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setAccessibleName(QStringLiteral("Панель инструментов"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setFixedHeight(29);
    // The toolbar's own context menu would offer to hide it; the program has no way back.
    m_toolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    // Each button runs the same command as its menu item, so it is enabled together with it.
    static constexpr std::array<std::pair<const char*, const char*>, 6> kButtons = {{
        {"ToolButton1", "N2"}, {"ToolButton2", "N3"}, {"ToolButton3", "N5"},
        {"ToolButton4", "N8"}, {"ToolButton5", "N9"}, {"ToolButton6", "N24"},
    }};
    for (const auto& [buttonName, itemName] : kButtons) {
        auto* action = findChild<QAction*>(QString::fromLatin1(itemName));
        m_toolBar->addAction(action);
        QWidget* button = m_toolBar->widgetForAction(action);
        button->setObjectName(QString::fromLatin1(buttonName));
        button->setAccessibleName(action->text());
    }
}

void MainWindow::buildPopupMenu()
{
    // Never disabled: each command checks for an open table itself.
    static const CommandDef items[] = {
        {"N22", "Печать", nullptr, -1, false, &MainWindow::N22Click},
        {"PopupSeparator1"},
        {"N17", "Задать цвет", nullptr, -1, false, &MainWindow::N17Click},
        {"N18", "Убрать цвет", nullptr, -1, false, &MainWindow::N18Click},
        {"N19", "Убрать все цвета", nullptr, -1, false, &MainWindow::N19Click},
        {"PopupSeparator2"},
        {"N23", "Выровнять столбцы", nullptr, -1, false, &MainWindow::N23Click, true},
        {"PopupSeparator3"},
        {"N21", "Удалить", nullptr, -1, false, &MainWindow::N21Click},
    };
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    m_popupMenu->setAccessibleName(QStringLiteral("Контекстное меню таблицы"));
    for (const CommandDef& def : items)
        addCommand(m_popupMenu, def);
}

} // namespace app
