// The archive's command line, run as a user runs it: the built program in a process of its
// own, with its data folder (and so the default archive) in a folder of the tests.

#include "program_run.h"

#include "archive/archive.h"
#include "store/measurement_table.h"
#include "tests/store/store_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kRussian = QStringLiteral("ru_RU.UTF-8");
using kvel_test::Run;
using kvel_test::runProgram;
using store::Field;
using store::test::Cells;

Cells row(double n, const QString& date, const QString& time, double serial, int kind, const QString& comment = {})
{
    return {{Field::N, n},          {Field::DATE, date},   {Field::TIME, time}, {Field::DEV_TYPE, 5.0},
            {Field::SERIAL, serial}, {Field::NB_TYPE, double(kind)}, {Field::P1, 100 + n}, {Field::P7, 0.96},
            {Field::COMMENT, comment}};
}

QStringList csvLines(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

class ArchiveCommandLine : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(ArchiveCommandLine, AFolderWithDamagedAndLockedTablesAddsTheRestAndSaysWhy)
{
    const QString folder = path(QStringLiteral("Полевые таблицы"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/май")));
    store::test::createTable(folder + QStringLiteral("/участок 1.db"),
                             {row(1, QStringLiteral("05.05.2026"), QStringLiteral("09:00"), 1234, 0)});
    store::test::createTable(folder + QStringLiteral("/май/участок 2.DB"),
                             {row(1, QStringLiteral("06.05.2026"), QStringLiteral("09:00"), 1234, 0),
                              row(2, QStringLiteral("06.05.2026"), QStringLiteral("09:10"), 1234, 1)});
    store::test::writeBytes(folder + QStringLiteral("/испорчена.db"), std::string("not a table at all"));
    const QString held = folder + QStringLiteral("/открыта.db");
    store::test::createTable(held, {row(1, QStringLiteral("07.05.2026"), QStringLiteral("09:00"), 1234, 0)});
    store::test::writeBytes(folder + QStringLiteral("/заметки.txt"), std::string("не таблица"));
    store::test::TableHeldByChild holder(held);
    ASSERT_TRUE(holder.holding());
    const std::string heldBytes = store::test::readBytes(held);

    const QString location = path(QStringLiteral("архив.sqlite"));
    const kvel_test::Run run = runProgram({QStringLiteral("--archive-import"), folder, QStringLiteral("--archive"), location,
                                QStringLiteral("--object"), QStringLiteral("М-4 «Дон»"), QStringLiteral("--layer"),
                                QStringLiteral("песок")}, kRussian);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QStringList errors = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(errors.size(), 2) << run.err.toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("испорчена.db")) && errors[0].contains(QStringLiteral("повреждена")))
        << errors[0].toStdString();
    EXPECT_TRUE(errors[1].contains(QStringLiteral("открыта.db")) && errors[1].contains(QStringLiteral("другой программой")))
        << errors[1].toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("таблиц: 2; испытаний в них: 3, новых: 3"))) << run.out.toStdString();
    EXPECT_EQ(store::test::readBytes(held), heldBytes);

    archive::Archive archive(location);
    QSqlQuery query(archive.database());
    ASSERT_TRUE(query.exec(QStringLiteral("SELECT COUNT(*), MIN(site_object), MAX(site_layer) FROM tests")));
    ASSERT_TRUE(query.next());
    EXPECT_EQ(query.value(0).toInt(), 3);
    EXPECT_EQ(query.value(1).toString(), QStringLiteral("М-4 «Дон»"));
    EXPECT_EQ(query.value(2).toString(), QStringLiteral("песок"));
}

TEST_F(ArchiveCommandLine, TheDefaultArchiveTakesTablesOnceAndExportsThemWithTheirSite)
{
    const QString table = path(QStringLiteral("объект.db"));
    store::test::createTable(table, {row(2, QStringLiteral("02.05.2026"), QStringLiteral("10:00"), 1234, 0, QStringLiteral("второй")),
                                     row(1, QStringLiteral("01.05.2026"), QStringLiteral("12:00"), 1234, 0, QStringLiteral("=1+2")),
                                     row(3, QStringLiteral("01.05.2026"), QStringLiteral("08:00"), 999, 0),
                                     row(4, QStringLiteral("01.05.2026"), QStringLiteral("09:00"), 1234, 1)});
    const QString location = kvel_test::programDataFolder() + QStringLiteral("/Valdrenor/KVEL/archive.sqlite");
    QFile::remove(location);
    kvel_test::Run run = runProgram({QStringLiteral("--archive-import"), table}, kRussian);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(QFile::exists(location));
    run = runProgram({QStringLiteral("--archive-import"), table}, kRussian);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("новых: 0, изменённых: 0"))) << run.out.toStdString();

    {
        archive::Archive archive(location);
        QSqlQuery ids(archive.database());
        ASSERT_TRUE(ids.exec(QStringLiteral("SELECT id FROM tests WHERE f_comment = 'второй'")) && ids.next());
        archive::SiteAssignment site;
        site.object = QStringLiteral("Обход");
        site.setChainage = true;
        site.chainage = 1235;
        site.setOffset = true;
        site.offset = -2.5;
        site.operatorName = QStringLiteral("Петров");
        archive.assignSite({ids.value(0).toLongLong()}, site, QStringLiteral("тест"));
    }

    const QString out = path(QStringLiteral("архив.csv"));
    run = runProgram({QStringLiteral("--archive-export"), out}, kRussian);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = csvLines(out);
    ASSERT_EQ(lines.size(), 4) << lines.join(QLatin1Char('\n')).toStdString(); // the press test is on tab 2
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(";Объект;Участок;Слой;ПК;Смещение, м;Оператор;Таблица")))
        << lines[0].toStdString();
    // In date and time order, whatever the table's order.
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("3;"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("1;"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(";'=1+2;"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(";Обход;;;ПК 12+35,0;-2,5;Петров;") + QDir::toNativeSeparators(table)))
        << lines[3].toStdString();

    // Filters: the instrument, the days, the kind, the site.
    const struct {
        QStringList options;
        int rows;
    } cases[] = {
        {{QStringLiteral("--serial"), QStringLiteral("999")}, 1},
        {{QStringLiteral("--from"), QStringLiteral("2026-05-02")}, 1},
        {{QStringLiteral("--to"), QStringLiteral("2026-05-01")}, 2},
        {{QStringLiteral("--tab"), QStringLiteral("2")}, 1},
        {{QStringLiteral("--object"), QStringLiteral("Обход")}, 1},
        {{QStringLiteral("--object"), QStringLiteral("Нет такого")}, 0},
    };
    for (const auto& c : cases) {
        run = runProgram(QStringList{QStringLiteral("--archive-export"), out} + c.options, kRussian);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(csvLines(out).size(), c.rows + 1) << c.options.join(QLatin1Char(' ')).toStdString();
    }
    QFile::remove(location);
}

