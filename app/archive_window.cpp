#include "app/archive_window.h"

#include "app/error_report.h"
#include "app/chart_commands.h"
#include "app/file_dialogs.h"

#include "archive/archive_error.h"
#include "archive/archive_export.h"
#include "archive/chainage.h"
#include "archive/import_job.h"
#include "archive/test_list_model.h"
#include "document/limits.h"
#include "document/measurement_document.h"
#include "reports/chart_page.h"
#include "reports/report_painter.h"
#include "reports/report_template.h"
#include "reports/report_templates.h"
#include "reports/table_report.h"
#include "settings/program_settings.h"
#include "store/measurement_table.h"
#include "store/store_error.h"
#include "views/chart_builder.h"
#include "views/chart_data.h"
#include "views/chart_view.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace app {

namespace {

constexpr int kKinds[2] = {store::kPenetrometerKind, store::kPressKind};
// The most tests a report (some 30 pages a thousand) and the charts take at once.
constexpr int kMostReported = 20000;
constexpr int kMostCharted = 50000;

// What a tree item stands for: a depth (0 all, 1 object, 2 section, 3 layer) and names; an
// empty name is "none set".
enum ItemRole { DepthRole = Qt::UserRole + 1, ObjectRole, SectionRole, LayerRole };

QString shownName(const QString& name, const QString& none)
{
    return name.isEmpty() ? none : name;
}

// The distinct values of a site column, for the choices of "Отнести к…".
QStringList distinctValues(archive::Archive& archive, const char* column)
{
    QStringList out;
    QSqlQuery query(archive.database());
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral("SELECT DISTINCT %1 FROM tests WHERE %1 IS NOT NULL ORDER BY %1")
                       .arg(QLatin1String(column))))
        while (query.next())
            out << query.value(0).toString();
    return out;
}

QString siteLine(const std::vector<archive::ArchivedTest>& tests)
{
    std::vector<archive::Site> sites;
    for (const archive::ArchivedTest& test : tests)
        sites.push_back(test.site);
    return archive::sharedSiteLine(sites);
}

// "Отнести к…": the site of the chosen tests. Each field starts with what the tests share
// (empty when they differ, which the field says); what the user changes is set on all of
// them.
class SiteDialog : public QDialog {
public:
    SiteDialog(archive::Archive& archive, const std::vector<archive::ArchivedTest>& tests, QWidget* parent)
        : QDialog(parent)
    {
        setObjectName(QStringLiteral("SiteDialog"));
        setWindowTitle(QStringLiteral("Отнести к…"));
        setMinimumWidth(440); // room for the hints in the fields
        auto* form = new QFormLayout;
        const auto common = [&](const auto& read) -> std::optional<decltype(read(tests.front().site))> {
            if (tests.empty())
                return std::nullopt;
            const auto first = read(tests.front().site);
            for (const auto& t : tests)
                if (read(t.site) != first)
                    return std::nullopt;
            return first;
        };
        const auto combo = [&](const char* name, const char* caption, const char* column, const QString archive::Site::*part) {
            auto* box = new QComboBox(this);
            box->setObjectName(QString::fromLatin1(name));
            box->setEditable(true);
            box->addItems(distinctValues(archive, column));
            box->setAccessibleName(QString::fromUtf8(caption));
            const auto value = common([part](const archive::Site& s) { return s.*part; });
            box->setCurrentText(value ? *value : QString());
            if (!value)
                box->lineEdit()->setPlaceholderText(QStringLiteral("разные"));
            m_initial[box] = box->currentText();
            form->addRow(QString::fromUtf8(caption) + QStringLiteral(":"), box);
            return box;
        };
        m_object = combo("siteObject", "Объект", "site_object", &archive::Site::object);
        m_section = combo("siteSection", "Участок", "site_section", &archive::Site::section);
        m_layer = combo("siteLayer", "Слой", "site_layer", &archive::Site::layer);
        const auto line = [&](const char* name, const char* caption, const QString& value, bool differ,
                              const QString& hint) {
            auto* edit = new QLineEdit(value, this);
            edit->setObjectName(QString::fromLatin1(name));
            edit->setAccessibleName(QString::fromUtf8(caption));
            edit->setPlaceholderText(differ ? QStringLiteral("разные") : hint);
            m_initialLine[edit] = value;
            form->addRow(QString::fromUtf8(caption) + QStringLiteral(":"), edit);
            return edit;
        };
        const auto chainage = common([](const archive::Site& s) { return s.chainage; });
        m_chainage = line("siteChainage", "Пикет (ПК)",
                          chainage && *chainage ? archive::chainageText(**chainage) : QString(), !chainage,
                          QStringLiteral("ПК 12+35,0 или метры"));
        const auto offset = common([](const archive::Site& s) { return s.offset; });
        m_offset = line("siteOffset", "Смещение, м",
                        offset && *offset ? QString::number(**offset).replace(QLatin1Char('.'), QLatin1Char(',')) : QString(),
                        !offset, QStringLiteral("от оси, м"));
        m_operator = combo("siteOperator", "Оператор", "site_operator", &archive::Site::operatorName);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Отнести"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
        connect(buttons, &QDialogButtonBox::accepted, this, &SiteDialog::check);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        auto* note = new QLabel(QStringLiteral("Испытаний: %1. Изменённые поля будут заданы всем им; "
                                               "очищенное поле убирает значение.")
                                    .arg(tests.size()),
                                this);
        note->setWordWrap(true);
        layout->addWidget(note);
        layout->addLayout(form);
        layout->addWidget(buttons);
    }

