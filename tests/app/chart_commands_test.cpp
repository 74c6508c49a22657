// The charts in the main window: the dock that follows the table and "Вид → Графики", the
// choices the settings remember, "Сохранить график…" in each file type, and the charts page
// that "Графики в отчёте" adds to the report and its preview.

#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "reports/prepared_report.h"
#include "reports/report_painter.h"
#include "reports/report_template.h"
#include "store/measurement_table.h"
#include "views/chart_panel.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <memory>

using namespace kvel_test;

using app::MainWindow;
using store::Field;

namespace {

// A value of the program's settings, read from the file as it stands.
QVariant setting(const char* key)
{
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("Valdrenor"),
                       QStringLiteral("KVEL"));
    return settings.value(QStringLiteral("1.0/") + QLatin1String(key));
}

// `count` penetrometer tests with forces and figures that differ from row to row; every
// seventh test has no K.
void writeTable(const QString& path, int count)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    for (int i = 0; i < count; ++i) {
        table.table().append();
        table.setReal(Field::N, i + 1);
        table.setText(Field::DATE, QStringLiteral("%1.03.2024").arg(1 + i % 28, 2, 10, QLatin1Char('0')));
        table.setText(Field::TIME, QStringLiteral("10:%1").arg(i % 60, 2, 10, QLatin1Char('0')));
        table.setInteger(Field::NB_TYPE, store::kPenetrometerKind);
        table.setInteger(Field::DEV_TYPE, 4);
        table.setInteger(Field::SERIAL, 321);
        const Field forces[] = {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};
        double sum = 0;
        for (int k = 0; k < 5; ++k) {
            const double f = 800 + 40 * ((i * 7 + k * 3) % 11) - (k == 2 && i % 5 == 0 ? 600 : 0);
            table.setReal(forces[k], f);
            sum += f;
        }
        table.setReal(Field::P, sum / 5);
        table.setReal(Field::R, 1.2 + 0.35 * ((i * 5) % 9));
        table.setReal(Field::U, 18 + 2.5 * ((i * 3) % 7));
        if (i % 7 != 3)
            table.setReal(Field::P7, 0.9 + 0.01 * (i % 9));
        table.table().post();
    }
    table.close();
}

int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

// Under KVEL_CHART_SHOTS the pictures a test makes are kept there, to be looked at.
void keep(const QImage& image, const QString& name)
{
    if (const QString folder = qEnvironmentVariable("KVEL_CHART_SHOTS"); !folder.isEmpty())
        image.save(folder + QLatin1Char('/') + name);
}

} // namespace

class ChartCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> m_window;
    app::ProgramState m_state;
    QTemporaryDir m_dir;
    int m_files = 0;

    void newWindow()
    {
        if (m_window && documentOf(*m_window).isOpen())
            tableCommandsOf(*m_window).closeTable();
        m_window.reset();
        m_state = {};
        m_window = std::make_unique<MainWindow>(m_state);
        // Not maximised: a window of known size, the dock under the grid.
        m_window->setWindowState(Qt::WindowNoState);
        m_window->resize(1280, 800);
        m_window->show();
    }

    bool openTable(int rows)
    {
        const QString path = m_dir.filePath(QStringLiteral("t%1.db").arg(++m_files));
        writeTable(path, rows);
        return openTableIn(*m_window, path);
    }

    QAction* action(const char* name) { return m_window->findChild<QAction*>(QString::fromLatin1(name)); }
    QDockWidget* dock() { return m_window->findChild<QDockWidget*>(QStringLiteral("chartDock")); }

    // The page counts of the preview that "Предварительный просмотр" shows, and its pages.
    int previewPages()
    {
        int shown = -1;
        QMetaObject::Connection c = connect(
            (&reportOf(*m_window, "penetrometerReport")), &reports::ReportTemplate::previewOpened, this, [&shown](QPrintPreviewDialog* preview) {
                QTimer::singleShot(0, preview, [preview, &shown] {
                    shown = preview->findChild<QPrintPreviewWidget*>()->pageCount();
                    preview->findChild<QAction*>(QStringLiteral("PreviewClose"))->trigger();
                });
            });
        printCommandsOf(*m_window).preview();
        disconnect(c);
        return shown;
    }

