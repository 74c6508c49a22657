#include "views_test_support.h"

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <exception>

namespace views::test {

TableFixture::TableFixture(const std::vector<Cells>& rows, int kind)
    : m_path(m_dir.filePath(QStringLiteral("test.db"))), m_kind(kind)
{
    store::MeasurementTable::create(m_path);
    m_document.open(m_path);
    for (const Cells& row : rows)
        append(row);
    m_document.showKind(kind);
}

TableFixture::~TableFixture()
{
    m_document.close();
}

void TableFixture::append(const Cells& cells)
{
    const std::uint32_t record = m_document.beginNewRow();
    const auto set = [&](store::Field field, const QString& text) {
        m_document.setCellText(record, table().column(field), text);
    };
    set(store::Field::NB_TYPE, QString::number(m_kind));
    for (const auto& [field, value] : cells)
        set(field, value.typeId() == QMetaType::QString ? value.toString() : QString::number(value.toDouble(), 'g', 17));
    m_document.post();
}

void TableFixture::reopen()
{
    m_document.save();
}

GridMessages::GridMessages(GridTabs& tabs)
{
    QObject::connect(&tabs, &GridTabs::valueRefused, &m_context,
                     [this](QWidget*, const QString& text) { m_refused << text; });
    QObject::connect(&tabs, &GridTabs::errorOccurred, &m_context, [this](QWidget*, const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            m_errors << QString::fromUtf8(e.what());
        } catch (...) {
            m_errors << QStringLiteral("(not a std::exception)");
        }
    });
}

std::string GridMessages::all() const
{
    return (m_refused + m_errors).join(QLatin1Char('|')).toStdString();
}

QStringList columnTexts(const DataGrid& grid, const QString& fieldName)
{
    QStringList texts;
    const int column = grid.columnOfField(fieldName);
    for (int row = 0; row < grid.model()->rowCount(); ++row)
        texts << grid.cellText(row, column);
    return texts;
}

void clickTitle(DataGrid& grid, int column, Qt::KeyboardModifiers modifiers)
{
    const QRect r = grid.titleRect(column);
    EXPECT_FALSE(r.isEmpty()) << "title of column " << column << " is out of sight";
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers, r.center());
}

void clickCell(DataGrid& grid, int row, int column, Qt::KeyboardModifiers modifiers)
{
    if (grid.cellRect(row, column).isEmpty())
        grid.verticalScrollBar()->setValue(row);
    const QRect r = grid.cellRect(row, column);
    EXPECT_FALSE(r.isEmpty()) << "cell " << row << "," << column << " is out of sight";
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers, r.center());
}

void typeIntoEditor(DataGrid& grid, const QString& text)
{
    ASSERT_TRUE(grid.isEditorOpen());
    grid.editor()->setText(text);
    QTest::keyClick(grid.editor(), Qt::Key_Return);
}

} // namespace views::test
