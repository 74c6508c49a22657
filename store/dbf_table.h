#pragma once

#include "store/store_error.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class TextCodec;
namespace detail {
class FileChange;
}

// dBase field types this engine knows. Tables it creates use only N and C; the others are
// read (as their stored text) so that a table written by another program still opens.
enum class FieldType : char {
    Character = 'C',
    Numeric = 'N',
    Float = 'F',
    Date = 'D',
    Logical = 'L',
    Memo = 'M',
};

// N and F both hold a number written as text; this engine reads and writes them alike.
constexpr bool isNumeric(FieldType t) { return t == FieldType::Numeric || t == FieldType::Float; }

// Bytes to put at offset `at` of record `record` (0 is the deletion flag), in the table's own
// encoding: undoing and redoing a change of the table puts back what was there.
struct RecordPatch {
    std::uint32_t record = 0;
    int at = 0;
    std::string bytes;
    bool operator==(const RecordPatch&) const = default;
};

struct FieldDef {
    std::string name;  // ASCII, at most 10 characters; compared without regard to case
    FieldType type = FieldType::Character;
    int width = 1;
    int decimals = 0;
};

// How an index tag compares the keys of two records.
enum class SortKey {
    Text,         // stored bytes, trailing blanks ignored
    Number,       // numeric value; empty sorts before every number
    DayMonthYear, // "dd.mm.yyyy" as a calendar date; unreadable dates sort first, as text
};

struct IndexTagDef {
    std::string name;
    int field = -1;
    bool descending = false;
    SortKey key = SortKey::Text;
    int tieField = -1;          // optional second key (same direction), e.g. TIME after DATE
    SortKey tieKey = SortKey::Text;
};

// A numeric field whose text is no number (nor empty): its record, by physical number, and
// the field's index.
struct UnreadableNumber {
    std::uint32_t record = 0;
    int field = -1;
    bool operator==(const UnreadableNumber&) const = default;
};

// A dBase IV table held open exclusively. The records live in memory; every post, delete and
// pack goes to the file at once, so a process killed after a post loses nothing.
//
// Rows are seen through a view: the records that are not deleted and pass the filter, in the
// order of the active index tag (or file order). The cursor moves over that view. Records can
// also be read by their physical number, which is what the grid does for visible rows only.
class DbfTable {
public:
    enum class State { Browse, Edit, Insert };

    DbfTable();
    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    // Closes this table and takes the open table of `opened` in its place (file, lock,
    // rows), as open() would have opened it here: this table's filter applies. `opened` is
    // closed afterwards.
    void adopt(DbfTable& opened);
    DbfTable& operator=(const DbfTable&) = delete;

    // Writes a new empty table (replacing a file of that name). The table is not opened.
    // Version byte 0x03, language driver Windows-1251. A symbolic link is followed: the file
    // it points to is replaced and the link stays. A replaced file keeps its access rights;
    // a folder, a device, a pipe or a read-only file is refused (StoreError Io), never
    // replaced; a table held open elsewhere is refused with Locked. Until the new table takes
    // the name, an older file stays as it was.
    static void create(const QString& path, const std::vector<FieldDef>& fields);
    // Throws the error that create would give for a target it must not replace (read-only,
    // not a regular file, held open elsewhere), without touching the file: a command can ask
    // before it does work that would be lost.
    static void checkReplaceable(const QString& path);
    // Whether `path` holds a dBase table (its header reads as one), without locking it:
    // what a command must not overwrite with a file of another kind.
    static bool isTableFile(const QString& path) noexcept;

