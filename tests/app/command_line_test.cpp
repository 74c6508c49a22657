// The program's command line, run as a user runs it: the built program in a process of its
// own, offscreen, on table files made here. The files it writes are read back by independent
// readers (python3-xlrd, pdftotext); on failure it writes nothing and says on standard error
// what the window would have said.

#include "program_run.h"
#include "table_command_support.h"
#include "workbook_reader.h"

#include "export/csv_export.h"
#include "store/measurement_table.h"
#include "tests/store/store_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using store::Field;

namespace {

const QString kProgram = QStringLiteral(KVEL_PROGRAM);

using kvel_test::Run;
using kvel_test::runProgram;

QString pdfText(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help, English") << QStringList{"--help"} << "C.UTF-8" << "Usage:";
        QTest::newRow("help, Russian") << QStringList{"--help"} << "ru_RU.UTF-8" << "Использование:";
        QTest::newRow("short help") << QStringList{"-h"} << "C.UTF-8" << "--export-xls TABLE.db OUT.xls";
        QTest::newRow("version") << QStringList{"--version"} << "C.UTF-8" << "kvel 1.0.0.1";
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        const Run run = runProgram(arguments, language);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(expected), qPrintable(run.out));
    }

    void exportWritesWhatTheWindowWrites_data()
    {
        QTest::addColumn<QStringList>("tab");
        QTest::addColumn<QStringList>("numbers"); // column N of the records, in sheet order
        QTest::newRow("the tab the window shows: press rows exist") << QStringList{} << QStringList{"3"};
        QTest::newRow("--tab 1") << QStringList{"--tab", "1"} << QStringList{"1", "2"};
        QTest::newRow("--tab 2") << QStringList{"--tab", "2"} << QStringList{"3"};
    }
    void exportWritesWhatTheWindowWrites()
    {
        QFETCH(QStringList, tab);
        QFETCH(QStringList, numbers);
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const QString out = dir.filePath("site.xls");
        const Run run = runProgram(QStringList{"--export-xls", table, out} + tab);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFile::exists(out));
        if (!kvel_test::havePythonXlrd())
            QSKIP("python3-xlrd missing: the workbook is not read back");
        const auto book = kvel_test::readWithXlrd(out);
        QVERIFY2(book, "xlrd reads the workbook without a warning");
        const kvel_test::Grid& sheet = book->sheets.at(0);
        QCOMPARE(kvel_test::describe(sheet.at(0).at(0)), QStringLiteral("\"N\""));
        QStringList shown;
        for (std::size_t row = 1; row < sheet.size(); row += 5)
            shown << kvel_test::describe(sheet.at(row).at(0));
        QCOMPARE(shown, numbers);
    }

    void csvExportWritesWhatTheWindowWrites()
    {
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const QString out = dir.filePath("site.csv");
        const Run run = runProgram({"--export-csv", table, out, "--tab", "1"});
        QCOMPARE(run.exitCode, 0);
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        // The window's export of the penetrometer tab of the same table.
        store::MeasurementTable expected;
        expected.open(table);
        expected.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        QCOMPARE(bytes, table_export::csvBytes(expected));
        QCOMPARE(bytes.count("\r\n"), 3); // the headings and the two penetrometer records
    }

    void xlsxHoldsWhatTheXlsHolds()
    {
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const QString xls = dir.filePath("site.xls");
        const QString xlsx = dir.filePath("site.xlsx");
        QCOMPARE(runProgram({"--export-xls", table, xls}).exitCode, 0);
        QCOMPARE(runProgram({"--export-xlsx", table, xlsx}).exitCode, 0);
        QFile written(xlsx);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(4), QByteArray("PK\x03\x04", 4));
        if (!kvel_test::havePythonXlrd())
            QSKIP("python3-xlrd missing: the workbooks are not compared");
        // Every cell of both files, as xlrd and openpyxl read them, side by side.
        QProcess python;
        // The system's own Python, where the Debian readers are.
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, xlrd, openpyxl\n"
                                     "a = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                     "b = openpyxl.load_workbook(sys.argv[2]).worksheets[0]\n"
                                     "cells = lambda v: None if v in ('', None) else v\n"
                                     "left = [[cells(a.cell_value(r, c)) for c in range(a.ncols)] for r in range(a.nrows)]\n"
                                     "right = [[cells(v) for v in row][:a.ncols] for row in b.iter_rows(max_row=a.nrows, max_col=a.ncols, values_only=True)]\n"
                                     "print('same' if left == right else 'different %r %r' % (left, right))\n"),
                      xls, xlsx});
        QVERIFY(python.waitForFinished(60000));
        const QString said = QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()).trimmed();
        if (said.contains(QStringLiteral("No module named 'openpyxl'")))
            QSKIP("python3-openpyxl missing");
        QCOMPARE(said, QStringLiteral("same"));
    }

    void printWritesTheReport()
    {
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const QString out = dir.filePath("site.pdf");
        const Run run = runProgram({"--print-pdf", table, out, "--tab", "1"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFile::exists(out));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils (pdftotext) missing: the report is not read back");
        const QString text = pdfText(out);
        QVERIFY2(text.contains(QStringLiteral("ВРТ-ТК5")) && text.contains(QStringLiteral("4711")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("02.03.2024")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("03.03.2024")), "the press row is not on the first tab's report");
    }

    void printAddsTheChartsPageWhenTheWindowWould()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("poppler-utils (pdfinfo) missing: the pages are not counted");
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const auto pages = [&](const QString& out) {
            QProcess info;
            info.start(QStringLiteral("pdfinfo"), {out});
            info.waitForFinished();
            const QString text = QString::fromUtf8(info.readAllStandardOutput());
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(text);
            return m.hasMatch() ? m.captured(1).toInt() : -1;
        };
        const QString plain = dir.filePath("plain.pdf");
        const QString charts = dir.filePath("charts.pdf");
        kvel_test::writeProgramSettings({});
        QCOMPARE(runProgram({"--print-pdf", table, plain, "--tab", "1"}).exitCode, 0);
        kvel_test::writeProgramSettings({"Charts_in_report=true", "Charts_measure=E"});
        QCOMPARE(runProgram({"--print-pdf", table, charts, "--tab", "1"}).exitCode, 0);
        kvel_test::writeProgramSettings({});
        QVERIFY(pages(plain) > 0);
        QCOMPARE(pages(charts), pages(plain) + 1);
    }

    void failuresWriteNothing_data()
    {
        QTest::addColumn<QString>("what"); // which table the command gets
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such table") << "missing" << QStringList{} << 1 << "Файл «site.db» не найден.";
        QTest::newRow("not a table") << "junk" << QStringList{} << 1 << "База данных повреждена !";
        QTest::newRow("held by another program")
            << "held" << QStringList{} << 1 << "Таблица «site.db» открыта другой программой.";
        QTest::newRow("a report into a folder that is not there")
            << "table" << QStringList{"--print", "--into-missing-folder"} << 1 << "Не удалось записать файл";
        QTest::newRow("a workbook into a folder that is not there")
            << "table" << QStringList{"--into-missing-folder"} << 1 << "StgCreateDocFile error";
        QTest::newRow("a CSV file into a folder that is not there")
            << "table" << QStringList{"--csv", "--into-missing-folder"} << 1 << "Не удалось записать файл «out.csv»";
        QTest::newRow("two commands at once") << "table" << QStringList{"--export-csv"} << 2 << "--export-csv";
        QTest::newRow("a wrong tab") << "table" << QStringList{"--tab", "3"} << 2 << "--tab";
        QTest::newRow("an unknown option") << "table" << QStringList{"--colour"} << 2 << "colour";
    }
    void failuresWriteNothing()
    {
        QFETCH(QString, what);
        QFETCH(QStringList, extra);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        if (what == QLatin1String("junk"))
            store::test::writeBytes(table, "not a table");
        else if (what != QLatin1String("missing"))
            kvel_test::writeSmallTable(table);
        std::optional<store::test::TableHeldByChild> holder;
        if (what == QLatin1String("held")) {
            holder.emplace(table);
            QVERIFY(holder->holding());
        }
        const bool print = extra.removeAll(QStringLiteral("--print")) > 0;
        const bool csv = extra.removeAll(QStringLiteral("--csv")) > 0;
        const bool missingFolder = extra.removeAll(QStringLiteral("--into-missing-folder")) > 0;
        const QString name = QString::fromLatin1(print ? "out.pdf" : csv ? "out.csv" : "out.xls");
        const QString out = dir.filePath(missingFolder ? QStringLiteral("missing/") + name : name);
        const char* command = print ? "--print-pdf" : csv ? "--export-csv" : "--export-xls";
        const Run run = runProgram(QStringList{command, table, out} + extra);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        const QStringList left = QDir(dir.path()).entryList(QDir::Files);
        QVERIFY2(left == QStringList{"site.db"} || left.isEmpty(), qPrintable(left.join(' ')));
    }

    // Run by cron: no session's runtime folder, and a temporary folder of its own. Batch work
    // never touches the channel to a running program nor Qt's runtime folder: it makes
    // nothing in the temporary folder and says nothing on standard error unless it fails (a
    // wrong command line then says its one line).
    void batchWorkIsQuietWithoutRuntimeFolder_data()
    {
        QTest::addColumn<QStringList>("arguments"); // TABLE and OUT stand for the files
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "";
        QTest::newRow("--export-csv") << QStringList{"--export-csv", "TABLE", "OUT"} << 0 << "";
        QTest::newRow("--export-xls") << QStringList{"--export-xls", "TABLE", "OUT"} << 0 << "";
        QTest::newRow("--export-xlsx") << QStringList{"--export-xlsx", "TABLE", "OUT"} << 0 << "";
        QTest::newRow("--print-pdf") << QStringList{"--print-pdf", "TABLE", "OUT", "--tab", "1"} << 0 << "";
        QTest::newRow("an unknown option")
            << QStringList{"--colour"} << 2 << "Unknown option \"--colour\". See: kvel --help\n";
        QTest::newRow("two tables to open")
            << QStringList{"TABLE", "TABLE"} << 2 << "Name one table to open. See: kvel --help\n";
    }
    void batchWorkIsQuietWithoutRuntimeFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QTemporaryDir dir;
        QTemporaryDir temp; // the program's TMPDIR, empty
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        const QString out = dir.filePath("out");
        arguments.replaceInStrings(QRegularExpression("^TABLE$"), table);
        arguments.replaceInStrings(QRegularExpression("^OUT$"), out);
        const Run run = kvel_test::runProgramWith(arguments, [&temp](QProcessEnvironment& env) {
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            env.insert(QStringLiteral("TMPDIR"), temp.path());
        });
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.err, err);
        if (exitCode == 0 && arguments.contains(out))
            QVERIFY(QFileInfo(out).size() > 0);
        const QStringList made = QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                             | QDir::NoDotAndDotDot);
        QVERIFY2(made.isEmpty(), qPrintable(made.join(' ')));
    }

    // A value that is no number would be written as an empty cell that nobody sees: every
    // command refuses the table, names the record (from 1) and the field on one line, and
    // writes nothing. Numbers in exponent form are numbers and pass.
    void valuesThatAreNoNumberRefuseTheTable_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("outName");
        QTest::addColumn<QString>("stored"); // P7 of the second record
        QTest::addColumn<int>("exitCode");
        const QString commands[][2] = {{"--export-xls", "out.xls"}, {"--export-xlsx", "out.xlsx"},
                                       {"--export-csv", "out.csv"}, {"--print-pdf", "out.pdf"}};
        for (const auto& [command, out] : commands) {
            QTest::newRow(qPrintable(command + " nan")) << command << out << "nan" << 1;
            QTest::newRow(qPrintable(command + " 1e999")) << command << out << "1e999" << 1;
            QTest::newRow(qPrintable(command + " 1.5E+3")) << command << out << "1.5E+3" << 0;
        }
    }
    void valuesThatAreNoNumberRefuseTheTable()
    {
        QFETCH(QString, command);
        QFETCH(QString, outName);
        QFETCH(QString, stored);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        kvel_test::writeSmallTable(table);
        store::test::overwriteField(table, 1, "P7", stored.toStdString());
        const QString out = dir.filePath(outName);
        const Run run = runProgram({command, table, out, "--tab", "1"}, QStringLiteral("ru_RU.UTF-8"));
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QVERIFY2(!run.err.contains(QStringLiteral("нельзя прочитать")), qPrintable(run.err));
            QVERIFY(QFile::exists(out));
            return;
        }
        // One whole line of its own (the platform may say things of its own on other lines).
        const QString expected = QStringLiteral("Таблица «site.db»: запись 2, поле P7: значение «%1» нельзя "
                                                "прочитать как число; файл не записан.")
                                     .arg(stored);
        QVERIFY2(run.err.split(QLatin1Char('\n')).contains(expected), qPrintable(run.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"site.db"});
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
