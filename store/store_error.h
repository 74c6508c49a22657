#pragma once

#include <stdexcept>
#include <string>

namespace store {

// The one error type of the store layer. The shell turns any of these into the user's
// message box; callers that must tell cases apart look at code().
class StoreError : public std::runtime_error {
public:
    enum class Code {
        NotATable,      // not a dBase file at all (too short, unknown version byte)
        Damaged,        // header, field list or record count contradict the file
        MissingField,   // a field the measurement table needs is absent or of the wrong type
        Locked,         // another program (or another copy of this one) holds the file
        Io,             // the operating system refused a read, write, rename or create
        NotActive,      // an operation that needs an open table was called on a closed one
        BadState,       // e.g. post without append/edit, a field write outside an edit
        NoSuchField,    // a field name that the table does not have
        ValueTooWide,   // a number or text that does not fit its field
        BadText,        // text that the table's code page cannot hold
        BadNumber,      // text given for a numeric field that is not a number
        BadExpression,  // a filter expression this engine does not understand
        NoSuchTag,      // an index tag that does not exist
        BadTag,         // a tag that cannot be built (no field, duplicate name)
        BadDate,        // a row's DATE and TIME do not read as a date and time
    };

    StoreError(Code code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    Code code() const noexcept { return m_code; }

private:
    Code m_code;
};

} // namespace store