    archive::SiteAssignment assignment() const { return m_assignment; }

private:
    void check()
    {
        archive::SiteAssignment site;
        const auto text = [&](QComboBox* box, std::optional<QString>& into) {
            if (box->currentText() != m_initial.at(box))
                into = box->currentText().trimmed();
        };
        text(m_object, site.object);
        text(m_section, site.section);
        text(m_layer, site.layer);
        text(m_operator, site.operatorName);
        if (m_chainage->text() != m_initialLine.at(m_chainage)) {
            site.setChainage = true;
            if (!m_chainage->text().trimmed().isEmpty()) {
                site.chainage = archive::parseChainage(m_chainage->text());
                if (!site.chainage) {
                    QMessageBox::warning(this, QStringLiteral("Отнести к…"),
                                         QStringLiteral("Пикет «%1» не прочитан. Введите его как «ПК 12+35,0» "
                                                        "или в метрах: «1235».")
                                             .arg(m_chainage->text()));
                    m_chainage->setFocus();
                    return;
                }
            }
        }
        if (m_offset->text() != m_initialLine.at(m_offset)) {
            site.setOffset = true;
            if (!m_offset->text().trimmed().isEmpty()) {
                bool ok = false;
                const double v = QString(m_offset->text()).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
                if (!ok) {
                    QMessageBox::warning(this, QStringLiteral("Отнести к…"),
                                         QStringLiteral("Смещение «%1» — не число метров.").arg(m_offset->text()));
                    m_offset->setFocus();
                    return;
                }
                site.offset = v;
            }
        }
        m_assignment = site;
        accept();
    }

    QComboBox* m_object = nullptr;
    QComboBox* m_section = nullptr;
    QComboBox* m_layer = nullptr;
    QComboBox* m_operator = nullptr;
    QLineEdit* m_chainage = nullptr;
    QLineEdit* m_offset = nullptr;
    std::map<QComboBox*, QString> m_initial;
    std::map<QLineEdit*, QString> m_initialLine;
    archive::SiteAssignment m_assignment;
};

} // namespace

