// The program's command line, run as a user runs it: the built program in a process of its
// own, offscreen, on table files made here. The files it writes are read back by independent
// readers (python3-xlrd, pdftotext); on failure it writes nothing and says on standard error
// what the window would have said.

#include "table_command_support.h"
#include "workbook_reader.h"

#include "store/measurement_table.h"
#include "tests/store/store_test_support.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using store::Field;

namespace {

const QString kProgram = QStringLiteral(KVEL_PROGRAM);

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run kvel(const QStringList& arguments, const QString& language = QStringLiteral("C.UTF-8"))
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program picks offscreen for options itself
    env.insert(QStringLiteral("LANG"), language);
    env.insert(QStringLiteral("LC_ALL"), language);
    process.setProcessEnvironment(env);
    process.start(kProgram, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// Two penetrometer tests and one press test, numbered 1, 2 and 3.
void writeFixture(const QString& path)
{
    kvel_test::writeTable(path, {
        {{Field::N, 1.0}, {Field::NB_TYPE, 0}, {Field::DATE, QStringLiteral("01.03.2024")},
         {Field::TIME, QStringLiteral("08:00")}, {Field::SERIAL, 4711}, {Field::P, 105.5}, {Field::P1, 101.0}},
        {{Field::N, 2.0}, {Field::NB_TYPE, 0}, {Field::DATE, QStringLiteral("02.03.2024")},
         {Field::TIME, QStringLiteral("09:00")}, {Field::SERIAL, 4711}, {Field::P, 206.25}, {Field::P1, 202.0}},
        {{Field::N, 3.0}, {Field::NB_TYPE, 1}, {Field::DATE, QStringLiteral("03.03.2024")},
         {Field::TIME, QStringLiteral("10:00")}, {Field::SERIAL, 4711}, {Field::P, 307.0}},
    });
}

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
        const Run run = kvel(arguments, language);
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
        writeFixture(table);
        const QString out = dir.filePath("site.xls");
        const Run run = kvel(QStringList{"--export-xls", table, out} + tab);
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

    void printWritesTheReport()
    {
        QTemporaryDir dir;
        const QString table = dir.filePath("site.db");
        writeFixture(table);
        const QString out = dir.filePath("site.pdf");
        const Run run = kvel({"--print-pdf", table, out, "--tab", "1"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFile::exists(out));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils (pdftotext) missing: the report is not read back");
        const QString text = pdfText(out);
        QVERIFY2(text.contains(QStringLiteral("ВРТ-ТК5")) && text.contains(QStringLiteral("4711")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("02.03.2024")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("03.03.2024")), "the press row is not on the first tab's report");
    }

    void failuresWriteNothing_data()
    {
        QTest::addColumn<QString>("what"); // which table the command gets
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such table") << "missing" << QStringList{} << 1 << "База данных повреждена !";
        QTest::newRow("not a table") << "junk" << QStringList{} << 1 << "База данных повреждена !";
        QTest::newRow("held by another program")
            << "held" << QStringList{} << 1 << "Таблица «site.db» открыта другой программой.";
        QTest::newRow("a report into a folder that is not there")
            << "table" << QStringList{"--print", "--into-missing-folder"} << 1 << "Не удалось записать файл";
        QTest::newRow("a workbook into a folder that is not there")
            << "table" << QStringList{"--into-missing-folder"} << 1 << "StgCreateDocFile error";
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
            writeFixture(table);
        std::optional<store::test::TableHeldByChild> holder;
        if (what == QLatin1String("held")) {
            holder.emplace(table);
            QVERIFY(holder->holding());
        }
        const bool print = extra.removeAll(QStringLiteral("--print")) > 0;
        const bool missingFolder = extra.removeAll(QStringLiteral("--into-missing-folder")) > 0;
        const QString name = QString::fromLatin1(print ? "out.pdf" : "out.xls");
        const QString out = dir.filePath(missingFolder ? QStringLiteral("missing/") + name : name);
        const Run run = kvel(QStringList{print ? "--print-pdf" : "--export-xls", table, out} + extra);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        const QStringList left = QDir(dir.path()).entryList(QDir::Files);
        QVERIFY2(!left.contains("out.pdf") && !left.contains("out.xls") && !left.contains("out.pdf.part"),
                 qPrintable(left.join(' ')));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
