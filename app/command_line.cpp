#include "app/command_line.h"

#include "app/archive_batch.h"
#include "app/error_text.h"
#include "app/unreadable_values.h"
#include "app/version.h"

#include "document/measurement_document.h"
#include "export/export_file.h"
#include "settings/program_settings.h"
#include "store/store_error.h"

#include <QCommandLineParser>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace app {
namespace {

bool russian()
{
    return QLocale::system().language() == QLocale::Russian;
}

QString tr(const char* russianText, const char* englishText)
{
    return russian() ? QString::fromUtf8(russianText) : QString::fromUtf8(englishText);
}

QString helpText()
{
    return tr("Использование:\n"
              "  kvel [ТАБЛИЦА.db]                                    открыть программу (и таблицу)\n"
              "  kvel --export-xls ТАБЛИЦА.db ФАЙЛ.xls [--tab 1|2]    экспорт в Excel без окна\n"
              "  kvel --export-xlsx ТАБЛИЦА.db ФАЙЛ.xlsx [--tab 1|2]  экспорт в Excel 2007+ без окна\n"
              "  kvel --export-csv ТАБЛИЦА.db ФАЙЛ.csv [--tab 1|2]    экспорт в CSV без окна\n"
              "  kvel --print-pdf ТАБЛИЦА.db ФАЙЛ.pdf [--tab 1|2]     отчёт в PDF без окна\n"
              "  kvel --archive-import ПУТЬ... [--archive АРХИВ] [--object ОБЪЕКТ] [--section УЧАСТОК]\n"
              "       [--layer СЛОЙ] [--operator ОПЕРАТОР]            добавить таблицы (и папки) в архив\n"
              "  kvel --archive-export ФАЙЛ.xls|.xlsx|.csv [--archive АРХИВ] [--from ГГГГ-ММ-ДД]\n"
              "       [--to ГГГГ-ММ-ДД] [--serial N] [--tab 1|2] [--object ОБЪЕКТ] [--section УЧАСТОК]\n"
              "       [--layer СЛОЙ]                                  испытания архива в файл\n"
              "  kvel --help                                          эта справка\n"
              "  kvel --version                                       версия программы\n\n"
              "--tab 1 — испытания пенетрометра (вкладка «ВРТ-ТК5»), --tab 2 — испытания пресса\n"
              "(«ЛД - ТК5»). Без --tab берётся вкладка, которую показало бы окно (в архиве — 1).\n"
              "АРХИВ — файл архива; без --archive — архив пользователя.\n"
              "Код выхода: 0 — готово, 1 — ошибка (файл не записан), 2 — неверная команда.\n",
              "Usage:\n"
              "  kvel [TABLE.db]                                   start the program (and open the table)\n"
              "  kvel --export-xls TABLE.db OUT.xls [--tab 1|2]    export to Excel without a window\n"
              "  kvel --export-xlsx TABLE.db OUT.xlsx [--tab 1|2]  export to Excel 2007+ without a window\n"
              "  kvel --export-csv TABLE.db OUT.csv [--tab 1|2]    export to CSV without a window\n"
              "  kvel --print-pdf TABLE.db OUT.pdf [--tab 1|2]     the report as a PDF without a window\n"
              "  kvel --archive-import PATH... [--archive ARCHIVE] [--object NAME] [--section NAME]\n"
              "       [--layer NAME] [--operator NAME]             add tables (and folders) to the archive\n"
              "  kvel --archive-export OUT.xls|.xlsx|.csv [--archive ARCHIVE] [--from YYYY-MM-DD]\n"
              "       [--to YYYY-MM-DD] [--serial N] [--tab 1|2] [--object NAME] [--section NAME]\n"
              "       [--layer NAME]                               the archive's tests into a file\n"
              "  kvel --help                                       this help\n"
              "  kvel --version                                    the program's version\n\n"
              "--tab 1: the penetrometer tests (tab \"ВРТ-ТК5\"), --tab 2: the press tests\n"
              "(\"ЛД - ТК5\"). Without --tab, the tab the window would show (in the archive, 1).\n"
              "ARCHIVE is the archive's file; without --archive, the user's own archive.\n"
              "Exit status: 0 done, 1 failed (no file written), 2 wrong command line.\n");
}

// Opens the table as "Открыть" would, with the window's messages for what cannot be opened.
void openTable(document::MeasurementDocument& document, const QString& path)
{
    try {
        document.open(path);
    } catch (const store::StoreError& error) {
        throw store::StoreError(error.code(), openFailureText(error, path).toStdString());
    }
}

// The window's export and report, minus its dialogs: the same document operations and the
// same writers, with the limits and chart choices the user set in the window.
void exportRows(document::MeasurementDocument& document, const QString& out, table_export::ExportFormat format)
{
    // In file order, as the window's export writes them.
    document.unsortAll();
    table_export::exportTable(document.table(), out, format, document.limits());
}

// What is wrong with the command line, in the user's language (the parser's own texts are
// English).
QString parseErrorText(const QCommandLineParser& parser, const QStringList& arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString name = unknown.front();
        // As the user typed it: "-x", "--colour", "-colour".
        QString shown = QStringLiteral("--") + name;
        for (const QString& argument : arguments.mid(1)) {
            QString bare = argument.section(QLatin1Char('='), 0, 0);
            if (bare.startsWith(QLatin1Char('-')) && bare.mid(bare.startsWith(QLatin1String("--")) ? 2 : 1) == name) {
                shown = bare;
                break;
            }
        }
        return tr("Неизвестный параметр «%1».", "Unknown option \"%1\".").arg(shown);
    }
    // An option with a value, given last, without one.
    if (!arguments.isEmpty() && (arguments.back() == QLatin1String("--tab") || arguments.back() == QLatin1String("-tab")))
        return tr("После --tab нужен номер вкладки: 1 или 2.", "--tab needs a tab number: 1 or 2.");
    for (const char* name : {"archive", "object", "section", "layer", "operator", "from", "to", "serial"}) {
        const QString option = QStringLiteral("--") + QLatin1String(name);
        if (!arguments.isEmpty() && (arguments.back() == option || arguments.back() == option.mid(1)))
            return tr("После %1 нужно значение.", "%1 needs a value.").arg(option);
    }
    return tr("Неверная командная строка.", "Wrong command line.");
}

} // namespace

