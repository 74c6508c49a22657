#include "archive/test_list_model.h"

#include "archive/archive.h"
#include "archive/chainage.h"
#include "archive/sql_statement.h"
#include "document/column_catalogue.h"
#include "store/measurement_table.h"
#include "store/number_text.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace archive {

namespace {

// Pages kept in memory: what a tall window shows several times over.
constexpr int kPagesKept = 24;

QString patternOf(document::CellFormat format, const QString& field)
{
    switch (format) {
    case document::CellFormat::Fixed2:
        return QStringLiteral("0.00");
    case document::CellFormat::Fixed4:
        return QStringLiteral("0.0000");
    default:
        return document::fieldTextPattern(field);
    }
}

std::vector<TestListModel::Column> columnsOf(int kind)
{
    std::vector<TestListModel::Column> out;
    const auto set = kind == store::kPressKind ? document::ColumnSet::Grid2 : document::ColumnSet::Grid1ForcesInRow;
    for (const document::CatalogueColumn& c : document::columns(set)) {
        const QString field = QString::fromLatin1(c.field);
        if (field.isEmpty())
            continue; // the press tab's empty force columns
        const int index = [&] {
            for (int i = 0; i < store::kFieldCount; ++i)
                if (field.compare(QLatin1String(store::fieldName(static_cast<store::Field>(i))), Qt::CaseInsensitive) == 0)
                    return i;
            return -1;
        }();
        if (index < 0)
            continue;
        const auto f = static_cast<store::Field>(index);
        TestListModel::Column column;
        column.caption = QString::fromUtf8(c.caption).simplified();
        // The grid's design widths are for its own narrow font; the list's is the system's.
        column.width = std::max(76, c.width * 8 / 5);
        column.expression = QStringLiteral("t.") + fieldColumn(f);
        column.number = !isTextField(f);
        if (column.number)
            column.pattern = patternOf(c.format, field);
        out.push_back(column);
    }
    const auto site = [&](const char* caption, const char* expression, int width, bool number = false,
                          bool chainage = false) {
        out.push_back({QString::fromUtf8(caption), QString::fromLatin1(expression), {}, number, chainage, width});
    };
    site("Объект", "t.site_object", 140);
    site("Участок", "t.site_section", 110);
    site("Слой", "t.site_layer", 100);
    site("ПК", "t.site_chainage", 100, true, true);
    site("Смещение, м", "t.site_offset", 80, true);
    site("Оператор", "t.site_operator", 120);
    site("Таблица",
         "(SELECT s.path FROM placements p JOIN sources s ON s.id = p.source_id WHERE p.test_id = t.id "
         "ORDER BY p.present DESC, p.added_at DESC, s.id DESC LIMIT 1)",
         260);
    return out;
}

void bindValue(Statement& statement, int index, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        statement.bindInteger(index, value.toLongLong());
        break;
    case QMetaType::Double:
        statement.bindReal(index, value.toDouble());
        break;
    default:
        if (value.isNull())
            statement.bindNull(index);
        else
            statement.bindText(index, value.toString().toUtf8());
    }
}

} // namespace

TestListModel::TestListModel(Archive& archive, int kind, QObject* parent)
    : QAbstractTableModel(parent), m_archive(archive), m_kind(kind), m_columns(columnsOf(kind))
{
    m_filter.kind = kind;
    loadIds();
}

void TestListModel::setFilter(const TestFilter& filter)
{
    m_filter = filter;
    m_filter.kind = m_kind;
    reload();
}

void TestListModel::reload()
{
    beginResetModel();
    loadIds();
    endResetModel();
}

void TestListModel::sort(int column, Qt::SortOrder order)
{
    if (column >= int(m_columns.size()))
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    reload();
}

void TestListModel::loadIds()
{
    m_pages.clear();
    m_pageUse.clear();
    m_ids.clear();
    QSqlDatabase& db = m_archive.database();
    const Dialect dialect = dialectOf(db);
    const SqlCondition condition = conditionOf(m_filter, dialect);
    QString order = testOrder(dialect);
    if (m_sortColumn >= 0) {
        const QString direction = m_sortOrder == Qt::AscendingOrder ? QStringLiteral(" ASC") : QStringLiteral(" DESC");
        order = m_columns[std::size_t(m_sortColumn)].expression + direction + QStringLiteral(", ") + order;
    }
    // Through the database's own interface where it has one: a million ids in a blink.
    auto ids = prepare(db, QStringLiteral("SELECT t.id FROM tests t WHERE %1 ORDER BY %2").arg(condition.text, order), true);
    for (std::size_t i = 0; i < condition.values.size(); ++i)
        bindValue(*ids, int(i), condition.values[i]);
    while (ids->step())
        m_ids.push_back(ids->integer(0));
}