    // Opens exclusively; StoreError (NotATable, Damaged, Locked, Io) when it cannot.
    // Nothing is written to a file that is refused. The header's record count decides what
    // the table holds: bytes after the counted records (left by a write that failed or was
    // cut short) are ignored and cut off at the next write; a count that names more records
    // than the file holds is damage. Temporary files that a killed pack or create left
    // beside the table are removed.
    void open(const QString& path);
    // Opens for reading only, as a reader that must leave the file as it is: nothing is ever
    // written to it (every change is refused with BadState), no temporary file beside it is
    // removed, and other readers may read it meanwhile. A table that another opener holds for
    // writing (a copy of this program that has it open) is refused with Locked.
    void openForReading(const QString& path);
    bool isReadOnly() const noexcept;
    // Closes the file; the index tags go with it (this engine keeps no index file).
    void close() noexcept;
    // Closes the file and opens it again, as a save does, posting a pending edit first. The
    // filter, the index tags, the active tag and the current row stay as they were, as an
    // index file beside the table would keep them.
    void reopen();
    bool isActive() const noexcept;
    const QString& path() const noexcept;
    // The file's bytes as they stand on the disk (an edit not posted is not among them), read
    // through this table's own open: on Windows no other open may read a table that is open.
    // Empty while closed.
    std::string fileBytes() const;

    const std::vector<FieldDef>& fields() const noexcept;
    int fieldIndex(std::string_view name) const noexcept; // -1 when absent
    int requireField(std::string_view name) const;        // NoSuchField when absent
    std::uint32_t physicalCount() const noexcept;         // records in the file, deleted included
    bool isDeleted(std::uint32_t rec) const;
    bool refersToProductionIndex() const noexcept;        // header flag (cleared on first write)

    // Filter of the form FIELD=value ("NB_TYPE=0", "T='abc'"); empty shows every row.
    // The expression stays with the table object across close and open.
    void setFilter(const std::string& expression);
    const std::string& filter() const noexcept;
    void refresh(); // rebuilds the view; the cursor stays on its record when it still passes

    // The view.
    int recordCount() const noexcept; // exact number of rows passing the filter
    std::uint32_t recordAt(int position) const;
    int positionOf(std::uint32_t rec) const noexcept; // -1 when not in the view
    const std::vector<std::uint32_t>& view() const noexcept { return m_view; }
    // The rows of the view in file order, whatever sort is active: what an export writes.
    std::vector<std::uint32_t> viewInFileOrder() const;

    // The cursor.
    void first();
    void last();
    void next();
    void prior();
    void moveTo(int position);
    bool eof() const noexcept;
    bool bof() const noexcept;
    int position() const noexcept; // -1 when the view is empty
    std::optional<std::uint32_t> currentRecord() const noexcept;

    // Field access on the current row (the edit buffer while editing). An empty view reads
    // as empty fields.
    QString text(int field) const;
    std::optional<double> real(int field) const
    {
        double value;
        return readReal(field, value) ? std::optional<double>(value) : std::nullopt;
    }
    std::optional<std::int64_t> integer(int field) const; // rounded, halves away from zero;
                                                          // empty outside std::int64_t
    bool isEmpty(int field) const;

    // The same for any record by physical number.
    QString text(std::uint32_t rec, int field) const;
    std::optional<double> real(std::uint32_t rec, int field) const
    {
        double value;
        return readReal(rec, field, value) ? std::optional<double>(value) : std::nullopt;
    }
    std::optional<std::int64_t> integer(std::uint32_t rec, int field) const;
    bool isEmpty(std::uint32_t rec, int field) const;
    std::string_view rawField(std::uint32_t rec, int field) const; // stored bytes
    // What text() decodes: the stored bytes without their padding (trailing blanks, and
    // leading ones of a number). With codec(), the code page of the table's texts (from the
    // header's language driver), for a writer that converts the bytes itself rather than
    // through a QString per field.
    std::string_view storedText(std::uint32_t rec, int field) const;
    const TextCodec& codec() const noexcept;

    // What real() reads, without the optional: false when the field is empty or no number.
    // real() is this, inline: an optional<double> that comes back from a call goes through
    // memory in a way that costs more than reading the number.
    bool readReal(int field, double& value) const;
    bool readReal(std::uint32_t rec, int field, double& value) const;

