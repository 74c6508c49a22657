// Preview, print and PDF from the main window: the report chosen by the shown tab and the
// device type, the preview window with its buttons, the PDF written from the menu, from the
// preview and instead of printing when no printer is installed.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "reports/prepared_report.h"
#include "reports/report_template.h"
#include "store/measurement_table.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTabWidget>
#include <QTemporaryDir>

#include <memory>

using namespace kvel_test;

using app::MainWindow;
using store::Field;

Q_DECLARE_METATYPE(QList<int>)

namespace {

struct Row {
    int kind;
    int devType;
    int serial;
};

// A table file holding the rows in that order, numbered from 1.
void writeTable(const QString& path, const QList<Row>& rows)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    int number = 1;
    for (const Row& row : rows) {
        table.table().append();
        table.setReal(Field::N, number++);
        table.setText(Field::DATE, QStringLiteral("01.02.2024"));
        table.setText(Field::TIME, QStringLiteral("08:00"));
        table.setInteger(Field::NB_TYPE, row.kind);
        table.setInteger(Field::DEV_TYPE, row.devType);
        table.setInteger(Field::SERIAL, row.serial);
        table.setReal(Field::P, 1234.5);
        table.table().post();
    }
    table.close();
}

// The title text of the report's first page.
QString titleOf(reports::ReportTemplate* report)
{
    if (!report || report->prepared().isEmpty())
        return {};
    return report->prepared().pages.front().cells.front().text;
}

// The pages of a PDF file, counted by their page objects.
int pdfPages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("%PDF-"))
        return -1;
    return static_cast<int>(bytes.count("/Type /Page") - bytes.count("/Type /Pages"));
}

} // namespace

class PrintCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> m_window;
    app::ProgramState m_state;
    QTemporaryDir m_dir;

    QString openTable(const QList<Row>& rows)
    {
        const QString path = m_dir.filePath(QStringLiteral("t%1.db").arg(++m_files));
        writeTable(path, rows);
        if (!openTableIn(*m_window, path))
            return {};
        return path;
    }
    int m_files = 0;

    QList<reports::ReportTemplate*> preparedReports()
    {
        QList<reports::ReportTemplate*> out;
        for (auto* report : {(&reportOf(*m_window, "penetrometerReport")), (&reportOf(*m_window, "pressReport")), (&reportOf(*m_window, "plateTestReport"))})
            if (!report->prepared().isEmpty())
                out << report;
        return out;
    }