void TestListModel::loadPage(int page) const
{
    const std::size_t from = std::size_t(page) * kPageRows;
    const std::size_t to = std::min(m_ids.size(), from + kPageRows);
    QStringList expressions;
    for (const Column& c : m_columns)
        expressions << c.expression;
    QStringList marks;
    for (std::size_t i = from; i < to; ++i)
        marks << QStringLiteral("?");
    QSqlDatabase& db = m_archive.database();
    auto rows = prepare(db,
                        QStringLiteral("SELECT t.id, %1 FROM tests t WHERE t.id IN (%2)")
                            .arg(expressions.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                        true);
    for (std::size_t i = from; i < to; ++i)
        rows->bindInteger(int(i - from), m_ids[i]);
    QHash<qint64, Row> byId;
    while (rows->step()) {
        Row row;
        row.reserve(int(m_columns.size()) + 1);
        const qint64 id = rows->integer(0);
        row << id;
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            const int column = int(c) + 1;
            if (rows->isNull(column))
                row << QVariant();
            else if (m_columns[c].number)
                row << rows->real(column);
            else
                row << QString::fromUtf8(rows->text(column));
        }
        byId.insert(id, row);
    }
    std::vector<Row> pageRows;
    pageRows.reserve(to - from);
    for (std::size_t i = from; i < to; ++i)
        pageRows.push_back(byId.value(m_ids[i], Row{QVariant(m_ids[i])}));
    m_pages.insert(page, std::move(pageRows));
    m_pageUse.push_back(page);
    while (int(m_pageUse.size()) > kPagesKept) {
        m_pages.remove(m_pageUse.front());
        m_pageUse.erase(m_pageUse.begin());
    }
}

const TestListModel::Row* TestListModel::rowAt(int row) const
{
    if (row < 0 || std::size_t(row) >= m_ids.size())
        return nullptr;
    const int page = row / kPageRows;
    if (!m_pages.contains(page))
        loadPage(page);
    else if (m_pageUse.back() != page) {
        m_pageUse.erase(std::find(m_pageUse.begin(), m_pageUse.end(), page));
        m_pageUse.push_back(page);
    }
    const std::vector<Row>& rows = m_pages[page];
    const std::size_t at = std::size_t(row % kPageRows);
    return at < rows.size() ? &rows[at] : nullptr;
}

qint64 TestListModel::testId(int row) const
{
    return row >= 0 && std::size_t(row) < m_ids.size() ? m_ids[std::size_t(row)] : 0;
}

std::vector<qint64> TestListModel::testIds(const std::vector<int>& rows) const
{
    std::vector<qint64> out;
    for (const int row : rows)
        if (row >= 0 && std::size_t(row) < m_ids.size())
            out.push_back(m_ids[std::size_t(row)]);
    return out;
}

int TestListModel::rowOf(qint64 id) const
{
    const auto at = std::find(m_ids.begin(), m_ids.end(), id);
    return at == m_ids.end() ? -1 : int(at - m_ids.begin());
}

int TestListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

int TestListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TestListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= int(m_columns.size()))
        return {};
    if (role == TestIdRole)
        return testId(index.row());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole && role != NumberRole && role != Qt::ToolTipRole)
        return {};
    const Row* row = rowAt(index.row());
    if (!row || index.column() + 1 >= row->size())
        return {};
    const QVariant& value = row->at(index.column() + 1);
    const Column& column = m_columns[std::size_t(index.column())];
    if (role == NumberRole)
        return column.number ? value : QVariant();
    if (value.isNull())
        return QString();
    if (role == Qt::ToolTipRole)
        return column.expression.startsWith(QLatin1Char('(')) ? QDir::toNativeSeparators(value.toString()) : QVariant();
    if (column.chainage)
        return chainageText(value.toDouble());
    if (column.number)
        return column.pattern.isEmpty() ? store::generalNumberText(value.toDouble())
                                        : store::patternNumberText(value.toDouble(), column.pattern);
    if (column.expression.startsWith(QLatin1Char('(')))
        return QDir::toNativeSeparators(value.toString());
    return value;
}

QVariant TestListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(m_columns.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return m_columns[std::size_t(section)].caption;
    return {};
}

} // namespace archive
