#include "xls/compound_file.h"

#include "xls/file_refusal.h"
#include "xls/xls_error.h"

#include "platform/file_io.h"
#include "platform/native_name.h"
#include "platform/replacement_file.h"

#include <QFileInfo>

#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

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

// The file could not be made: the file, the system's reason, and its number as the status.
XlsError createFailure(const QString& name, const platform::FileError& e)
{
    return XlsError(XlsError::Code::CreateFile, QStringLiteral("Не удалось создать файл «%1»: %2 (StgCreateDocFile error %3)")
                                                    .arg(name, QString::fromUtf8(e.reason().c_str()))
                                                    .arg(e.systemCode())
                                                    .toStdString());
}

} // namespace

// The compound document with its one stream, written atomically.
void writeCompoundFile(const QString& fileName, std::string_view workbookStream)
{
    if (fileName.isEmpty())
        throw XlsError(XlsError::Code::CreateFile,
                       "Не удалось создать файл: имя файла не задано (StgCreateDocFile error -1)");
    // A link is written through: the new file takes the place of the file the link points
    // to, and the link stays a link. The temporary file lies beside that real file, so that
    // the last step is a rename within one folder.
    const std::string target = platform::resolvedPath(platform::nativeName(fileName));
    // A read-only file, a folder, a device, a pipe or a file held open is refused before
    // anything is written: renaming over it would replace what the user (or the system, or
    // another program) keeps there.
    try {
        platform::requireExportTarget(target);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::NotReplaceable, refusalText(fileName, e));
    }
    const QString name = QFileInfo(fileName).fileName();
    std::optional<platform::ReplacementFile> temp;
    try {
        temp.emplace(target);
    } catch (const platform::FileError& e) {
        throw createFailure(name, e);
    }
    // The library writes through a stream over our own temporary file: it makes no file of
    // its own (which a killed export would leave behind), and our file stays locked while
    // it is written.
    std::FILE* stream = nullptr;
    try {
        stream = temp->file().stream("wb");
    } catch (const platform::FileError& e) {
        throw createFailure(name, e);
    }
    GObjectRef sink{gsf_output_stdio_new_FILE(temp->path().c_str(), stream, FALSE)};
    if (!sink.object) {
        std::fclose(stream);
        throw XlsError(XlsError::Code::CreateFile,
                       QStringLiteral("Не удалось создать файл «%1» (StgCreateDocFile error -1)").arg(name).toStdString());
    }

    int streamStatus = 0;
    auto* out = GSF_OUTPUT(sink.object);
    errno = 0;
    const bool ok = writeDocument(out, workbookStream, streamStatus);
    const int writeErrno = errno;
    if (!ok && !gsf_output_is_closed(out))
        gsf_output_set_error(out, 0, "incomplete");
    // Closing the document closes the stream under it too (and the stream's own descriptor;
    // our file stays open).
    const bool closed = gsf_output_is_closed(out) ? gsf_output_error(out) == nullptr : gsf_output_close(out);
    if (!ok || !closed) {
        if (streamStatus != 0)
            throw XlsError(XlsError::Code::CreateStream, "CreateStream error " + std::to_string(streamStatus));
        const QString reason = writeErrno != 0 ? QString::fromUtf8(platform::errnoReason(writeErrno).c_str())
                                               : QStringLiteral("запись не удалась");
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла «%1»: %2").arg(name, reason).toStdString());
    }
    try {
        temp->commit();
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла «%1»: %2")
                                                  .arg(name, QString::fromUtf8(e.reason().c_str()))
                                                  .toStdString());
    }
}

} // namespace xls
