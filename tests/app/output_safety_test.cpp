// What the command line does with files a careless or unlucky user gives it: an output that
// is the input (directly, through a link, another table, a table held by a running copy),
// a disk that fills up, a writer killed half-way, names near the length limit or not in the
// system's encoding, and wrong command lines. Nothing the user had may be lost, no failure
// may be reported as success, and every failure is one Russian line naming the file.

#include "program_run.h"

#include "tests/store/store_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using kvel_test::Run;
using kvel_test::runProgram;

namespace {

const QString kRussian = QStringLiteral("ru_RU.UTF-8");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What the user had in the file an export is to replace.
bool writeOldFile(const QString& path)
{
    QFile old(path);
    return old.open(QIODevice::WriteOnly) && old.write("the old file") == 12;
}

// The names in a folder, hidden ones (our temporary files) included.
QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

// One line on standard error, and none of the noise of the libraries underneath.
bool oneLine(const QString& err)
{
    return err.count(QLatin1Char('\n')) == 1 && err.endsWith(QLatin1Char('\n')) && !err.contains(QLatin1String("[ERROR]"))
        && !err.contains(QLatin1String("QPainter"));
}

struct Format {
    const char* option;
    const char* suffix;
};
constexpr Format kFormats[] = {
    {"--export-xls", "xls"},
    {"--export-xlsx", "xlsx"},
    {"--export-csv", "csv"},
    {"--print-pdf", "pdf"},
};

// A file size limit for the program's process, with SIGXFSZ ignored (writes past it fail
// with EFBIG, as on a full disk) or at its default (the kernel kills the writer there).
kvel_test::ChildSetup fileSizeLimit(rlim_t bytes, bool killAtLimit)
{
    return [bytes, killAtLimit] {
        rlimit cap{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        ::signal(SIGXFSZ, killAtLimit ? SIG_DFL : SIG_IGN);
    };
}

} // namespace

class OutputSafetyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        kvel_test::writeProgramSettings({});
        // Font and other caches are made on the first run, not during the runs that count.
        QTemporaryDir dir;
        kvel_test::writeSmallTable(dir.filePath("warm.db"));
        QCOMPARE(runProgram({"--print-pdf", dir.filePath("warm.db"), dir.filePath("warm.pdf")}).exitCode, 0);
    }

    void outputNeverReplacesInput_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        for (const Format& format : kFormats) {
            const QString option = QString::fromLatin1(format.option);
            const auto row = [&](const char* what, const char* reason) {
                QTest::addRow("%s, %s", format.option, what)
                    << option << QString::fromLatin1(what) << QString::fromUtf8(reason);
            };
            row("the table itself", "это таблица, из которой берутся данные");
            row("a link to the table", "это таблица, из которой берутся данные");
            row("another name of the table", "это таблица, из которой берутся данные");
            row("another table", "это таблица dBase");
            row("a table a running copy holds", "открыт другой программой");
        }
    }
    void outputNeverReplacesInput()
    {
        QFETCH(QString, option);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString table = dir.filePath("t.db");
        kvel_test::writeSmallTable(table);
        QString out = table;
        if (target == QLatin1String("a link to the table")) {
            out = dir.filePath("out.xls");
            QVERIFY(QFile::link(table, out));
        } else if (target == QLatin1String("another name of the table")) {
            out = dir.filePath("same.csv");
            QCOMPARE(::link(QFile::encodeName(table).constData(), QFile::encodeName(out).constData()), 0);
        } else if (target != QLatin1String("the table itself")) {
            out = dir.filePath("other.db");
            kvel_test::writeLargeTable(out, 2);
        }
        std::optional<store::test::TableHeldByChild> holder;
        if (target == QLatin1String("a table a running copy holds")) {
            holder.emplace(out);
            QVERIFY(holder->holding());
        }
        const QByteArray tableBefore = readAll(table);
        const QByteArray outBefore = readAll(out);
        const QStringList namesBefore = namesIn(dir.path());

        const Run run = runProgram({option, table, out});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("«%1»").arg(QFileInfo(out).fileName())), qPrintable(run.err));
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QVERIFY2(oneLine(run.err), qPrintable(run.err));
        QCOMPARE(readAll(table), tableBefore);
        QCOMPARE(readAll(out), outBefore);
        QCOMPARE(namesIn(dir.path()), namesBefore);
        if (target == QLatin1String("a link to the table"))
            QVERIFY(QFileInfo(out).isSymLink());
    }

    // A disk that fills up half-way: the writes past the limit fail as on a full disk.
    void aFullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("suffix");
        for (const Format& format : kFormats)
            QTest::addRow("%s", format.option) << QString::fromLatin1(format.option) << QString::fromLatin1(format.suffix);
    }
    void aFullDiskKeepsTheOldFile()
    {
        QFETCH(QString, option);
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString table = dir.filePath("t.db");
        kvel_test::writeLargeTable(table, 40);
        const QString out = dir.filePath("out." + suffix);
        QVERIFY(writeOldFile(out));

        const Run run = runProgram({option, table, out}, kRussian, fileSizeLimit(600, false));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("«out.%1»").arg(suffix)), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("файл слишком велик")), qPrintable(run.err));
        QVERIFY2(oneLine(run.err), qPrintable(run.err));
        QCOMPARE(readAll(out), QByteArray("the old file"));
        QCOMPARE(namesIn(dir.path()), (QStringList{"out." + suffix, "t.db"}));
    }

    // Killed at points of each writer: the old file stays, and the next export into the
    // folder clears up what the killed one left.
    void aKilledExportLeavesNothingForEver_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("killedAt"); // bytes written
        for (const Format& format : kFormats)
            for (const int bytes : {0, 4096, 20000})
                QTest::addRow("%s after %d bytes", format.option, bytes)
                    << QString::fromLatin1(format.option) << QString::fromLatin1(format.suffix) << bytes;
    }
    void aKilledExportLeavesNothingForEver()
    {
        QFETCH(QString, option);
        QFETCH(QString, suffix);
        QFETCH(int, killedAt);
        QTemporaryDir dir;
        const QString table = dir.filePath("t.db");
        kvel_test::writeLargeTable(table, 2000);
        const QString out = dir.filePath("out." + suffix);
        QVERIFY(writeOldFile(out));

        const Run killed = runProgram({option, table, out}, kRussian, fileSizeLimit(rlim_t(killedAt), true));
        QCOMPARE(killed.signal, int(SIGXFSZ));
        QCOMPARE(readAll(out), QByteArray("the old file"));
        for (const QString& name : namesIn(dir.path()))
            QVERIFY2(!name.startsWith(QLatin1String(".gsf-save")), qPrintable(name));

        const Run next = runProgram({option, table, out});
        QCOMPARE(next.exitCode, 0);
        QVERIFY(readAll(out) != QByteArray("the old file"));
        QCOMPARE(namesIn(dir.path()), (QStringList{"out." + suffix, "t.db"}));
    }

    void namesAreWrittenExactly_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("name");
        for (const Format& format : kFormats) {
            const QString suffix = QLatin1Char('.') + QString::fromLatin1(format.suffix);
            const QString longest = QString(255 - suffix.size(), QLatin1Char('x')) + suffix;
            QTest::addRow("%s, 255 bytes", format.option) << QString::fromLatin1(format.option) << longest;
            QTest::addRow("%s, 250 bytes", format.option) << QString::fromLatin1(format.option) << longest.mid(5);
            QTest::addRow("%s, a line break", format.option)
                << QString::fromLatin1(format.option) << QStringLiteral("отчёт\nвторая строка") + suffix;
        }
    }
    void namesAreWrittenExactly()
    {
        QFETCH(QString, option);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString table = dir.filePath("t.db");
        kvel_test::writeSmallTable(table);
        const Run run = runProgram({option, table, dir.filePath(name)});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(namesIn(dir.path()), sorted({name, "t.db"}));
    }

    // A name that is not text in the system's encoding is refused, never written under a
    // name of Qt's making.
    void namesNotInTheSystemsEncodingAreRefused()
    {
        QTemporaryDir dir;
        const QByteArray table = QFile::encodeName(dir.filePath("t.db"));
        kvel_test::writeSmallTable(dir.filePath("t.db"));
        const QByteArray badOut = QFile::encodeName(dir.path()) + "/out_\xd3\xf7\xe0.csv";
        Run run = kvel_test::runProgramRaw({"--export-csv", table, badOut}, kRussian);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("не в кодировке системы")), qPrintable(run.err));
        QVERIFY2(oneLine(run.err), qPrintable(run.err));
        QCOMPARE(namesIn(dir.path()), QStringList{"t.db"});

        const QByteArray badTable = QFile::encodeName(dir.path()) + "/\xd3\xf7.db";
        QVERIFY(::link(table.constData(), badTable.constData()) == 0);
        run = kvel_test::runProgramRaw({"--export-csv", badTable, QFile::encodeName(dir.filePath("out.csv"))}, kRussian);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("не в кодировке системы")), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir.filePath("out.csv")));
    }

    void failuresSayWhatAndWhere_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("a missing table") << "missing" << 1 << "Файл «missing.db» не найден.";
        QTest::newRow("a folder") << "folder" << 1 << "«folder.db» — это папка, а не таблица.";
        QTest::newRow("a damaged table") << "damaged" << 1 << "База данных повреждена !";
        QTest::newRow("a workbook into a missing folder")
            << "xls into missing" << 1 << "«out.xls»: нет такого файла или папки (StgCreateDocFile error 2)";
        QTest::newRow("a name too long") << "long name" << 1 << "слишком длинное имя файла";
        QTest::newRow("an empty output name") << "empty out" << 2 << "Не задано имя файла, в который записать.";
        QTest::newRow("an unknown option") << "unknown option" << 2 << "Неизвестный параметр «--frobnicate».";
        QTest::newRow("--tab without a number") << "tab" << 2 << "После --tab нужен номер вкладки: 1 или 2.";
        if (::geteuid() == 0) {
            QTest::newRow("a table nobody may write") << "read-only as another user" << 1
                                                      << "Нет прав на запись в файл «t.db»";
            QTest::newRow("a workbook into a folder the user may not write")
                << "xls into denied" << 1 << "«out.xls»: нет доступа (StgCreateDocFile error 13)";
        }
    }
    void failuresSayWhatAndWhere()
    {
        QFETCH(QString, what);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString table = dir.filePath("t.db");
        kvel_test::writeSmallTable(table);
        QStringList arguments{"--export-xls", table, dir.filePath("out.xls")};
        kvel_test::ChildSetup setup;
        if (what == QLatin1String("missing")) {
            arguments[1] = dir.filePath("missing.db");
        } else if (what == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir("folder.db"));
            arguments[1] = dir.filePath("folder.db");
        } else if (what == QLatin1String("damaged")) {
            store::test::writeBytes(table, "not a table at all, not even close");
        } else if (what == QLatin1String("xls into missing")) {
            arguments[2] = dir.filePath("missing/out.xls");
        } else if (what == QLatin1String("long name")) {
            arguments = QStringList{"--export-csv", table, dir.filePath(QString(300, QLatin1Char('x')) + ".csv")};
        } else if (what == QLatin1String("empty out")) {
            arguments[2].clear();
        } else if (what == QLatin1String("unknown option")) {
            arguments << "--frobnicate";
        } else if (what == QLatin1String("tab")) {
            arguments << "--tab";
        } else {
            // Run as another user (nobody) who may read the table but write neither it nor
            // its folder.
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                          | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                          | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                                          | QFileDevice::ExeGroup));
            QVERIFY(QFile::setPermissions(table, QFileDevice::ReadOwner | QFileDevice::ReadGroup
                                                     | QFileDevice::ReadOther));
            if (what == QLatin1String("xls into denied"))
                QVERIFY(QFile::setPermissions(table, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                         | QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                         | QFileDevice::ReadOther | QFileDevice::WriteOther));
            setup = [] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(97);
            };
        }
        const QStringList before = namesIn(dir.path());
        const Run run = runProgram(arguments, kRussian, setup);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY2(oneLine(run.err), qPrintable(run.err));
        QCOMPARE(namesIn(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(OutputSafetyTest)
#include "output_safety_test.moc"
