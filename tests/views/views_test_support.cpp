#include "views_test_support.h"

#include "views/table_model.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace views::test {

TableFixture::TableFixture(const std::vector<Cells>& rows, int kind)
    : m_path(m_dir.filePath(QStringLiteral("test.db"))), m_kind(kind)
{
    store::MeasurementTable::create(m_path);
    m_table.open(m_path);
    for (const Cells& row : rows)
        append(row);
    m_table.table().setFilter(store::kindFilter(kind));
    m_table.table().refresh();
}

TableFixture::~TableFixture()
{
    m_table.close();
}

void TableFixture::append(const Cells& cells)
{
    m_table.table().append();
    m_table.setInteger(store::Field::NB_TYPE, m_kind);
    for (const auto& [field, value] : cells) {
        if (value.typeId() == QMetaType::QString)
            m_table.setText(field, value.toString());
        else
            m_table.setReal(field, value.toDouble());
    }
    m_table.table().post();
}

void TableFixture::reopen()
{
    m_table.close();
    m_table.open(m_path);
    m_table.table().refresh();
}

ModalCatcher::ModalCatcher()
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_texts << box->text();
            box->accept();
        } else {
            modal->close();
        }
    });
    m_timer.start();
}

ModalCatcher::~ModalCatcher()
{
    m_timer.stop();
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