CommandLine runCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err,
                           const QStringList& undecodable, const PdfPrinter& printPdf)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption exportXls(QStringLiteral("export-xls"), QString());
    const QCommandLineOption exportXlsx(QStringLiteral("export-xlsx"), QString());
    const QCommandLineOption exportCsv(QStringLiteral("export-csv"), QString());
    const QCommandLineOption printPdfOption(QStringLiteral("print-pdf"), QString());
    const QCommandLineOption tab(QStringLiteral("tab"), QString(), QStringLiteral("1|2"));
    const QCommandLineOption archiveImport(QStringLiteral("archive-import"), QString());
    const QCommandLineOption archiveExport(QStringLiteral("archive-export"), QString());
    const QCommandLineOption archiveLocation(QStringLiteral("archive"), QString(), QStringLiteral("location"));
    const QCommandLineOption object(QStringLiteral("object"), QString(), QStringLiteral("name"));
    const QCommandLineOption section(QStringLiteral("section"), QString(), QStringLiteral("name"));
    const QCommandLineOption layer(QStringLiteral("layer"), QString(), QStringLiteral("name"));
    const QCommandLineOption operatorName(QStringLiteral("operator"), QString(), QStringLiteral("name"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("date"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("date"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("number"));
    parser.addOptions({help, version, exportXls, exportXlsx, exportCsv, printPdfOption, tab, archiveImport, archiveExport,
                       archiveLocation, object, section, layer, operatorName, from, to, serial});

    CommandLine result;
    // One line for every failure: what is wrong, and where help is.
    const auto wrong = [&](const QString& text) {
        err << text << " " << tr("Справка: kvel --help", "See: kvel --help") << "\n";
        result.exitStatus = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return wrong(parseErrorText(parser, arguments));
    if (parser.isSet(help)) {
        out << helpText();
        result.exitStatus = 0;
        return result;
    }
    if (parser.isSet(version)) {
        out << "kvel " << kProgramVersion << "\n";
        result.exitStatus = 0;
        return result;
    }
    const QStringList files = parser.positionalArguments();
    const int commands = int(parser.isSet(exportXls)) + int(parser.isSet(exportXlsx)) + int(parser.isSet(exportCsv))
        + int(parser.isSet(printPdfOption)) + int(parser.isSet(archiveImport)) + int(parser.isSet(archiveExport));
    const bool archiveWork = parser.isSet(archiveImport) || parser.isSet(archiveExport);
    // The archive's options, with the commands they belong to.
    if (!parser.isSet(archiveImport) && parser.isSet(operatorName))
        return wrong(tr("--operator задаётся вместе с --archive-import.", "--operator goes with --archive-import."));
    if (!parser.isSet(archiveExport)) {
        for (const QCommandLineOption* option : {&from, &to, &serial})
            if (parser.isSet(*option))
                return wrong(tr("--%1 задаётся вместе с --archive-export.", "--%1 goes with --archive-export.")
                                 .arg(option->names().front()));
    }
    if (!archiveWork) {
        for (const QCommandLineOption* option : {&archiveLocation, &object, &section, &layer})
            if (parser.isSet(*option))
                return wrong(tr("--%1 задаётся вместе с --archive-import или --archive-export.",
                                "--%1 goes with --archive-import or --archive-export.")
                                 .arg(option->names().front()));
    }
    if (parser.isSet(archiveImport) && parser.isSet(tab))
        return wrong(tr("--tab задаётся вместе с --export-xls, --export-xlsx, --export-csv, --print-pdf или "
                        "--archive-export.",
                        "--tab goes with --export-xls, --export-xlsx, --export-csv, --print-pdf or --archive-export."));
    if (commands == 1 && archiveWork) {
        if (parser.isSet(archiveLocation) && parser.value(archiveLocation).isEmpty())
            return wrong(tr("Не задано имя файла архива.", "The archive's name is empty."));
        QStringList names = files;
        if (parser.isSet(archiveLocation))
            names << parser.value(archiveLocation);
        for (const QString& name : names) {
            if (!undecodable.contains(name))
                continue;
            err << tr("Имя «%1» не в кодировке системы (UTF-8): файла под таким именем нет.",
                      "The name \"%1\" is not in the system's encoding (UTF-8): there is no file of that name.")
                       .arg(name)
                << "\n";
            result.exitStatus = 1;
            return result;
        }
        if (parser.isSet(archiveImport)) {
            if (files.isEmpty())
                return wrong(tr("Укажите таблицы или папки, которые добавить в архив.",
                                "Name the tables or folders to add to the archive."));
            archive::SiteAssignment site;
            if (parser.isSet(object))
                site.object = parser.value(object);
            if (parser.isSet(section))
                site.section = parser.value(section);
            if (parser.isSet(layer))
                site.layer = parser.value(layer);
            if (parser.isSet(operatorName))
                site.operatorName = parser.value(operatorName);
            result.exitStatus = importIntoArchive(files, parser.value(archiveLocation), site, out, err);
            return result;
        }
        if (files.size() != 1 || files[0].isEmpty())
            return wrong(tr("Нужен один файл, в который записать испытания архива.",
                            "One file is needed to write the archive's tests into."));
        archive::TestFilter filter;
        filter.kind = store::kPenetrometerKind;
        if (parser.isSet(tab)) {
            const QString value = parser.value(tab);
            if (value != QLatin1String("1") && value != QLatin1String("2"))
                return wrong(tr("--tab: 1 (пенетрометр) или 2 (пресс).", "--tab: 1 (penetrometer) or 2 (press)."));
            filter.kind = value == QLatin1String("1") ? store::kPenetrometerKind : store::kPressKind;
        }
        for (const auto& [option, into] : {std::pair{&from, &filter.from}, std::pair{&to, &filter.to}}) {
            if (!parser.isSet(*option))
                continue;
            const QDate day = QDate::fromString(parser.value(*option), Qt::ISODate);
            if (!day.isValid())
                return wrong(tr("--%1: дата в виде ГГГГ-ММ-ДД, например 2026-05-01.",
                                "--%1: a date as YYYY-MM-DD, e.g. 2026-05-01.")
                                 .arg(option->names().front()));
            *into = day;
        }
        if (parser.isSet(serial)) {
            bool ok = false;
            const double number = parser.value(serial).toDouble(&ok);
            if (!ok)
                return wrong(tr("--serial: заводской номер прибора, число.", "--serial: the instrument's serial number."));
            filter.serial = number;
        }
        if (parser.isSet(object))
            filter.object = parser.value(object);
        if (parser.isSet(section))
            filter.section = parser.value(section);
        if (parser.isSet(layer))
            filter.layer = parser.value(layer);
        result.exitStatus = exportFromArchive(files[0], parser.value(archiveLocation), filter, err);
        return result;
    }
    if (commands == 0) {
        if (parser.isSet(tab))
            return wrong(tr("--tab задаётся вместе с --export-xls, --export-xlsx, --export-csv или --print-pdf.",
                            "--tab goes with --export-xls, --export-xlsx, --export-csv or --print-pdf."));
        if (files.size() > 1)
            return wrong(tr("Откройте одну таблицу.", "Name one table to open."));
        result.tableToOpen = files.value(0);
        return result;
    }
    if (commands > 1)
        return wrong(tr("Укажите что-то одно: --export-xls, --export-xlsx, --export-csv, --print-pdf, "
                        "--archive-import или --archive-export.",
                        "Give one of --export-xls, --export-xlsx, --export-csv, --print-pdf, --archive-import and "
                        "--archive-export."));
    if (files.size() != 2)
        return wrong(tr("Нужны два файла: таблица и файл, который записать.",
                        "Two files are needed: the table and the file to write."));
    if (files[0].isEmpty())
        return wrong(tr("Не задано имя таблицы.", "The table's name is empty."));
    if (files[1].isEmpty())
        return wrong(tr("Не задано имя файла, в который записать.", "The name of the file to write is empty."));
    int kind = -1;
    if (parser.isSet(tab)) {
        const QString value = parser.value(tab);
        if (value != QLatin1String("1") && value != QLatin1String("2"))
            return wrong(tr("--tab: 1 (пенетрометр) или 2 (пресс).", "--tab: 1 (penetrometer) or 2 (press)."));
        kind = value == QLatin1String("1") ? store::kPenetrometerKind : store::kPressKind;
    }

    // A name whose bytes are not text in the system's encoding has lost them on the way in:
    // a file under the name Qt made of it would be another file.
    for (qsizetype i = 0; i < 2; ++i) {
        if (!undecodable.contains(files[i]))
            continue;
        err << (i == 0 ? tr("Имя таблицы «%1» не в кодировке системы (UTF-8): открыть её под таким именем нельзя.",
                            "The table's name \"%1\" is not in the system's encoding (UTF-8): it cannot be opened.")
                       : tr("Имя файла «%1» не в кодировке системы (UTF-8): записать файл под таким именем нельзя.",
                            "The name \"%1\" is not in the system's encoding (UTF-8): no file is written under it."))
                      .arg(files[i])
            << "\n";
        result.exitStatus = 1;
        return result;
    }
    try {
        document::MeasurementDocument document;
        openTable(document, files[0]);
        refuseUnreadableValues(document);
        // The limits the window marks by, as the user set them.
        document.setLimits(document::readLimits(*settings::open()));
        if (kind >= 0)
            document.showKind(kind);
        if (parser.isSet(exportXls))
            exportRows(document, files[1], table_export::ExportFormat::Xls);
        else if (parser.isSet(exportXlsx))
            exportRows(document, files[1], table_export::ExportFormat::Xlsx);
        else if (parser.isSet(exportCsv))
            exportRows(document, files[1], table_export::ExportFormat::Csv);
        else if (printPdf)
            printPdf(document, files[1]);
        else
            throw std::logic_error("--print-pdf without the report part of the program");
        result.exitStatus = 0;
    } catch (const std::exception& error) {
        // The window's message, on one line.
        err << errorText(error).replace(QLatin1Char('\n'), QLatin1Char(' ')) << "\n";
        result.exitStatus = 1;
    }
    return result;
}

// The window's command lines: no option, and no more than the one table to open ("--" ends
// the options, "-" alone is a name). Anything else is batch work, help or a mistake, which
// run without a window and never touch the channel to a running program.
bool opensWindow(int argc, const char* const* argv)
{
    int names = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (options && std::strcmp(argv[i], "--") == 0) {
            options = false;
            continue;
        }
        if (options && argv[i][0] == '-' && argv[i][1] != '\0')
            return false;
        ++names;
    }
    return names <= 1;
}

// The batch work that draws nothing (help, the exports, mistakes in our own options) needs
// no more than Qt's core, which starts in a fraction of the time. The report draws (fonts,
// pictures, the PDF writer), and an option we do not know may be one of Qt's own (-platform,
// -style), which only the whole of Qt takes: in doubt, the whole of Qt.
bool needsOnlyCore(int argc, const char* const* argv)
{
    static constexpr const char* kCoreOptions[] = {"h",        "help",     "v",        "version",        "export-xls",
                                                   "export-xlsx", "export-csv", "tab",    "archive-import", "archive-export",
                                                   "archive",  "object",   "section",  "layer",          "operator",
                                                   "from",     "to",       "serial"};
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--") == 0)
            break;
        if (option[0] != '-' || option[1] == '\0')
            continue;
        option += option[1] == '-' ? 2 : 1;
        const std::size_t length = std::strcspn(option, "=");
        const bool known = std::any_of(std::begin(kCoreOptions), std::end(kCoreOptions), [&](const char* name) {
            return std::strlen(name) == length && std::strncmp(name, option, length) == 0;
        });
        if (!known)
            return false;
    }
    return true;
}

QStringList undecodableArguments(int argc, const char* const* argv)
{
    QStringList out;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString decoded = QFile::decodeName(bytes);
        if (QFile::encodeName(decoded) != bytes)
            out << decoded;
    }
    return out;
}

} // namespace app
