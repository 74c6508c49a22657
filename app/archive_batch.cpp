#include "app/archive_batch.h"

#include "app/error_text.h"

#include "archive/archive_error.h"
#include "archive/archive_export.h"
#include "document/limits.h"
#include "settings/program_settings.h"
#include "store/store_error.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace app {

namespace {

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString locationOrDefault(const QString& location)
{
    return location.isEmpty() ? archive::Archive::defaultLocation() : location;
}

} // namespace

int importIntoArchive(const QStringList& paths, const QString& location, const archive::SiteAssignment& site,
                      QTextStream& out, QTextStream& err)
{
    QStringList missing;
    const QStringList files = archive::tableFiles(paths, &missing);
    int status = 0;
    for (const QString& path : missing) {
        err << QStringLiteral("«%1»: нет такого файла или папки.").arg(QDir::toNativeSeparators(path)) << "\n";
        status = 1;
    }
    int tables = 0;
    archive::AddResult total;
    try {
        archive::Archive archive(locationOrDefault(location));
        for (const QString& file : files) {
            try {
                const archive::AddResult added = archive.addTableFile(file, site);
                ++tables;
                total.tests += added.tests;
                total.added += added.added;
                total.updated += added.updated;
                total.gone += added.gone;
            } catch (const store::StoreError& error) {
                // This table only: the others are still added.
                err << QStringLiteral("«%1»: %2").arg(QDir::toNativeSeparators(file), oneLine(openFailureText(error, file)))
                    << "\n";
                status = 1;
            }
        }
    } catch (const std::exception& error) {
        // The archive itself refused: nothing more can be added.
        err << oneLine(errorText(error)) << "\n";
        return 1;
    }
    out << QStringLiteral("В архив добавлено таблиц: %1; испытаний в них: %2, новых: %3, изменённых: %4, "
                          "выбывших из таблиц: %5.")
               .arg(tables)
               .arg(total.tests)
               .arg(total.added)
               .arg(total.updated)
               .arg(total.gone)
        << "\n";
    return status;
}

int exportFromArchive(const QString& file, const QString& location, const archive::TestFilter& filter,
                      QTextStream& err)
{
    const auto format = table_export::exportFormatOf(file, table_export::ExportFormat::Xls);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("xlsx") && suffix != QLatin1String("csv")) {
        err << QStringLiteral("Файл «%1»: экспорт пишет файлы .xls, .xlsx и .csv.").arg(QDir::toNativeSeparators(file))
            << "\n";
        return 1;
    }
    try {
        archive::Archive archive(locationOrDefault(location));
        archive::exportTests(archive, filter, file, format, document::readLimits(*settings::open()));
        return 0;
    } catch (const std::exception& error) {
        err << oneLine(errorText(error)) << "\n";
        return 1;
    }
}

} // namespace app
