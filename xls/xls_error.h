#pragma once

#include <stdexcept>
#include <string>

namespace xls {

// The one error type of the workbook layer (model and file writer). The shell turns any of
// these into the user's message box; callers that must tell cases apart look at code().
class XlsError : public std::runtime_error {
public:
    enum class Code {
        CreateFile,     // the compound document could not be created ("StgCreateDocFile error %d")
        CreateStream,   // the stream "Workbook" could not be created ("CreateStream error %d")
        Write,          // writing or closing the file failed part-way
        NotReplaceable, // the target is read-only or not a regular file (folder, device, pipe)
        TooManyRows,    // a range reaches beyond the last row a sheet can hold
        TooManyColumns, // a range reaches beyond the last column a sheet can hold
        BadRange,       // a range with negative or reversed bounds
        BadValue,       // a number the format cannot store (not finite)
        BadArgument,    // a null workbook or another argument no call can use
    };

    XlsError(Code code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    Code code() const noexcept { return m_code; }

private:
    Code m_code;
};

} // namespace xls