    // Whether a numeric field holds a text that is neither a number nor empty ("nan",
    // "1.2.3"): real() reads it as empty, as it must to show and export the rest of the
    // table, and this tells the user's data from a blank. False for other field types.
    bool isUnreadableNumber(int field) const;
    bool isUnreadableNumber(std::uint32_t rec, int field) const;
    // Every such field of the records that are not deleted, in file order and field order
    // within a record. One pass over the records, looking only at numeric fields.
    std::vector<UnreadableNumber> unreadableNumbers() const;

    // Editing.
    State state() const noexcept;
    void edit();    // the current row
    void editRecord(std::uint32_t rec); // any live record by physical number; it becomes current
    void append();  // a blank new row; it joins the view when posted
    // Writes the record (with the end mark after a new one), then the header's record
    // count. When a write fails, the file is put back as it was and the error (StoreError
    // Io) goes on; the row stays in Append or Edit, not in the view, to be tried again or
    // cancelled.
    void post();
    void cancel() noexcept;
    void setText(int field, const QString& value);   // C: BadText / ValueTooWide; N: parsed
    void setReal(int field, double value);           // ValueTooWide when it does not fit
    void setInteger(int field, std::int64_t value);
    void clear(int field);                           // blank = empty
    void deleteRecord(); // marks the current row deleted (written at once) and drops it from view
    // The stored bytes of a record, its deletion flag first: what patches are made of.
    std::string_view recordBytes(std::uint32_t rec) const;
    // Puts bytes into records as they lie in the file, in one change: every patch is written
    // or, when a write fails, none (StoreError Io; the file is put back). A patch at offset 0
    // sets the deletion flag (' ' or '*'). The view, the tags and the cursor (which stays on
    // its record while that is shown) follow. A pending edit is posted first. Throws
    // StoreError (BadState) for a record or range outside the table, or a flag that is
    // neither, before anything is written.
    void patchRecords(const std::vector<RecordPatch>& patches);
    // Rewrites the file without deleted rows: a new file beside the table (the real file
    // when it was opened through a link) takes its name in one rename. A failure leaves the
    // table as it was and no temporary file behind.
    void pack();

    // Many writes in one go. Between the two calls each post still goes to the file at once,
    // but the tags and the view are left as they were and rebuilt once at the end, so that
    // renumbering a sorted view costs n log n instead of n moves of n rows. Inside a batch,
    // reach rows by record number (editRecord), not by position.
    void beginBatch();
    void endBatch();

    // Index tags (kept in memory; this engine writes no index file).
    void addIndex(const IndexTagDef& tag); // BadTag when the name exists or the field is invalid
    void deleteIndex(const std::string& name); // NoSuchTag when absent
    void setIndexName(const std::string& name); // empty = file order; NoSuchTag when absent
    const std::string& indexName() const noexcept;
    std::vector<std::string> tagNames() const;
    void regenerateIndexes();

private:
    void postPending();
    // open() and openForReading().
    void openAs(const QString& path, bool readOnly);
    // Runs the writes of one change. When one fails, the file is put back as it was (length,
    // end mark, count) before the error goes on; when even that fails, the table is read
    // again from what the file now holds, so memory never claims rows the file lacks.
    void applyToFile(const std::function<void(detail::FileChange&)>& writes);
    void recoverFromFile() noexcept;
    // The view of a table just opened: the kept filter, file order, the first row.
    void showOpened();

    struct Impl;
    std::unique_ptr<Impl> d;
    std::vector<std::uint32_t> m_view; // kept here so view() stays inline and cheap
    std::string m_filter;              // survives close and open
};

// Formats a number the way a dBase N field stores it: right-aligned in `width` characters
// with exactly `decimals` decimals and '.' as the separator. -0 is written as 0. Returns
// nullopt when the number does not fit, or is not finite.
std::optional<std::string> formatNumeric(double value, int width, int decimals);

// Reads a stored numeric field. Blank gives nullopt; a comma is accepted as the separator,
// and an exponent ("1.5E+3"). Anything else that is not a finite number also gives nullopt;
// DbfTable::isUnreadableNumber tells the two apart.
std::optional<double> parseNumeric(std::string_view stored);

} // namespace store
