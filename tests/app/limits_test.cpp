// "Нормативы…": the limits set in their dialog, kept in the settings, and the rows below them
// marked in the grid, its footer and what a screen reader hears.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "settings/program_settings.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>

#include <functional>
#include <memory>

using namespace kvel_test;

using app::MainWindow;
using store::Field;

class LimitsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogSetsKeepsAndMarks();
    void cancelChangesNothing();

private:
    // Runs "Нормативы…" and lets `fill` work on the dialog before OK (or Cancel).
    void runDialog(const std::function<void(QDialog&)>& fill, bool accept);

    std::unique_ptr<QTemporaryDir> m_dir;
    app::ProgramState m_state;
    std::unique_ptr<MainWindow> m_window;
};

void LimitsTest::init()
{
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    const QString file = m_dir->filePath(QStringLiteral("limits.db"));
    // K (P7) and E (U) per row: 0.90/25 fails K, 0.98/15 fails E, 0.99/30 passes.
    kvel_test::writeTable(file, {
                                    {{Field::N, 1.0}, {Field::P7, 0.90}, {Field::U, 25.0}},
                                    {{Field::N, 2.0}, {Field::P7, 0.98}, {Field::U, 15.0}},
                                    {{Field::N, 3.0}, {Field::P7, 0.99}, {Field::U, 30.0}},
                                });
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
    m_window->openTable(file);
    QVERIFY(documentOf(*m_window).isOpen());
}

void LimitsTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void LimitsTest::runDialog(const std::function<void(QDialog&)>& fill, bool accept)
{
    bool seen = false;
    QTimer::singleShot(0, m_window.get(), [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QStringLiteral("LimitsDialog"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Нормативы"));
        seen = true;
        fill(*dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    m_window->findChild<QAction*>(QStringLiteral("limitsAction"))->trigger();
    QVERIFY(seen);
}

void LimitsTest::dialogSetsKeepsAndMarks()
{
    views::DataGrid* grid = (&gridOf(*m_window, "PenetrometerGrid"));
    const auto marked = [&] {
        QList<bool> out;
        for (int row = 0; row < 3; ++row)
            out << grid->isRowMarked(row);
        return out;
    };
    const auto footer = [&] { return grid->column(grid->columnOfField(QStringLiteral("COMMENT"))).footerText; };
    QCOMPARE(marked(), (QList<bool>{false, false, false}));
    QCOMPARE(footer(), QString());

    struct Step {
        const char* name;
        bool kOn;
        double k;
        bool eOn;
        double e;
        QList<bool> marked;
        QString footer;
        QStringList why; // each row's reason, in the decimal comma
    };
    const Step steps[] = {
        {"K only", true, 0.95, false, 0, {true, false, false}, QStringLiteral("не соотв.: 1 из 3"),
         {"K = 0,9 < 0,95", "", ""}},
        {"K and E", true, 0.95, true, 20.0, {true, true, false}, QStringLiteral("не соотв.: 2 из 3"),
         {"K = 0,9 < 0,95", "E = 15 < 20 МПа", ""}},
        {"a K nobody reaches", true, 1.5, true, 20.0, {true, true, true}, QStringLiteral("не соотв.: 3 из 3"),
         {"K = 0,9 < 1,5", "K = 0,98 < 1,5; E = 15 < 20 МПа", "K = 0,99 < 1,5"}},
        {"none", false, 0, false, 0, {false, false, false}, QString(), {"", "", ""}},
    };
    const int nColumn = grid->columnOfField(QStringLiteral("N"));
    QAccessibleTableInterface* accessibleCells = QAccessible::queryAccessibleInterface(grid)->tableInterface();
    for (const Step& s : steps) {
        runDialog(
            [&](QDialog& d) {
                d.findChild<QCheckBox*>(QStringLiteral("LimitKOn"))->setChecked(s.kOn);
                d.findChild<QDoubleSpinBox*>(QStringLiteral("LimitK"))->setValue(s.k);
                d.findChild<QCheckBox*>(QStringLiteral("LimitEOn"))->setChecked(s.eOn);
                d.findChild<QDoubleSpinBox*>(QStringLiteral("LimitE"))->setValue(s.e);
            },
            true);
        QVERIFY2(marked() == s.marked, s.name);
        QVERIFY2(footer() == s.footer, s.name);
        // The mark names the limit and the value, to the eye (tooltip) and to a screen reader.
        for (int row = 0; row < 3; ++row) {
            const QString why = s.why.at(row).isEmpty() ? QString()
                                                         : QStringLiteral("Не соответствует нормативу: ") + s.why.at(row);
            QCOMPARE(grid->isRowMarked(row) ? grid->markReason(row) : QString(), why);
            const QString description = accessibleCells->cellAt(row, nColumn)->text(QAccessible::Description);
            QVERIFY2(why.isEmpty() ? !description.contains(QStringLiteral("нормативу")) : description.endsWith(why),
                     qPrintable(description));
        }
        if (s.marked.at(1)) {
            const QPoint at = grid->cellRect(1, nColumn).center();
            QHelpEvent help(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
            QApplication::sendEvent(grid->viewport(), &help);
            QCOMPARE(QToolTip::text(), QStringLiteral("Не соответствует нормативу: ") + s.why.at(1));
            QToolTip::hideText();
        }
        // Kept for the next run: a new window reads them back.
        const auto settings = settings::open();
        QCOMPARE(settings->contains(QStringLiteral("Limit_K")), s.kOn);
        QCOMPARE(settings->contains(QStringLiteral("Limit_E")), s.eOn);
    }

    // A marked row: a red corner in its N cell, and the cell says so to a screen reader.
    runDialog([](QDialog& d) { d.findChild<QCheckBox*>(QStringLiteral("LimitKOn"))->setChecked(true); }, true);
    QVERIFY(grid->isRowMarked(0));
    const QRect cell = grid->cellRect(0, grid->columnOfField(QStringLiteral("N")));
    const QImage image = grid->viewport()->grab().toImage();
    const QColor corner = image.pixelColor(cell.topLeft() + QPoint(1, 1));
    QVERIFY2(corner.red() > 150 && corner.green() < 80 && corner.blue() < 80, qPrintable(corner.name()));
    const QColor unmarked = image.pixelColor(grid->cellRect(2, 0).topLeft() + QPoint(1, 1));
    QVERIFY2(unmarked.red() < 150 || unmarked.green() > 80, qPrintable(unmarked.name()));
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    QAccessibleTableInterface* cells = table->tableInterface();
    const int n = grid->columnOfField(QStringLiteral("N"));
    QVERIFY(cells->cellAt(0, n)->text(QAccessible::Description).endsWith(QStringLiteral("Не соответствует нормативу: K = 0,9 < 0,95")));
    QVERIFY(!cells->cellAt(2, n)->text(QAccessible::Description).contains(QStringLiteral("нормативу")));
    QVERIFY(table->text(QAccessible::Description).contains(QStringLiteral("Не соответствуют нормативам: 1 из 3.")));

    // A new window starts with the stored limits.
    m_window.reset();
    m_window = std::make_unique<MainWindow>(m_state);
    QCOMPARE(documentOf(*m_window).limits().minK, std::optional<double>(0.95));
}

void LimitsTest::cancelChangesNothing()
{
    runDialog(
        [](QDialog& d) {
            d.findChild<QCheckBox*>(QStringLiteral("LimitKOn"))->setChecked(true);
            // Off, the value cannot be edited.
            QVERIFY(!d.findChild<QDoubleSpinBox*>(QStringLiteral("LimitE"))->isEnabled());
        },
        false);
    QVERIFY(!documentOf(*m_window).limits().any());
    QVERIFY(!settings::open()->contains(QStringLiteral("Limit_K")));
}

KVEL_WIDGET_TEST_MAIN(LimitsTest)
#include "limits_test.moc"

