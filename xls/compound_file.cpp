#include "xls/compound_file.h"

#include "xls/file_refusal.h"
#include "xls/xls_error.h"

#include "platform/file_io.h"

#include <QFile>

#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>

#include <cstdio>
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

// The file name as the file layer and GLib take it: UTF-8 on Windows, where GLib's file
// functions expect UTF-8 (the ANSI code page would lose every character it cannot hold, and
// the export to a Cyrillic folder would fail); elsewhere the local 8-bit encoding, which is
// what the system's own calls take.
std::string nativeName(const QString& name)
{
#ifdef _WIN32
    return name.toUtf8().toStdString();
#else
    return QFile::encodeName(name).toStdString();
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
    // A link is written through: the new file takes the place of the file the link points
    // to, and the link stays a link. The temporary file lies beside that real file, so that
    // the last step is a rename within one folder.
    const std::string target = platform::resolvedPath(nativeName(fileName));
    // A read-only file, a folder, a device or a pipe is refused before anything is written:
    // renaming over it would replace what the user (or the system) keeps there.
    try {
        platform::requireReplaceable(target);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::NotReplaceable, refusalText(fileName, e));
    }
    const std::string tempName = platform::temporaryBeside(target);

    GError* error = nullptr;
    GObjectRef sink{gsf_output_stdio_new(tempName.c_str(), &error)};
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
    if (!ok || !closed) {
        platform::removeFile(tempName);
        if (streamStatus != 0)
            throw XlsError(XlsError::Code::CreateStream, "CreateStream error " + std::to_string(streamStatus));
        throw XlsError(XlsError::Code::Write,
                       QStringLiteral("Ошибка записи файла %1").arg(fileName).toStdString());
    }
    try {
        platform::commitReplacement(tempName, target);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла %1: %2")
                                                  .arg(fileName, QString::fromUtf8(e.reason().c_str()))
                                                  .toStdString());
    }
}

} // namespace xls
