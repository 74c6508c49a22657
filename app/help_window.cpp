#include "app/help_window.h"

#include "app/help_outline.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <vector>

namespace app {
namespace {

constexpr int kAnchorRole = Qt::UserRole;

} // namespace

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Справка - ВРТ - ТК5"));
    resize(860, 580);

    m_contents = new QTreeWidget;
    m_contents->setObjectName(QStringLiteral("HelpContents"));
    m_contents->setAccessibleName(QStringLiteral("Содержание справки"));
    m_contents->setHeaderHidden(true);
    connect(m_contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        showTopic(item->data(0, kAnchorRole).toString());
    });
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        showTopic(item->data(0, kAnchorRole).toString());
    });

    m_indexFilter = new QLineEdit;
    m_indexFilter->setObjectName(QStringLiteral("HelpIndexFilter"));
    m_indexFilter->setAccessibleName(QStringLiteral("Искать в указателе"));
    m_indexFilter->setPlaceholderText(QStringLiteral("Первые буквы слова"));
    m_index = new QListWidget;
    m_index->setObjectName(QStringLiteral("HelpIndex"));
    m_index->setAccessibleName(QStringLiteral("Предметный указатель"));
    connect(m_indexFilter, &QLineEdit::textEdited, this, &HelpWindow::findInIndex);
    connect(m_indexFilter, &QLineEdit::returnPressed, this, [this] {
        if (QListWidgetItem* item = m_index->currentItem())
            showTopic(item->data(kAnchorRole).toString());
    });
    connect(m_index, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        showTopic(item->data(kAnchorRole).toString());
    });
    connect(m_index, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        showTopic(item->data(kAnchorRole).toString());
    });

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    auto* findLabel = new QLabel(QStringLiteral("Введите первые буквы слова:"));
    findLabel->setBuddy(m_indexFilter);
    indexLayout->addWidget(findLabel);
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_index);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("HelpTabs"));
    m_tabs->addTab(m_contents, QStringLiteral("Содержание"));
    m_tabs->addTab(indexPage, QStringLiteral("Указатель"));

    m_browser = new QTextBrowser;
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Текст справки"));
    m_browser->setOpenExternalLinks(true);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_tabs);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({270, 550});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
}

bool HelpWindow::load(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return false;
    m_browser->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    if (m_browser->document()->isEmpty())
        return false;
    const QString title = m_browser->documentTitle();
    if (!title.isEmpty())
        setWindowTitle(title);
    const HelpOutline outline = readHelpOutline(*m_browser->document());
    fillContents(outline);
    fillIndex(outline);
    return true;
}

void HelpWindow::showTopic(const QString& anchor)
{
    if (anchor.isEmpty())
        return;
    QUrl url = m_browser->source();
    url.setFragment(anchor);
    m_browser->setSource(url);
}

void HelpWindow::fillContents(const HelpOutline& outline)
{
    m_contents->clear();
    // Each heading goes under the nearest heading of a higher level before it.
    std::vector<std::pair<int, QTreeWidgetItem*>> parents;
    for (const HelpTopic& topic : outline.contents) {
        while (!parents.empty() && parents.back().first >= topic.level)
            parents.pop_back();
        auto* item = parents.empty() ? new QTreeWidgetItem(m_contents)
                                     : new QTreeWidgetItem(parents.back().second);
        item->setText(0, topic.title);
        item->setData(0, kAnchorRole, topic.anchor);
        parents.emplace_back(topic.level, item);
    }
    m_contents->expandAll();
}

void HelpWindow::fillIndex(const HelpOutline& outline)
{
    m_index->clear();
    for (const HelpIndexEntry& entry : outline.index) {
        auto* item = new QListWidgetItem(entry.term, m_index);
        item->setData(kAnchorRole, entry.anchor);
    }
}

void HelpWindow::findInIndex(const QString& text)
{
    // Like a printed index: the list stays whole and jumps to the first matching term.
    for (int row = 0; row < m_index->count(); ++row) {
        QListWidgetItem* item = m_index->item(row);
        if (item->text().startsWith(text.trimmed(), Qt::CaseInsensitive)) {
            m_index->setCurrentItem(item);
            m_index->scrollToItem(item, QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

} // namespace app