ArchiveWindow::ArchiveWindow(std::unique_ptr<archive::Archive> archive, Program program, QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_archive(std::move(archive)), m_program(std::move(program))
{
    setObjectName(QStringLiteral("archiveWindow"));
    setWindowTitle(QStringLiteral("Архив испытаний — %1").arg(QDir::toNativeSeparators(m_archive->location())));
    setAccessibleName(QStringLiteral("Архив испытаний"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(1100, 680);
    buildLayout();
    buildActions();
    fillTree();
    applyFilter();
}

ArchiveWindow::~ArchiveWindow()
{
    // The models read through the archive's connection: they go first.
    for (auto*& model : m_models) {
        delete model;
        model = nullptr;
    }
}

void ArchiveWindow::buildLayout()
{
    auto* splitter = new QSplitter(this);
    splitter->setObjectName(QStringLiteral("archiveSplitter"));

    m_tree = new QTreeWidget(splitter);
    m_tree->setObjectName(QStringLiteral("archiveTree"));
    m_tree->setAccessibleName(QStringLiteral("Объекты, участки и слои"));
    m_tree->setHeaderLabel(QStringLiteral("Объекты"));
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { applyFilter(); });

    auto* right = new QWidget(splitter);
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    auto* filters = new QHBoxLayout;
    m_useFrom = new QCheckBox(QStringLiteral("С"), right);
    m_useFrom->setObjectName(QStringLiteral("filterFromOn"));
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), right);
    m_from->setObjectName(QStringLiteral("filterFrom"));
    m_from->setAccessibleName(QStringLiteral("Дата с"));
    m_from->setCalendarPopup(true);
    m_from->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_useTo = new QCheckBox(QStringLiteral("по"), right);
    m_useTo->setObjectName(QStringLiteral("filterToOn"));
    m_to = new QDateEdit(QDate::currentDate(), right);
    m_to->setObjectName(QStringLiteral("filterTo"));
    m_to->setAccessibleName(QStringLiteral("Дата по"));
    m_to->setCalendarPopup(true);
    m_to->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_serial = new QLineEdit(right);
    m_serial->setObjectName(QStringLiteral("filterSerial"));
    m_serial->setAccessibleName(QStringLiteral("Заводской номер прибора"));
    m_serial->setPlaceholderText(QStringLiteral("№ прибора"));
    m_serial->setMaximumWidth(110);
    m_comment = new QLineEdit(right);
    m_comment->setObjectName(QStringLiteral("filterComment"));
    m_comment->setAccessibleName(QStringLiteral("Текст в примечании"));
    m_comment->setPlaceholderText(QStringLiteral("Текст в примечании"));
    m_comment->setClearButtonEnabled(true);
    m_belowLimits = new QCheckBox(QStringLiteral("Ниже нормативов"), right);
    m_belowLimits->setObjectName(QStringLiteral("filterBelowLimits"));
    m_belowLimits->setToolTip(QStringLiteral("Только испытания ниже нормативов K и E (Сервис → Нормативы…)"));
    filters->addWidget(m_useFrom);
    filters->addWidget(m_from);
    filters->addWidget(m_useTo);
    filters->addWidget(m_to);
    filters->addSpacing(8);
    filters->addWidget(m_serial);
    filters->addWidget(m_comment, 1);
    filters->addWidget(m_belowLimits);
    column->addLayout(filters);
    for (QCheckBox* box : {m_useFrom, m_useTo, m_belowLimits})
        connect(box, &QCheckBox::toggled, this, [this] { applyFilter(); });
    for (QDateEdit* edit : {m_from, m_to})
        connect(edit, &QDateEdit::dateChanged, this, [this] { applyFilter(); });
    for (QLineEdit* edit : {m_serial, m_comment})
        connect(edit, &QLineEdit::editingFinished, this, [this] { applyFilter(); });

    m_tabs = new QTabWidget(right);
    m_tabs->setObjectName(QStringLiteral("archiveTabs"));
    const QString captions[2] = {QStringLiteral("ВРТ-ТК5"), QStringLiteral("ЛД - ТК5")};
    for (int i = 0; i < 2; ++i) {
        m_models[i] = new archive::TestListModel(*m_archive, kKinds[i]);
        auto* view = new QTableView(m_tabs);
        view->setObjectName(i == 0 ? QStringLiteral("archivePenetrometerView") : QStringLiteral("archivePressView"));
        view->setAccessibleName(QStringLiteral("Испытания: ") + captions[i]);
        view->setModel(m_models[i]);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSortingEnabled(false);
        view->horizontalHeader()->setSectionsClickable(true);
        view->horizontalHeader()->setSortIndicatorShown(true);
        // No sort mark until the user sorts: the tests come in date and time order.
        view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        // The grids' long captions wrap onto four lines, as their titles do.
        view->horizontalHeader()->setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
        view->horizontalHeader()->setFixedHeight(view->fontMetrics().lineSpacing() * 4 + 8);
        for (int c = 0; c < m_models[i]->columnCount(); ++c)
            view->setColumnWidth(c, m_models[i]->columnList()[std::size_t(c)].width);
        view->verticalHeader()->setDefaultSectionSize(22);
        view->verticalHeader()->setVisible(false);
        view->setWordWrap(false);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // A title click sorts by that column; a second click turns the order round.
        connect(view->horizontalHeader(), &QHeaderView::sectionClicked, this, [this, i, view](int section) {
            const Qt::SortOrder order = view->horizontalHeader()->sortIndicatorOrder();
            runCommand(this, [&] { m_models[i]->sort(section, order); });
        });
        connect(view, &QTableView::doubleClicked, this, [this] { runCommand(this, [this] { openSourceTable(); }); });
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateActions(); });
        connect(m_models[i], &QAbstractItemModel::modelReset, this, [this] { updateActions(); });
        m_views[i] = view;
        m_tabs->addTab(view, captions[i]);
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { updateActions(); });
    column->addWidget(m_tabs, 1);
    splitter->addWidget(m_tree);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 860});
    setCentralWidget(splitter);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("archiveCount"));
    statusBar()->addWidget(m_count, 1);
    m_progressText = new QLabel(this);
    m_progressText->setObjectName(QStringLiteral("archiveProgressText"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("archiveProgress"));
    m_progress->setMaximumWidth(220);
    m_progressText->hide();
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progressText);
    statusBar()->addPermanentWidget(m_progress);
}

