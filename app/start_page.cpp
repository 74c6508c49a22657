#include "app/start_page.h"

#include "settings/recent_tables.h"

#include <QCommandLinkButton>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace app {
namespace {

const char* const kPathProperty = "tablePath";

QLabel* heading(const QString& text, int pointSizeStep, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + pointSizeStep);
    label->setFont(font);
    label->setAccessibleName(text);
    return label;
}

QCommandLinkButton* linkButton(const QString& text, const QString& description, QWidget* parent)
{
    auto* button = new QCommandLinkButton(text, description, parent);
    button->setAccessibleName(text);
    button->setAccessibleDescription(description);
    // Enter presses it, as Space does, outside a dialog too.
    button->setAutoDefault(true);
    return button;
}

bool isListed(const QWidget* widget, const QString& path)
{
    const QString listed = widget->property(kPathProperty).toString();
    return !listed.isEmpty() && settings::RecentTables::sameTable(listed, path);
}

} // namespace

QString recentTableDescription(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (!info.isFile())
        return QStringLiteral("%1 · файл не найден").arg(folder);
    const QString date = QLocale(QLocale::Russian).toString(info.lastModified(), QStringLiteral("dd.MM.yyyy HH:mm"));
    return QStringLiteral("%1 · изменена %2").arg(folder, date);
}

StartPage::StartPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("StartPage"));
    setAccessibleName(QStringLiteral("Начальная страница"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // A long list scrolls; the column stays readable on a wide screen.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setBackgroundRole(QPalette::Base);
    auto* column = new QWidget(scroll);
    column->setBackgroundRole(QPalette::Base);
    column->setMaximumWidth(720);
    scroll->setWidget(column);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(6);

    layout->addWidget(heading(QStringLiteral("ВРТ-ТК5 — тесты пенетрометра"), 6, column));
    layout->addSpacing(12);

    auto* create = linkButton(QStringLiteral("Создать — загрузить тесты из прибора"),
                              QStringLiteral("Подключите прибор, выберите имя новой таблицы, и тесты "
                                             "из его памяти будут записаны в неё"),
                              column);
    create->setObjectName(QStringLiteral("StartCreate"));
    connect(create, &QAbstractButton::clicked, this, &StartPage::createRequested);
    layout->addWidget(create);

    auto* open = linkButton(QStringLiteral("Открыть таблицу…"),
                            QStringLiteral("Таблица тестов (*.db) с диска"), column);
    open->setObjectName(QStringLiteral("StartOpen"));
    connect(open, &QAbstractButton::clicked, this, &StartPage::openRequested);
    layout->addWidget(open);

    auto* archive = linkButton(QStringLiteral("Архив испытаний"),
                               QStringLiteral("Все испытания всех таблиц и приборов: поиск по объекту, участку, "
                                              "слою, дате и прибору, экспорт и отчёт"),
                               column);
    archive->setObjectName(QStringLiteral("StartArchive"));
    connect(archive, &QAbstractButton::clicked, this, &StartPage::archiveRequested);
    layout->addWidget(archive);

    layout->addSpacing(16);
    layout->addWidget(heading(QStringLiteral("Последние таблицы"), 2, column));
    m_recentBox = new QWidget(column);
    m_recentBox->setObjectName(QStringLiteral("StartRecent"));
    m_recentBox->setAccessibleName(QStringLiteral("Последние таблицы"));
    m_recentLayout = new QVBoxLayout(m_recentBox);
    m_recentLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_recentBox);

    layout->addSpacing(16);
    layout->addWidget(heading(QStringLiteral("Прибор"), 2, column));
    auto* portRow = new QHBoxLayout;
    m_portLabel = new QLabel(column);
    m_portLabel->setObjectName(QStringLiteral("StartPort"));
    m_portLabel->setWordWrap(true);
    m_portLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portRow->addWidget(m_portLabel, 1);
    auto* choosePort = new QPushButton(QStringLiteral("Выбрать порт…"), column);
    choosePort->setObjectName(QStringLiteral("StartChoosePort"));
    choosePort->setAccessibleName(QStringLiteral("Выбрать порт прибора"));
    choosePort->setAutoDefault(true);
    connect(choosePort, &QAbstractButton::clicked, this, &StartPage::portRequested);
    portRow->addWidget(choosePort);
    layout->addLayout(portRow);
    layout->addStretch(1);

    setTabOrder(create, open);
    setTabOrder(open, archive);
    setRecentTables({});
}

void StartPage::setRecentTables(const QStringList& paths)
{
    // Rebuilt whole: the list is short. A button may be the one whose click asked for the
    // rebuild, so the old ones go once the click is over; until then they are hidden and no
    // longer name a table.
    for (QWidget* old : m_recentBox->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        old->hide();
        old->setProperty(kPathProperty, QVariant());
        old->deleteLater();
    }
    while (QLayoutItem* item = m_recentLayout->takeAt(0)) {
        if (QLayout* row = item->layout())
            while (QLayoutItem* inner = row->takeAt(0))
                delete inner;
        delete item;
    }

    if (paths.isEmpty()) {
        auto* empty = new QLabel(QStringLiteral("Здесь появятся таблицы, которые вы откроете или создадите."),
                                 m_recentBox);
        empty->setObjectName(QStringLiteral("StartRecentEmpty"));
        empty->setWordWrap(true);
        empty->setForegroundRole(QPalette::PlaceholderText);
        m_recentLayout->addWidget(empty);
        return;
    }

    bool anyMissing = false;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const bool present = info.isFile();
        anyMissing = anyMissing || !present;
        auto* row = new QHBoxLayout;
        auto* open = linkButton(info.fileName(), recentTableDescription(path), m_recentBox);
        open->setProperty(kPathProperty, path);
        open->setToolTip(QDir::toNativeSeparators(path));
        open->setEnabled(present);
        connect(open, &QAbstractButton::clicked, this, [this, path] { emit recentRequested(path); });
        row->addWidget(open, 1);
        auto* remove = new QPushButton(QStringLiteral("Убрать"), m_recentBox);
        remove->setProperty(kPathProperty, path);
        remove->setAccessibleName(QStringLiteral("Убрать «%1» из списка").arg(info.fileName()));
        remove->setToolTip(QStringLiteral("Убрать из списка (файл остаётся на диске)"));
        remove->setAutoDefault(true);
        connect(remove, &QAbstractButton::clicked, this, [this, path] { emit removeRequested(path); });
        row->addWidget(remove, 0, Qt::AlignVCenter);
        m_recentLayout->addLayout(row);
    }
    if (anyMissing) {
        auto* removeMissing = new QPushButton(QStringLiteral("Убрать из списка отсутствующие файлы"), m_recentBox);
        removeMissing->setObjectName(QStringLiteral("StartRemoveMissing"));
        removeMissing->setAutoDefault(true);
        connect(removeMissing, &QAbstractButton::clicked, this, &StartPage::removeMissingRequested);
        m_recentLayout->addWidget(removeMissing, 0, Qt::AlignLeft);
    }
}

void StartPage::setPortText(const QString& text)
{
    m_portLabel->setText(text);
    m_portLabel->setAccessibleName(text);
}

QCommandLinkButton* StartPage::recentButton(const QString& path) const
{
    for (auto* button : m_recentBox->findChildren<QCommandLinkButton*>())
        if (isListed(button, path))
            return button;
    return nullptr;
}

QPushButton* StartPage::removeButton(const QString& path) const
{
    for (auto* button : m_recentBox->findChildren<QPushButton*>())
        if (!qobject_cast<QCommandLinkButton*>(button) && isListed(button, path))
            return button;
    return nullptr;
}

} // namespace app
