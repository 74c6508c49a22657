// Stored column layouts: the text form keeps exactly the stored properties, a text that does
// not read is ignored, the settings values Table_1 / Table_2 bring widths and colours back
// (each unbound column its own), and a missing or unreadable value gives equal widths.

#include "views/grid_tabs.h"
#include "views/layout_text.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include "settings/program_settings.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace views {
namespace {

GridColumn unusual()
{
    GridColumn c;
    c.fieldName = QStringLiteral("DATE");
    c.width = 123;
    c.level = 2;
    c.index = 3;
    c.titleState = TitleState::Down;
    c.sortSequence = 4;
    c.footerAlignment = Qt::AlignRight | Qt::AlignVCenter;
    c.visualOptions = ElideCells;
    c.color = QColor(0x12, 0x34, 0x56);
    c.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QFont font(QStringLiteral("DejaVu Sans"), 11);
    font.setBold(true);
    c.font = font;
    // Not stored:
    c.caption = QStringLiteral("Дата");
    c.readOnly = true;
    c.visible = false;
    c.displayFormat = Format00;
    c.footerText = QStringLiteral("5");
    return c;
}

TEST(LayoutText, KeepsTheStoredPropertiesAndNothingElse)
{
    const GridColumns written = {unusual(), GridColumn{}};
    const QString text = writeLayoutText(written);
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), text.count(QLatin1Char('\n'))) << "every line ends in CR LF";

    GridColumns read;
    ASSERT_TRUE(readLayoutText(text, read));
    ASSERT_EQ(read.size(), 2u);
    const GridColumn& a = read[0];
    const GridColumn& w = written[0];
    EXPECT_EQ(a.fieldName, w.fieldName);
    EXPECT_EQ(a.width, w.width);
    EXPECT_EQ(a.level, w.level);
    EXPECT_EQ(a.index, w.index);
    EXPECT_EQ(a.titleState, w.titleState);
    EXPECT_EQ(a.sortSequence, w.sortSequence);
    EXPECT_EQ(a.footerAlignment, w.footerAlignment);
    EXPECT_EQ(a.visualOptions, w.visualOptions);
    EXPECT_EQ(a.color, w.color);
    EXPECT_EQ(a.alignment, w.alignment);
    ASSERT_TRUE(a.font.has_value());
    EXPECT_EQ(a.font->family(), w.font->family());
    EXPECT_EQ(a.font->pointSize(), w.font->pointSize());
    EXPECT_EQ(a.font->bold(), w.font->bold());

    const GridColumn fresh;
    EXPECT_EQ(a.caption, fresh.caption);
    EXPECT_EQ(a.readOnly, fresh.readOnly);
    EXPECT_EQ(a.visible, fresh.visible);
    EXPECT_EQ(a.displayFormat, fresh.displayFormat);
    EXPECT_EQ(a.footerText, fresh.footerText);
    EXPECT_FALSE(text.contains(QStringLiteral("Дата"))) << "the caption is not stored";

    EXPECT_FALSE(read[1].color.has_value()) << "no colour comes back as no colour";
    EXPECT_FALSE(read[1].font.has_value());

    // Any line ends read the same.
    GridColumns lf;
    ASSERT_TRUE(readLayoutText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), lf));
    EXPECT_EQ(lf.size(), 2u);
}

TEST(LayoutText, ATextThatDoesNotReadChangesNothing)
{
    const QString good = writeLayoutText({unusual()});
    const auto replaced = [&](const char* from, const char* to) {
        return QString(good).replace(QString::fromUtf8(from), QString::fromUtf8(to));
    };
    const QString cases[] = {
        QString(),
        QStringLiteral("garbage"),
        replaced("DataGridLayout 1", "DataGridLayout 2"),
        replaced("Width=123", "Width=abc"),
        replaced("Width=123", "Width=-5"),
        replaced("Level=2", "Height=2"),
        replaced("Color=#123456", "Color=blue"),
        replaced("Title=Down 4", "Title=Sideways 4"),
        replaced("Title=Down 4", "Title=Down"),
        replaced("Alignment=Left", "Alignment=Middle"),
        replaced("Options=ElideCells", "Options=ElideCells,Blink"),
        replaced("Field=DATE", "Field=ДАТА"),
        replaced("End\r\n", ""),
        replaced("Column\r\n", ""),
        good + QStringLiteral("Width=5\r\n"),
    };
    for (const QString& text : cases) {
        GridColumns columns = grid1Columns();
        const QString before = writeLayoutText(columns);
        EXPECT_FALSE(readLayoutText(text, columns)) << text.toStdString();
        EXPECT_EQ(writeLayoutText(columns), before);
    }
}

TEST(LayoutText, UnboundColumnsGetTheirOwnValuesBackInOrder)
{
    GridColumns stored = grid2Columns();
    int width = 11;
    for (GridColumn& c : stored) {
        if (!c.isBound())
            c.width = width++;
        c.titleState = TitleState::Up; // marks of a sort the closed table no longer has
    }
    GridColumn stray;
    stray.fieldName = QStringLiteral("ZAV"); // a field this grid does not show
    stray.width = 999;
    stored.push_back(stray);

    GridColumns grid = grid2Columns();
    applyStoredLayout(grid, stored);
    width = 11;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (!grid[i].isBound()) {
            EXPECT_EQ(grid[i].width, width++) << grid[i].caption.toStdString();
        }
        EXPECT_EQ(grid[i].titleState, TitleState::None);
        EXPECT_EQ(grid[i].caption, grid2Columns()[i].caption);
        EXPECT_NE(grid[i].width, 999);
    }
}