void ArchiveWindow::buildActions()
{
    const auto make = [this](const char* name, const QString& caption, const QKeySequence& keys,
                             std::function<void()> work) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        if (!keys.isEmpty())
            action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, work] { runCommand(this, work); });
        addAction(action);
        return action;
    };
    m_addTables = make("archiveAddTablesAction", QStringLiteral("Добавить таблицы…"), QKeySequence(QStringLiteral("Ctrl+O")),
                       [this] { chooseTablesToAdd(); });
    m_addFolder = make("archiveAddFolderAction", QStringLiteral("Добавить папку…"), QKeySequence(),
                       [this] { chooseFolderToAdd(); });
    m_assign = make("archiveAssignAction", QStringLiteral("Отнести к…"), QKeySequence(QStringLiteral("Ctrl+R")),
                    [this] { assignSite(); });
    m_export = make("archiveExportAction", QStringLiteral("Экспорт…"), QKeySequence(QStringLiteral("Ctrl+E")),
                    [this] { exportTests(); });
    m_report = make("archiveReportAction", QStringLiteral("Отчёт…"), QKeySequence(QStringLiteral("Ctrl+P")),
                    [this] { reportTests(); });
    m_charts = make("archiveChartsAction", QStringLiteral("Графики…"), QKeySequence(QStringLiteral("Ctrl+G")),
                    [this] { showCharts(); });
    m_openTable = make("archiveOpenTableAction", QStringLiteral("Открыть таблицу"), QKeySequence(QStringLiteral("Ctrl+T")),
                       [this] { openSourceTable(); });
    m_close = make("archiveCloseAction", QStringLiteral("Закрыть"), QKeySequence(QKeySequence::Close), [this] { close(); });

    QMenuBar* bar = menuBar();
    QMenu* menu = bar->addMenu(QStringLiteral("Архив"));
    menu->setObjectName(QStringLiteral("archiveMenu"));
    menu->addAction(m_addTables);
    menu->addAction(m_addFolder);
    menu->addSeparator();
    menu->addAction(m_export);
    menu->addAction(m_report);
    menu->addAction(m_charts);
    menu->addSeparator();
    menu->addAction(m_close);
    QMenu* tests = bar->addMenu(QStringLiteral("Испытания"));
    tests->setObjectName(QStringLiteral("archiveTestsMenu"));
    tests->addAction(m_assign);
    tests->addAction(m_openTable);

    QToolBar* tools = addToolBar(QStringLiteral("Команды архива"));
    tools->setObjectName(QStringLiteral("archiveToolBar"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools->addAction(m_addTables);
    tools->addAction(m_assign);
    tools->addAction(m_export);
    tools->addAction(m_report);
    tools->addAction(m_charts);
    tools->addAction(m_openTable);

    for (QTableView* view : m_views) {
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        view->addActions({m_assign, m_openTable, m_export, m_report, m_charts});
    }
    updateActions();
}

void ArchiveWindow::fillTree()
{
    // Keep the node the user is on, by its names.
    QStringList current;
    if (QTreeWidgetItem* item = m_tree->currentItem())
        current = {item->data(0, DepthRole).toString(), item->data(0, ObjectRole).toString(),
                   item->data(0, SectionRole).toString(), item->data(0, LayerRole).toString()};
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    auto* all = new QTreeWidgetItem(m_tree, {QStringLiteral("Все испытания")});
    all->setData(0, DepthRole, 0);
    QSqlQuery query(m_archive->database());
    query.setForwardOnly(true);
    query.exec(QStringLiteral("SELECT site_object, site_section, site_layer, COUNT(*) FROM tests "
                              "GROUP BY site_object, site_section, site_layer "
                              "ORDER BY site_object, site_section, site_layer"));
    std::map<QString, QTreeWidgetItem*> objects;
    std::map<std::pair<QString, QString>, QTreeWidgetItem*> sections;
    qint64 total = 0;
    QTreeWidgetItem* select = all;
    const auto matches = [&](QTreeWidgetItem* item) {
        return !current.isEmpty() && item->data(0, DepthRole).toString() == current[0]
            && item->data(0, ObjectRole).toString() == current[1] && item->data(0, SectionRole).toString() == current[2]
            && item->data(0, LayerRole).toString() == current[3];
    };
    while (query.next()) {
        const QString object = query.value(0).toString();
        const QString section = query.value(1).toString();
        const QString layer = query.value(2).toString();
        const qint64 count = query.value(3).toLongLong();
        total += count;
        QTreeWidgetItem*& objectItem = objects[object];
        if (!objectItem) {
            objectItem = new QTreeWidgetItem(all, {shownName(object, QStringLiteral("Без объекта"))});
            objectItem->setData(0, DepthRole, 1);
            objectItem->setData(0, ObjectRole, object);
            if (matches(objectItem))
                select = objectItem;
        }
        QTreeWidgetItem*& sectionItem = sections[{object, section}];
        if (!sectionItem) {
            sectionItem = new QTreeWidgetItem(objectItem, {shownName(section, QStringLiteral("Без участка"))});
            sectionItem->setData(0, DepthRole, 2);
            sectionItem->setData(0, ObjectRole, object);
            sectionItem->setData(0, SectionRole, section);
            if (matches(sectionItem))
                select = sectionItem;
        }
        auto* layerItem = new QTreeWidgetItem(sectionItem, {QStringLiteral("%1 (%2)")
                                                                .arg(shownName(layer, QStringLiteral("Без слоя")))
                                                                .arg(count)});
        layerItem->setData(0, DepthRole, 3);
        layerItem->setData(0, ObjectRole, object);
        layerItem->setData(0, SectionRole, section);
        layerItem->setData(0, LayerRole, layer);
        if (matches(layerItem))
            select = layerItem;
    }
    all->setText(0, QStringLiteral("Все испытания (%1)").arg(total));
    all->setExpanded(true);
    m_tree->setCurrentItem(select);
}

archive::TestFilter ArchiveWindow::currentFilter() const
{
    archive::TestFilter filter;
    if (m_useFrom->isChecked())
        filter.from = m_from->date();
    if (m_useTo->isChecked())
        filter.to = m_to->date();
    bool ok = false;
    const double serial = m_serial->text().trimmed().toDouble(&ok);
    if (ok)
        filter.serial = serial;
    filter.commentText = m_comment->text().trimmed();
    if (m_belowLimits->isChecked())
        filter.below = document::readLimits(*settings::open());
    if (const QTreeWidgetItem* item = m_tree->currentItem()) {
        const int depth = item->data(0, DepthRole).toInt();
        if (depth >= 1)
            filter.object = item->data(0, ObjectRole).toString();
        if (depth >= 2)
            filter.section = item->data(0, SectionRole).toString();
        if (depth >= 3)
            filter.layer = item->data(0, LayerRole).toString();
    }
    return filter;
}

void ArchiveWindow::applyFilter()
{
    if (!m_models[0])
        return;
    const archive::TestFilter filter = currentFilter();
    runCommand(this, [&] {
        for (archive::TestListModel* model : m_models)
            model->setFilter(filter);
    });
    updateActions();
}

void ArchiveWindow::refresh()
{
    runCommand(this, [this] { fillTree(); });
    applyFilter();
}

archive::TestListModel* ArchiveWindow::model(int kind) const
{
    return m_models[kind == store::kPressKind ? 1 : 0];
}

QTableView* ArchiveWindow::view(int kind) const
{
    return m_views[kind == store::kPressKind ? 1 : 0];
}

archive::TestListModel* ArchiveWindow::shownModel() const
{
    return m_models[m_tabs->currentIndex() == 1 ? 1 : 0];
}

QTableView* ArchiveWindow::shownView() const
{
    return m_views[m_tabs->currentIndex() == 1 ? 1 : 0];
}

std::vector<qint64> ArchiveWindow::chosenTests(bool allWhenNone) const
{
    std::vector<int> rows;
    for (const QModelIndex& index : shownView()->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty() && allWhenNone)
        return shownModel()->allTestIds();
    return shownModel()->testIds(rows);
}

void ArchiveWindow::updateActions()
{
    if (!m_assign || !m_tabs)
        return;
    const bool selected = shownView()->selectionModel() && shownView()->selectionModel()->hasSelection();
    const bool any = shownModel()->rowCount() > 0;
    m_assign->setEnabled(selected);
    m_openTable->setEnabled(shownView()->currentIndex().isValid());
    m_export->setEnabled(any);
    m_report->setEnabled(any);
    m_charts->setEnabled(any);
    m_count->setText(QStringLiteral("Испытаний: %1%2")
                         .arg(shownModel()->rowCount())
                         .arg(selected ? QStringLiteral(", выбрано: %1").arg(shownView()->selectionModel()->selectedRows().size())
                                       : QString()));
}

void showImportProgress(QLabel* text, QProgressBar* bar, const QString& what, qint64 done, qint64 total)
{
    if (done < 0) {
        bar->hide();
        text->hide();
        return;
    }
    text->setText(what);
    text->show();
    // Before the first record is read the bar only says that work goes on.
    bar->setRange(0, total > 0 ? 1000 : 0);
    bar->setValue(total > 0 ? int(done * 1000 / total) : 0);
    bar->show();
}

void ArchiveWindow::showProgress(const QString& text, qint64 done, qint64 total)
{
    showImportProgress(m_progressText, m_progress, text, done, total);
}

void ArchiveWindow::chooseTablesToAdd()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Добавить таблицы в архив"), QString(),
                                                            QStringLiteral("Таблицы (*.db);;Все файлы (*)"));
    if (files.isEmpty())
        return;
    std::vector<archive::TableToAdd> tables;
    for (const QString& file : files)
        tables.push_back({file, {}, false});
    m_program.addTables(std::move(tables), {});
}