private slots:
    void init()
    {
        kvel_test::clearProgramSettings();
        newWindow();
    }

    void cleanup()
    {
        if (documentOf(*m_window).isOpen())
            tableCommandsOf(*m_window).closeTable();
        m_window.reset();
    }

    void commandsOfTheViewMenu_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("checkable");
        QTest::newRow("showChartsAction") << "showChartsAction" << "Графики" << true;
        QTest::newRow("saveChartAction") << "saveChartAction" << "Сохранить график…" << false;
        QTest::newRow("chartsInReportAction") << "chartsInReportAction" << "Графики в отчёте" << true;
    }

    void commandsOfTheViewMenu()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, checkable);
        QAction* item = nullptr;
        for (QAction* action : m_window->findChild<QMenu*>(QStringLiteral("viewMenu"))->actions())
            if (action->objectName() == name)
                item = action;
        QVERIFY(item);
        QCOMPARE(item->text(), caption);
        QCOMPARE(item->isCheckable(), checkable);
        QVERIFY(!item->isChecked()); // both options start off
    }

    void dockFollowsTheTableAndTheMenu()
    {
        QVERIFY(dock());
        QCOMPARE(dock()->windowTitle(), QStringLiteral("Графики"));
        QCOMPARE(dock()->widget(), chartCommandsOf(*m_window).panel());
        QCOMPARE(m_window->dockWidgetArea(dock()), Qt::BottomDockWidgetArea);
        QVERIFY(!action("saveChartAction")->isEnabled());

        // Wanted, but no table: nothing to show.
        action("showChartsAction")->trigger();
        QVERIFY(action("showChartsAction")->isChecked());
        QVERIFY(dock()->isHidden());
        QCOMPARE(setting("Charts_visible").toBool(), true);

        QVERIFY(openTable(12));
        QVERIFY(!dock()->isHidden());
        QVERIFY(action("saveChartAction")->isEnabled());
        action("showChartsAction")->trigger();
        QVERIFY(dock()->isHidden());
        QCOMPARE(setting("Charts_visible").toBool(), false);
        action("showChartsAction")->trigger();
        QVERIFY(!dock()->isHidden());

        // Closing the table hides the dock and keeps the wish for the next table.
        tableCommandsOf(*m_window).closeTable();
        QVERIFY(dock()->isHidden());
        QVERIFY(action("showChartsAction")->isChecked());
        QVERIFY(openTable(3));
        QVERIFY(!dock()->isHidden());

        // The dock's own close button is "Графики" unchecked.
        dock()->close();
        QVERIFY(dock()->isHidden());
        QVERIFY(!action("showChartsAction")->isChecked());
        QCOMPARE(setting("Charts_visible").toBool(), false);
    }

    void choicesAreRemembered()
    {
        action("showChartsAction")->trigger();
        action("chartsInReportAction")->trigger();
        QVERIFY(openTable(5));
        chartCommandsOf(*m_window).panel()->setMeasure(views::ChartMeasure::E);
        m_window->addDockWidget(Qt::RightDockWidgetArea, dock());
        QCOMPARE(setting("Charts_measure").toString(), QStringLiteral("E"));
        QCOMPARE(setting("Charts_area").toString(), QStringLiteral("right"));
        QCOMPARE(setting("Charts_in_report").toBool(), true);

        newWindow();
        QVERIFY(action("showChartsAction")->isChecked());
        QVERIFY(action("chartsInReportAction")->isChecked());
        QCOMPARE(chartCommandsOf(*m_window).panel()->measure(), views::ChartMeasure::E);
        QCOMPARE(m_window->dockWidgetArea(dock()), Qt::RightDockWidgetArea);
        QVERIFY(openTable(5));
        QVERIFY(!dock()->isHidden());
    }

    void panelShowsTheOpenTable()
    {
        action("showChartsAction")->trigger();
        QVERIFY(openTable(40));
        views::DataGrid* grid = (&shownGridOf(*m_window));
        grid->setCurrentRow(9);
        grid->selectRow(4);
        grid->selectRow(20);
        QCoreApplication::processEvents();
        views::ChartPanel* panel = chartCommandsOf(*m_window).panel();
        QCOMPARE(panel->snapshot().tests.values.size(), std::size_t(40));
        QCOMPARE(panel->snapshot().current, 9);
        QCOMPARE(panel->testsChart()->title().left(1), QStringLiteral("P"));
        // A click's slot moves the window's grid.
        panel->showRow(30);
        QCOMPARE(grid->currentRow(), 30);

        QCoreApplication::processEvents();
        const QImage window = m_window->grab().toImage();
        const QImage charts = dock()->grab().toImage();
        QVERIFY(dock()->height() > 150);
        QVERIFY(colourCount(charts) > 16);
        keep(window, QStringLiteral("main_window_charts.png"));
    }

    void savedFileTypeFollowsTheNameOrTheFilter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("magic");
        const QByteArray png("\x89PNG\r\n\x1a\n", 8);
        QTest::newRow("png by both") << "a.png" << "Рисунок PNG (*.png)" << "a.png" << png;
        QTest::newRow("svg by the filter") << "b" << "Рисунок SVG (*.svg)" << "b.svg" << QByteArray("<?xml");
        QTest::newRow("pdf by the name") << "c.PDF" << "Рисунок PNG (*.png)" << "c.PDF" << QByteArray("%PDF-");
        QTest::newRow("another extension") << "d.txt" << "Документ PDF (*.pdf)" << "d.txt.pdf" << QByteArray("%PDF-");
    }

    void savedFileTypeFollowsTheNameOrTheFilter()
    {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, magic);
        QVERIFY(openTable(20));
        QTemporaryDir out;
        kvel_test::ModalAnswerer answerer;
        QVERIFY(chartCommandsOf(*m_window).saveChartsAs(out.filePath(name), filter));
        QVERIFY(answerer.boxes().empty());
        QFile file(out.filePath(written));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith(magic));
        if (magic.startsWith("\x89PNG")) {
            QImage image;
            QVERIFY(image.loadFromData(bytes, "PNG"));
            QVERIFY(colourCount(image) > 16);
            keep(image, QStringLiteral("saved_charts.png"));
        } else if (magic.startsWith("<?xml")) {
            // Well-formed, and with the charts' texts in it.
            QXmlStreamReader xml(bytes);
            QString texts;
            while (!xml.atEnd())
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
                    texts += xml.readElementText();
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            QVERIFY2(texts.contains(QStringLiteral("Строка таблицы")), qPrintable(texts));
        }
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 1);
    }

    void aFileThatCannotBeWrittenIsReported()
    {
        QVERIFY(openTable(4));
        kvel_test::ModalAnswerer answerer;
        QVERIFY(!chartCommandsOf(*m_window).saveChartsAs(m_dir.filePath(QStringLiteral("missing folder/x.png")), QString()));
        QCOMPARE(answerer.boxes().size(), std::size_t(1));
        QVERIFY(answerer.boxes().front().text.contains(QStringLiteral("Не удалось сохранить график")));
    }

    // Fifteen tests take three pages of the penetrometer report; the charts make a fourth.
    void reportWithChartsHasOneMorePage()
    {
        QVERIFY(openTable(15));
        (&shownGridOf(*m_window))->setCurrentRow(5);
        QCOMPARE(previewPages(), 3);
        const int without = (&reportOf(*m_window, "penetrometerReport"))->prepared().pageCount();
        QCOMPARE(without, 3);

        action("chartsInReportAction")->trigger();
        QCOMPARE(previewPages(), 4);
        const reports::PreparedReport& report = (&reportOf(*m_window, "penetrometerReport"))->prepared();
        QCOMPARE(report.pageCount(), without + 1);
        // Only the last page draws; every page counts it.
        for (int p = 0; p < report.pageCount(); ++p) {
            const reports::PreparedPage& page = report.pages[static_cast<std::size_t>(p)];
            QCOMPARE(page.drawing != nullptr, p == without);
            QVERIFY(std::any_of(page.cells.begin(), page.cells.end(), [&](const reports::PreparedCell& c) {
                return c.text == QStringLiteral("Стр. %1 из 4").arg(p + 1);
            }));
        }
        QCOMPARE(report.pages.back().cells.size(), std::size_t(1)); // the footer alone

        // The charts page as the preview paints it, at 96 dots to the inch.
        QImage page(QSize(1123, 794), QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            reports::paintPage(painter, report, without);
        }
        QVERIFY(colourCount(page) > 16);
        keep(page, QStringLiteral("report_charts_page.png"));

        // Printed at the printer's resolution, the page reads as the charts' texts.
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils (pdftotext) not installed");
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("report.pdf"));
        reports::writePdfFile(report, pdf);
        QProcess reader;
        reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("4"), QStringLiteral("-l"),
                                                   QStringLiteral("4"), pdf, QStringLiteral("-")});
        QVERIFY(reader.waitForFinished(30000));
        const QString text = QString::fromUtf8(reader.readAllStandardOutput());
        for (const QString& expected : {QStringLiteral("Усилия пенетрации, Н: N 6"), QStringLiteral("наиб. 4"),
                                        QStringLiteral("Строка таблицы"), QStringLiteral("Стр. 4 из 4")})
            QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" in:\n") + text));
        if (!qEnvironmentVariable("KVEL_CHART_SHOTS").isEmpty())
            QFile::copy(pdf, qEnvironmentVariable("KVEL_CHART_SHOTS") + QStringLiteral("/report_with_charts.pdf"));

        // Off again: the report is as before.
        action("chartsInReportAction")->trigger();
        QCOMPARE(previewPages(), 3);
    }
};

KVEL_WIDGET_TEST_MAIN(ChartCommandsTest)
#include "chart_commands_test.moc"