class StoredLayouts : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_settingsPath = m_fixture.folder() + QStringLiteral("/settings.ini");
        m_settings = openSettings();
        m_tabs = makeTabs();
    }
    // The settings file inside the program's group, as settings::open() gives it.
    std::unique_ptr<QSettings> openSettings() const
    {
        auto values = std::make_unique<QSettings>(m_settingsPath, QSettings::IniFormat);
        values->beginGroup(settings::kGroup);
        return values;
    }
    // The same file read from its top, to see where the values went.
    std::unique_ptr<QSettings> openWholeFile() const
    {
        return std::make_unique<QSettings>(m_settingsPath, QSettings::IniFormat);
    }
    std::unique_ptr<GridTabs> makeTabs()
    {
        auto tabs = std::make_unique<GridTabs>(m_fixture.document(), &m_page1, &m_page2);
        tabs->grid1()->resize(1020, 600);
        tabs->grid2()->resize(1020, 600);
        return tabs;
    }
    static void expectEqualWidthsFillingTheGrid(const DataGrid& grid)
    {
        for (const GridColumn& c : grid.columns())
            EXPECT_EQ(c.width, grid.column(0).width) << c.caption.toStdString();
        EXPECT_EQ(grid.shownLayout().totalWidth(), grid.viewport()->width());
    }

    test::TableFixture m_fixture;
    QString m_settingsPath;
    std::unique_ptr<QSettings> m_settings;
    QWidget m_page1, m_page2;
    std::unique_ptr<GridTabs> m_tabs;
};

TEST_F(StoredLayouts, WidthsAndColoursComeBackOnBothTabs)
{
    const QColor yellow(0xFF, 0xFF, 0x80);
    int w = 20;
    for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()}) {
        for (int c = 0; c < g->columnCount(); ++c)
            g->setColumnWidth(c, w++); // every column its own width, unbound ones included
        g->setColumnColor(2, yellow);
        g->setColumnColor(5, QColor(Qt::cyan));
    }
    m_tabs->grid1()->setTitleState(1, TitleState::Up);
    m_tabs->storeLayouts(*m_settings);
    m_settings->sync();

    // Another run of the program: new grids, the settings read from the file.
    const auto whole = openWholeFile();
    const QString raw = whole->value(QStringLiteral("1.0/Table_1")).toString();
    ASSERT_FALSE(raw.isEmpty());
    EXPECT_EQ(raw.count(QStringLiteral("\r\n")), raw.count(QLatin1Char('\n')));
    EXPECT_TRUE(whole->contains(QStringLiteral("1.0/Table_2")));

    const auto again = openSettings();
    auto fresh = makeTabs();
    fresh->restoreLayouts(*again);
    for (auto [was, now] : {std::pair{m_tabs->grid1(), fresh->grid1()}, std::pair{m_tabs->grid2(), fresh->grid2()}}) {
        for (int c = 0; c < now->columnCount(); ++c) {
            EXPECT_EQ(now->column(c).width, was->column(c).width) << now->objectName().toStdString() << " " << c;
            EXPECT_EQ(now->column(c).color, was->column(c).color) << now->objectName().toStdString() << " " << c;
            EXPECT_EQ(now->column(c).titleState, TitleState::None) << "stored marks are dropped";
        }
    }
}

TEST_F(StoredLayouts, TheProgramsSettingsKeepTheLayoutsInTheirGroup)
{
    m_tabs->grid1()->setColumnWidth(0, 77);
    {
        const auto values = settings::open(); // the private folder of the test run
        values->remove(kLayoutValue1);
        storeGridLayout(*values, kLayoutValue1, *m_tabs->grid1());
    }
    QSettings whole(settings::kOrganization, settings::kApplication);
    EXPECT_TRUE(whole.contains(QStringLiteral("1.0/Table_1")));
    EXPECT_FALSE(whole.contains(QStringLiteral("1.0/1.0/Table_1")));
    EXPECT_FALSE(whole.contains(QStringLiteral("Table_1")));
    GridColumns stored;
    ASSERT_TRUE(readLayoutText(whole.value(QStringLiteral("1.0/Table_1")).toString(), stored));
    EXPECT_EQ(stored.at(0).width, m_tabs->grid1()->column(0).width);
}

TEST_F(StoredLayouts, WithoutAValueTheGridGetsEqualWidthsAndTheValueIsWritten)
{
    ASSERT_FALSE(m_settings->contains(kLayoutValue1));
    m_tabs->restoreLayouts(*m_settings);
    for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()})
        expectEqualWidthsFillingTheGrid(*g);
    m_settings->sync();
    const auto whole = openWholeFile();
    GridColumns stored;
    EXPECT_TRUE(readLayoutText(whole->value(QStringLiteral("1.0/Table_1")).toString(), stored));
    EXPECT_EQ(stored.size(), grid1Columns().size());
    EXPECT_TRUE(readLayoutText(whole->value(QStringLiteral("1.0/Table_2")).toString(), stored));
}

TEST_F(StoredLayouts, AnUnreadableValueIsReplaced)
{
    m_settings->setValue(kLayoutValue2, QStringLiteral("object Grid2Columns: TColumns\r\nend"));
    restoreGridLayout(*m_settings, kLayoutValue2, *m_tabs->grid2());
    expectEqualWidthsFillingTheGrid(*m_tabs->grid2());
    GridColumns stored;
    EXPECT_TRUE(readLayoutText(m_settings->value(kLayoutValue2).toString(), stored));
    EXPECT_EQ(stored.size(), grid2Columns().size());
}

} // namespace
} // namespace views