void ArchiveWindow::chooseFolderToAdd()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Добавить папку в архив"));
    if (folder.isEmpty())
        return;
    const QStringList files = archive::tableFiles({folder});
    if (files.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Архив"),
                                 QStringLiteral("В папке «%1» и её подпапках нет таблиц (*.db).")
                                     .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    std::vector<archive::TableToAdd> tables;
    for (const QString& file : files)
        tables.push_back({file, {}, false});
    m_program.addTables(std::move(tables), {});
}

void ArchiveWindow::assignSite()
{
    const std::vector<qint64> ids = chosenTests(false);
    if (ids.empty())
        return;
    archive::TestFilter filter;
    filter.ids = ids;
    const std::vector<archive::ArchivedTest> tests = archive::chosenTests(*m_archive, filter);
    SiteDialog dialog(*m_archive, tests, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const archive::SiteAssignment site = dialog.assignment();
    if (!site.any())
        return;
    m_archive->assignSite(ids, site, QStringLiteral("Отнести к…"));
    refresh();
}

void ArchiveWindow::exportTests()
{
    const std::vector<qint64> ids = chosenTests(true);
    if (ids.empty())
        return;
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Экспорт испытаний архива"), QString(),
        QStringLiteral("Книга Excel 97 (*.xls);;Книга Excel 2007 (*.xlsx);;Текст CSV (*.csv)"));
    if (file.isEmpty())
        return;
    archive::TestFilter filter;
    filter.ids = ids;
    filter.kind = shownModel()->kind();
    const int written = archive::exportTests(*m_archive, filter, file,
                                             table_export::exportFormatOf(file, table_export::ExportFormat::Xls),
                                             document::readLimits(*settings::open()));
    statusBar()->showMessage(QStringLiteral("Записано испытаний: %1 в «%2»").arg(written).arg(QDir::toNativeSeparators(file)),
                             8000);
}

