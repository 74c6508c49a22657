#include "xls/compound_file.h"

#include "xls/file_refusal.h"
#include "xls/xls_error.h"

#include "platform/file_io.h"
#include "platform/native_name.h"
#include "platform/replacement_file.h"

#include <QFileInfo>

#ifdef _WIN32
#include <objbase.h>
#include <windows.h>
// The system's header makes CreateFile a macro; here it is only the name of an error code.
#undef CreateFile
#else
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

namespace xls {

namespace {

#ifndef _WIN32
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
#endif

// The file could not be made: the file, the system's reason, and its number as the status.
XlsError createFailure(const QString& name, const platform::FileError& e)
{
    return XlsError(XlsError::Code::CreateFile, QStringLiteral("Не удалось создать файл «%1»: %2 (StgCreateDocFile error %3)")
                                                    .arg(name, QString::fromUtf8(e.reason().c_str()))
                                                    .arg(e.systemCode())
                                                    .toStdString());
}

#ifdef _WIN32
// Releases a COM interface when the scope ends.
template <class Interface>
struct ComRef {
    Interface* object = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }
    void reset()
    {
        if (object)
            object->Release();
        object = nullptr;
    }
};

// COM on this thread for as long as the scope lasts. A thread that has COM already keeps it
// as it is (the same or the other apartment model: both do for structured storage).
struct ComScope {
    HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComScope() = default;
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope()
    {
        if (SUCCEEDED(result))
            ::CoUninitialize();
    }
};

// The system's words for a failed call's status.
QString systemText(HRESULT status)
{
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, DWORD(status), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = n && buffer ? QString::fromWCharArray(buffer, int(n)).trimmed() : QString();
    if (buffer)
        ::LocalFree(buffer);
    return text.isEmpty() ? QStringLiteral("ошибка 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0')) : text;
}

// Windows' own structured storage builds the document in memory (a compound file on an
// ILockBytes), and its bytes go into our temporary file like every other output: nothing
// but our own file is ever made on the disk, and it is replaced only when complete.
void writeWithStructuredStorage(platform::ReplacementFile& temp, std::string_view workbookStream, const QString& name)
{
    const ComScope com;
    ComRef<ILockBytes> memory;
    HRESULT status = ::CreateILockBytesOnHGlobal(nullptr, TRUE, &memory.object);
    ComRef<IStorage> storage;
    if (SUCCEEDED(status))
        status = ::StgCreateDocfileOnILockBytes(memory.object, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                                &storage.object);
    if (FAILED(status))
        throw XlsError(XlsError::Code::CreateFile, QStringLiteral("Не удалось создать файл «%1»: %2 (StgCreateDocFile error %3)")
                                                       .arg(name, systemText(status))
                                                       .arg(int(status))
                                                       .toStdString());
    ComRef<IStream> stream;
    status = storage.object->CreateStream(L"Workbook", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                          &stream.object);
    if (FAILED(status))
        throw XlsError(XlsError::Code::CreateStream, "CreateStream error " + std::to_string(int(status)));
    const auto writeFailed = [&](HRESULT why) {
        return XlsError(XlsError::Code::Write,
                        QStringLiteral("Ошибка записи файла «%1»: %2").arg(name, systemText(why)).toStdString());
    };
    for (std::size_t done = 0; done < workbookStream.size();) {
        const ULONG chunk = ULONG(std::min<std::size_t>(workbookStream.size() - done, std::size_t(1) << 30));
        ULONG written = 0;
        status = stream.object->Write(workbookStream.data() + done, chunk, &written);
        if (FAILED(status) || written == 0)
            throw writeFailed(FAILED(status) ? status : STG_E_MEDIUMFULL);
        done += written;
    }
    stream.reset();
    status = storage.object->Commit(STGC_DEFAULT);
    if (FAILED(status))
        throw writeFailed(status);
    storage.reset();

    STATSTG stat{};
    status = memory.object->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(status))
        throw writeFailed(status);
    std::string document(std::size_t(stat.cbSize.QuadPart), '\0');
    ULONG read = 0;
    ULARGE_INTEGER start{};
    status = memory.object->ReadAt(start, document.data(), ULONG(document.size()), &read);
    if (FAILED(status) || read != document.size())
        throw writeFailed(FAILED(status) ? status : STG_E_READFAULT);
    try {
        temp.file().writeAt(0, document);
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла «%1»: %2")
                                                  .arg(name, QString::fromUtf8(e.reason().c_str()))
                                                  .toStdString());
    }
}
#else
// The library writes through a stream over our own temporary file: it makes no file of its
// own (which a killed export would leave behind), and our file stays locked while it is written.
void writeWithGsf(platform::ReplacementFile& temp, std::string_view workbookStream, const QString& name)
{
    std::FILE* stream = nullptr;
    try {
        stream = temp.file().stream("wb");
    } catch (const platform::FileError& e) {
        throw createFailure(name, e);
    }
    GObjectRef sink{gsf_output_stdio_new_FILE(temp.path().c_str(), stream, FALSE)};
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
}
#endif

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
#ifdef _WIN32
    writeWithStructuredStorage(*temp, workbookStream, name);
#else
    writeWithGsf(*temp, workbookStream, name);
#endif
    try {
        temp->commit();
    } catch (const platform::FileError& e) {
        throw XlsError(XlsError::Code::Write, QStringLiteral("Ошибка записи файла «%1»: %2")
                                                  .arg(name, QString::fromUtf8(e.reason().c_str()))
                                                  .toStdString());
    }
}

} // namespace xls