TEST_F(ArchiveCommandLine, WrongCommandLinesSayWhatIsWrong)
{
    const struct {
        QStringList arguments;
        int exitCode;
        const char* message;
    } cases[] = {
        {{QStringLiteral("--archive-import")}, 2, "Укажите таблицы или папки"},
        {{QStringLiteral("--archive-export")}, 2, "Нужен один файл"},
        {{QStringLiteral("--archive-export"), QStringLiteral("x.csv"), QStringLiteral("--from"), QStringLiteral("2026-13-01")},
         2, "--from: дата в виде ГГГГ-ММ-ДД"},
        {{QStringLiteral("--archive-export"), QStringLiteral("x.csv"), QStringLiteral("--serial"), QStringLiteral("абв")},
         2, "--serial"},
        {{QStringLiteral("--export-csv"), QStringLiteral("t.db"), QStringLiteral("x.csv"), QStringLiteral("--object"),
          QStringLiteral("X")},
         2, "--object задаётся вместе с --archive-import или --archive-export"},
        {{QStringLiteral("--archive-export"), QStringLiteral("x.csv"), QStringLiteral("--operator"), QStringLiteral("X")},
         2, "--operator задаётся вместе с --archive-import"},
        {{QStringLiteral("--archive-import"), QStringLiteral("a.db"), QStringLiteral("--from"), QStringLiteral("2026-01-01")},
         2, "--from задаётся вместе с --archive-export"},
        {{QStringLiteral("--archive-import"), QStringLiteral("a.db"), QStringLiteral("--archive")}, 2, "После --archive нужно значение"},
        {{QStringLiteral("--archive-export"), QStringLiteral("x.pdf")}, 1, "экспорт пишет файлы .xls, .xlsx и .csv"},
        {{QStringLiteral("--archive-import"), QStringLiteral("нет такой папки")}, 1, "нет такого файла или папки"},
        {{QStringLiteral("--archive-import"), QStringLiteral("a.db"), QStringLiteral("--archive"), QStringLiteral(".")},
         1, "это папка, а не файл архива"},
    };
    for (const auto& c : cases) {
        const kvel_test::Run run = runProgram(c.arguments, kRussian);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message)))
            << c.arguments.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
    }
}

TEST_F(ArchiveCommandLine, ANewerArchiveIsRefused)
{
    const QString location = path(QStringLiteral("новее.sqlite"));
    {
        archive::Archive archive(location);
        QSqlQuery(archive.database()).exec(QStringLiteral("UPDATE archive_schema SET version = 99"));
    }
    const QString table = path(QStringLiteral("t.db"));
    store::test::createTable(table, {row(1, QStringLiteral("01.05.2026"), QStringLiteral("08:00"), 1, 0)});
    const kvel_test::Run run = runProgram({QStringLiteral("--archive-import"), table, QStringLiteral("--archive"), location}, kRussian);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("более новой версией программы"))) << run.err.toStdString();
}

TEST_F(ArchiveCommandLine, TheExportNeverReplacesTheArchiveItself)
{
    // An archive under a name an export would take.
    const QString location = path(QStringLiteral("архив.csv"));
    const QString table = path(QStringLiteral("t.db"));
    store::test::createTable(table, {row(1, QStringLiteral("01.05.2026"), QStringLiteral("08:00"), 1, 0)});
    ASSERT_EQ(runProgram({QStringLiteral("--archive-import"), table, QStringLiteral("--archive"), location}, kRussian).exitCode, 0);
    const std::string before = store::test::readBytes(location);
    const kvel_test::Run run =
        runProgram({QStringLiteral("--archive-export"), location, QStringLiteral("--archive"), location}, kRussian);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("это архив, из которого берутся испытания"))) << run.err.toStdString();
    EXPECT_TRUE(store::test::readBytes(location) == before) << "the archive changed";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