private slots:
    void init()
    {
        kvel_test::clearProgramSettings();
        m_state = {};
        m_window = std::make_unique<MainWindow>(m_state);
        m_window->show();
    }

    void cleanup()
    {
        if (documentOf(*m_window).isOpen())
            tableCommandsOf(*m_window).closeTable();
        m_window.reset();
    }

    void commandsWithoutATableDoNothing()
    {
        kvel_test::ModalAnswerer answerer;
        printCommandsOf(*m_window).preview();
        printCommandsOf(*m_window).print();
        printCommandsOf(*m_window).print();
        QVERIFY(answerer.dialogs().empty());
        QVERIFY(answerer.boxes().empty());
        QVERIFY(preparedReports().isEmpty());
    }

    // The report of the shown tab and dev_type, prepared by the preview command.
    void previewChoosesTheReport_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("devTypeAfterOpen"); // -1: as Open set it from the first row
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("title");
        QTest::newRow("penetrometer") << 0 << -1 << "penetrometerReport" << "ВРТ-ТК5  № 501";
        QTest::newRow("plate test, opened") << 13 << -1 << "plateTestReport" << "ДРУ-ТК5  № 501";
        QTest::newRow("plate-test rows after a penetrometer download") << 13 << 4 << "penetrometerReport" << "ВРТ-ТК5  № 501";
        QTest::newRow("penetrometer rows after a plate-test download") << 0 << 13 << "plateTestReport" << "ДРУ-ТК5  № 501";
        QTest::newRow("press") << 1 << -1 << "pressReport" << "ЛД-ТК5  № 501";
        QTest::newRow("press, plate-test device") << 1 << 13 << "pressReport" << "ЛД-ТК5  № 501";
    }

    void previewChoosesTheReport()
    {
        QFETCH(int, kind);
        QFETCH(int, devTypeAfterOpen);
        QFETCH(QString, report);
        QFETCH(QString, title);
        // A plate-test table is a penetrometer table written by a type-13 instrument.
        const int rowKind = kind == 1 ? 1 : 0;
        const int devType = kind == 13 ? 13 : 4;
        QVERIFY(!openTable({{rowKind, devType, 501}, {rowKind, devType, 502}}).isEmpty());
        if (devTypeAfterOpen >= 0) {
            // A download that brought nothing new still says which instrument it came from.
            const std::uint8_t noRecords[2] = {0, 0};
            documentOf(*m_window).append({std::span(noRecords), static_cast<std::uint8_t>(devTypeAfterOpen), 501});
        }

        kvel_test::ModalAnswerer answerer;
        m_window->findChild<QAction*>("previewAction")->trigger();
        QCOMPARE(answerer.dialogs(), std::vector<QString>{QStringLiteral("ReportPreview")});
        const auto prepared = preparedReports();
        QCOMPARE(prepared.size(), 1);
        QCOMPARE(prepared.front()->objectName(), report);
        QCOMPARE(titleOf(prepared.front()), title);
        // The report walked the rows with a cursor of its own: the user's row stays.
        QCOMPARE(tableOf(*m_window).table().position(), 0);
    }

    void previewShowsThePagesWithZoomPrintAndClose()
    {
        QList<Row> rows;
        for (int i = 0; i < 15; ++i) // three pages of the penetrometer report
            rows << Row{0, 4, 700};
        QVERIFY(!openTable(rows).isEmpty());
        int shownPages = -1;
        bool sawZoom = false;
        bool printEnabled = true;
        connect((&reportOf(*m_window, "penetrometerReport")), &reports::ReportTemplate::previewOpened, this,
                [&](QPrintPreviewDialog* preview) {
                    QCOMPARE(preview->objectName(), QStringLiteral("ReportPreview"));
                    for (const char* caption : {"Zoom in", "Zoom out"}) {
                        const QString text = QCoreApplication::translate("QPrintPreviewDialog", caption);
                        for (QAction* action : preview->findChildren<QAction*>())
                            sawZoom = sawZoom || action->text() == text;
                    }
                    auto* print = preview->findChild<QAction*>("PreviewPrint");
                    printEnabled = print && print->isEnabled();
                    // Once the window runs, read what it shows, then close it with its button.
                    QTimer::singleShot(0, preview, [preview, &shownPages] {
                        shownPages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
                        preview->findChild<QAction*>("PreviewClose")->trigger();
                    });
                });
        printCommandsOf(*m_window).preview();
        QCOMPARE(shownPages, 3);
        QVERIFY(sawZoom);
        QCOMPARE(printEnabled, reports::ReportTemplate::printerInstalled());
    }

    // Without a printer "Печать" says so and offers the PDF; the menu's command and the
    // context menu's are the same action.
    void printWithoutAPrinterOffersThePdf_data()
    {
        QTest::addColumn<bool>("takesThePdf");
        QTest::newRow("no") << false;
        QTest::newRow("yes, a PDF") << true;
    }

    void printWithoutAPrinterOffersThePdf()
    {
        if (reports::ReportTemplate::printerInstalled())
            QSKIP("a printer is installed here: the print dialog would print for real");
        QFETCH(bool, takesThePdf);
        QVERIFY(!openTable({{1, 4, 900}}).isEmpty()); // a press table: its tab is in front
        const QString pdf = m_dir.filePath(QStringLiteral("protocol.pdf"));
        std::vector<Answer> answers = {Answer::press(takesThePdf ? QMessageBox::Yes : QMessageBox::No)};
        if (takesThePdf)
            answers.insert(answers.end(), {Answer::withFile(pdf), Answer::press(QMessageBox::Ok)});
        std::vector<Seen> seen;
        {
            Dialogs dialogs(answers);
            m_window->findChild<QAction*>("printAction")->trigger();
            seen = dialogs.seen();
        }
        QVERIFY(!seen.empty());
        QCOMPARE(seen[0].describe(), QStringLiteral("Печать: Принтер не установлен.\nСохранить отчёт в файл PDF?"));
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen.size(), std::size_t(takesThePdf ? 3 : 1));
        QCOMPARE(QFile::exists(pdf), takesThePdf);
        // It prepared the press report of the shown tab, as the preview would.
        const auto prepared = preparedReports();
        QCOMPARE(prepared.size(), 1);
        QCOMPARE(prepared.front()->objectName(), QStringLiteral("pressReport"));
        if (takesThePdf) {
            QCOMPARE(seen[1].name, QStringLiteral("saveFileDialog"));
            QCOMPARE(seen[1].nameFilter, QStringLiteral("Документ PDF (*.pdf)"));
            QCOMPARE(seen[2].describe(), QStringLiteral("Сохранить отчёт в PDF: Отчёт сохранён в файл protocol.pdf."));
            QCOMPARE(pdfPages(pdf), prepared.front()->prepared().pageCount());
        }
    }

    // «Файл → Сохранить отчёт в PDF…» writes the pages "Печать" would print; a name without an
    // extension gets ".pdf"; the table itself is never written over.
    void savePdfWritesThePrintedPages_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written"); // empty: nothing may be written
        QTest::newRow("a .pdf name") << "report.pdf" << "report.pdf";
        QTest::newRow("a name without extension") << "second" << "second.pdf";
        QTest::newRow("the table's own file") << "t1.db" << "";
    }

    void savePdfWritesThePrintedPages()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QList<Row> rows;
        for (int i = 0; i < 7; ++i) // two pages of the penetrometer report
            rows << Row{0, 4, 700};
        const QString table = openTable(rows);
        QVERIFY(!table.isEmpty());
        QFile before(table);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray tableBytes = before.readAll();
        before.close();

        std::vector<Answer> answers = {Answer::withFile(m_dir.filePath(typed))};
        if (written.isEmpty())
            answers.push_back(Answer::press(QMessageBox::Yes)); // "replace it?" of the dialog
        answers.push_back(Answer::press(QMessageBox::Ok));
        std::vector<Seen> seen;
        {
            Dialogs dialogs(answers);
            m_window->findChild<QAction*>("savePdfAction")->trigger();
            seen = dialogs.seen();
        }
        QVERIFY(!seen.empty());
        QCOMPARE(seen.front().name, QStringLiteral("saveFileDialog"));
        QFile after(table);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), tableBytes);
        if (written.isEmpty()) {
            QCOMPARE(seen.back().icon, QMessageBox::Critical);
            QVERIFY2(seen.back().text.contains(QStringLiteral("t1.db")), qPrintable(seen.back().text));
            return;
        }
        QCOMPARE(seen.back().describe(),
                 QStringLiteral("Сохранить отчёт в PDF: Отчёт сохранён в файл %1.").arg(written));
        const auto prepared = preparedReports();
        QCOMPARE(prepared.size(), 1);
        QCOMPARE(pdfPages(m_dir.filePath(written)), prepared.front()->prepared().pageCount());
        QCOMPARE(prepared.front()->prepared().pageCount(), 2);
    }

    // The preview opens maximised at the page's width, and its PDF button writes its pages.
    void previewSavesItsPagesAsPdf()
    {
        QList<Row> rows;
        for (int i = 0; i < 7; ++i)
            rows << Row{0, 4, 700};
        QVERIFY(!openTable(rows).isEmpty());
        const QString pdf = m_dir.filePath(QStringLiteral("from preview.pdf"));
        bool maximised = false;
        QPrintPreviewWidget::ZoomMode zoom = QPrintPreviewWidget::CustomZoom;
        std::vector<Seen> seen;
        connect(&reportOf(*m_window, "penetrometerReport"), &reports::ReportTemplate::previewOpened, this,
                [&](QPrintPreviewDialog* preview) {
                    QTimer::singleShot(0, preview, [&, preview] {
                        maximised = preview->windowState().testFlag(Qt::WindowMaximized);
                        zoom = preview->findChild<QPrintPreviewWidget*>()->zoomMode();
                        {
                            // Only the windows the button opens are answered.
                            Dialogs dialogs({Answer::withFile(pdf), Answer::press(QMessageBox::Ok)});
                            preview->findChild<QAction*>("PreviewPdf")->trigger();
                            // The preview itself may come up in front again before the
                            // answerer stops: it is not one of the button's windows.
                            for (const Seen& window : dialogs.seen())
                                if (window.name != QLatin1String("ReportPreview"))
                                    seen.push_back(window);
                        }
                        preview->findChild<QAction*>("PreviewClose")->trigger();
                    });
                });
        m_window->findChild<QAction*>("previewAction")->trigger();
        QVERIFY(maximised);
        QCOMPARE(zoom, QPrintPreviewWidget::FitToWidth);
        QCOMPARE(seen.size(), std::size_t(2));
        QCOMPARE(seen[0].name, QStringLiteral("saveFileDialog"));
        QCOMPARE(seen[1].describe(), QStringLiteral("Сохранить отчёт в PDF: Отчёт сохранён в файл from preview.pdf."));
        QCOMPARE(pdfPages(pdf), 2);
    }

    void printIsCtrlP()
    {
        QCOMPARE(m_window->findChild<QAction*>("printAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    }
};

KVEL_WIDGET_TEST_MAIN(PrintCommandsTest)
#include "print_commands_test.moc"