void ArchiveWindow::openSourceTable()
{
    const QModelIndex current = shownView()->currentIndex();
    if (!current.isValid())
        return;
    archive::TestFilter filter;
    filter.ids = {shownModel()->testId(current.row())};
    const std::vector<archive::ArchivedTest> tests = archive::chosenTests(*m_archive, filter);
    if (tests.empty())
        return;
    if (tests.front().source.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Архив"), QStringLiteral("Таблица этого испытания неизвестна."));
        return;
    }
    m_program.openTable(tests.front().source, archive::identityOf(tests.front().values));
}

bool ArchiveWindow::chosenTable(const QString& folder, int limit, const QString& what,
                                std::vector<archive::ArchivedTest>& tests)
{
    const std::vector<qint64> ids = chosenTests(true);
    if (ids.empty())
        return false;
    if (int(ids.size()) > limit) {
        QMessageBox::information(this, what,
                                 QStringLiteral("Выбрано испытаний: %1. Выберите не больше %2: сузьте отбор или "
                                                "выделите нужные строки.")
                                     .arg(ids.size())
                                     .arg(limit));
        return false;
    }
    archive::TestFilter filter;
    filter.ids = ids;
    filter.kind = shownModel()->kind();
    tests = archive::chosenTests(*m_archive, filter);
    archive::writeTestsTable(tests, folder + QStringLiteral("/archive.db"));
    return true;
}

