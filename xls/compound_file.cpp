#include "xls/compound_file.h"

#include "xls/xls_error.h"

#include <QFile>
#include <QRandomGenerator>

#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>

#include <filesystem>
#include <system_error>

namespace xls {

namespace {

// Frees a GObject when the scope ends.
struct GObjectRef {
    gpointer object = nullptr;
    ~GObjectRef()
    {
        if (object)
            g_object_unref(object);
    }
};

// The status number of a failed call: the error's code, -1 when the library gave none.
int statusOf(const GError* error)
{
    return error ? error->code : -1;
}

// The file name as the file system takes it.
std::filesystem::path fsPath(const QString& name)
{
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// Writes the temporary document; true when every step succeeded.
bool writeDocument(GsfOutput* sink, std::string_view bytes, int& streamStatus)
{
    GObjectRef outfile{gsf_outfile_msole_new(sink)};
    GObjectRef stream{gsf_outfile_new_child(GSF_OUTFILE(outfile.object), "Workbook", FALSE)};
    if (!stream.object) {
        streamStatus = statusOf(gsf_output_error(GSF_OUTPUT(outfile.object)));
        gsf_output_close(GSF_OUTPUT(outfile.object));
        return false;
    }
    auto* out = GSF_OUTPUT(stream.object);
    const bool written = gsf_output_write(out, bytes.size(), reinterpret_cast<const guint8*>(bytes.data()));
    const bool streamClosed = gsf_output_close(out);
    const bool fileClosed = gsf_output_close(GSF_OUTPUT(outfile.object));
    return written && streamClosed && fileClosed;
}

} // namespace

// The compound document with its one stream, written atomically.
void writeCompoundFile(const QString& fileName, std::string_view workbookStream)
{
    if (fileName.isEmpty())
        throw XlsError(XlsError::Code::CreateFile, "StgCreateDocFile error -1");
    const QString tempName = QStringLiteral("%1.%2.tmp")
                                 .arg(fileName)
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    GError* error = nullptr;
    GObjectRef sink{gsf_output_stdio_new(QFile::encodeName(tempName).constData(), &error)};
    if (!sink.object) {
        const int status = statusOf(error);
        g_clear_error(&error);
        throw XlsError(XlsError::Code::CreateFile, "StgCreateDocFile error " + std::to_string(status));
    }

    int streamStatus = 0;
    auto* out = GSF_OUTPUT(sink.object);
    const bool ok = writeDocument(out, workbookStream, streamStatus);
    if (!ok && !gsf_output_is_closed(out))
        gsf_output_set_error(out, 0, "incomplete"); // closing then drops what was written
    // Closing the document closes the file under it too.
    const bool closed = gsf_output_is_closed(out) ? gsf_output_error(out) == nullptr : gsf_output_close(out);
    std::error_code ec;
    if (!ok || !closed) {
        std::filesystem::remove(fsPath(tempName), ec);
        if (streamStatus != 0)
            throw XlsError(XlsError::Code::CreateStream, "CreateStream error " + std::to_string(streamStatus));
        throw XlsError(XlsError::Code::Write,
                       QStringLiteral("Ошибка записи файла %1").arg(fileName).toStdString());
    }
    std::filesystem::rename(fsPath(tempName), fsPath(fileName), ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(fsPath(tempName), ignored);
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла %1: %2")
                                                  .arg(fileName, QString::fromStdString(ec.message()))
                                                  .toStdString());
    }
}

} // namespace xls