void ArchiveWindow::reportTests()
{
    // The report engine reads a document: the tests go into a table of their own for it.
    QTemporaryDir folder;
    if (!folder.isValid())
        throw store::StoreError(store::StoreError::Code::Io, "Не удалось создать временную папку для отчёта");
    std::vector<archive::ArchivedTest> tests;
    if (!chosenTable(folder.path(), kMostReported, QStringLiteral("Отчёт"), tests))
        return;
    document::MeasurementDocument document;
    document.open(folder.filePath(QStringLiteral("archive.db")));
    document.setLimits(document::readLimits(*settings::open()));
    document.showKind(shownModel()->kind());
    // With "Графики в отчёте" on, the charts page follows the rows, as in the main window.
    std::vector<std::shared_ptr<const reports::PageDrawing>> appended;
    const ChartSettings charts = readChartSettings(*settings::open());
    if (charts.inReport)
        appended.push_back(reports::chartPage(
            views::chartSnapshot(document.table(), charts.measure, document.kind(), document.limits(), 0)));
    const reports::ReportKind kind = reports::reportKindOf(document);
    reports::ReportTemplate report(reports::withSubtitle(reports::designOf(kind), siteLine(tests)), this);
    report.setObjectName(QStringLiteral("archiveReport"));
    if (!report.prepare(document, appended))
        return;
    report.showPreview(this, [&report](QWidget* preview) {
        runCommand(preview, [&] {
            const QString file = QFileDialog::getSaveFileName(preview, QStringLiteral("Сохранить отчёт в PDF"), QString(),
                                                              QStringLiteral("PDF (*.pdf)"));
            if (!file.isEmpty())
                reports::writePdfFile(report.prepared(), file);
        });
    });
}

void ArchiveWindow::showCharts()
{
    QTemporaryDir folder;
    if (!folder.isValid())
        throw store::StoreError(store::StoreError::Code::Io, "Не удалось создать временную папку для графиков");
    std::vector<archive::ArchivedTest> tests;
    if (!chosenTable(folder.path(), kMostCharted, QStringLiteral("Графики"), tests))
        return;
    store::MeasurementTable table;
    table.open(folder.filePath(QStringLiteral("archive.db")));
    const int kind = shownModel()->kind();
    const document::Limits limits = document::readLimits(*settings::open());

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("archiveChartsDialog"));
    dialog.setWindowTitle(QStringLiteral("Графики: испытаний %1").arg(tests.size()));
    auto* layout = new QVBoxLayout(&dialog);
    auto* row = new QHBoxLayout;
    auto* measure = new QComboBox(&dialog);
    measure->setObjectName(QStringLiteral("archiveChartMeasure"));
    measure->setAccessibleName(QStringLiteral("Показатель"));
    for (const views::ChartMeasure m : views::kChartMeasures)
        measure->addItem(views::measureCaption(m, kind), views::measureKey(m));
    measure->setCurrentIndex(measure->findData(views::measureKey(readChartSettings(*settings::open()).measure)));
    row->addWidget(new QLabel(QStringLiteral("Показатель:"), &dialog));
    row->addWidget(measure, 1);
    layout->addLayout(row);
    auto* forces = new views::ChartView(&dialog);
    forces->setObjectName(QStringLiteral("archiveForcesChart"));
    auto* values = new views::ChartView(&dialog);
    values->setObjectName(QStringLiteral("archiveTestsChart"));
    layout->addWidget(forces, 1);
    layout->addWidget(values, 2);
    int current = 0;
    const auto draw = [&] {
        const views::ChartSnapshot snapshot = views::chartSnapshot(
            table, views::measureFromKey(measure->currentData().toString()), kind, limits, current);
        views::buildForcesChart(forces->chart(), snapshot.forces, {});
        views::buildTestsChart(values->chart(), snapshot.tests, snapshot.selected, snapshot.current, {});
        forces->update();
        values->update();
    };
    // A click on a test shows its forces.
    connect(values, &views::ChartView::clicked, &dialog, [&](double x) {
        const int position = views::positionAtX(x, int(tests.size()));
        if (position >= 0) {
            current = position;
            draw();
        }
    });
    connect(measure, &QComboBox::currentIndexChanged, &dialog, [&] { draw(); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    draw();
    dialog.resize(900, 640);
    dialog.exec();
}

} // namespace app
