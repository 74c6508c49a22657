#pragma once

// The inside of DbfTable, shared by its two source files: dbf_table.cpp (files, cursor,
// fields, writes) and dbf_index.cpp (index tags and the order of the view).

#include "store/byte_scan.h"
#include "store/dbf_file.h"
#include "store/dbf_table.h"
#include "store/numeric_parse.h"
#include "store/text_codec.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store::detail {

// A field without the blanks and NULs that pad it on the right. Text fields are mostly
// padding (a 100-character comment holds a few words), so the padding goes a word at a time.
KVEL_HOT_INLINE std::string_view rightTrimmed(std::string_view s)
{
    const char* begin = s.data();
    const char* end = begin + s.size();
    if constexpr (bytes8::kUsable) {
        for (; end - begin >= 8; end -= 8) {
            const std::uint64_t x = bytes8::load(end - 8);
            if (x == bytes8::kBlanks)
                continue;
            if (const std::uint64_t f = bytes8::filled(x)) {
                end -= 7 - bytes8::lastMarked(f);
                return std::string_view(begin, static_cast<std::size_t>(end - begin));
            }
        }
    }
    while (end != begin && (end[-1] == ' ' || end[-1] == '\0'))
        --end;
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

// The same on both sides.
KVEL_HOT_INLINE std::string_view trimmed(std::string_view s)
{
    s = rightTrimmed(s);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    return s;
}

inline bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

[[noreturn]] inline void fail(StoreError::Code code, const std::string& message)
{
    throw StoreError(code, message);
}

// A comparable form of one key of one record.
struct Key {
    int rank = 0;       // orders classes: empty numbers / unreadable dates before real ones
    double number = 0;
    std::string_view text;

    friend int compare(const Key& a, const Key& b)
    {
        if (a.rank != b.rank)
            return a.rank < b.rank ? -1 : 1;
        if (a.number != b.number)
            return a.number < b.number ? -1 : 1;
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
};

// The key of one field's stored bytes under a tag's kind of comparison.
Key makeKey(std::string_view raw, SortKey kind);

struct Tag {
    IndexTagDef def;
    std::vector<std::uint32_t> order; // live records, sorted
};

// Clears the table's flag for a production index and the per-field tag flags.
void dropIndexReference(std::string& header);

// The writes of one change to the table file. When one of them fails, undo() writes back
// what each overwrote, newest first, and cuts the file to its old length, so the file is
// where the change found it. The header is always the last write of a change, so it is the
// first put back: once the old count is in place, no count names a record being taken away.
class FileChange {
public:
    FileChange(dbf::LockedFile& file, std::uint64_t length) : m_file(file), m_length(length) {}

    // Writes `bytes` at `at`, where the file holds `old` (the part of the range that lies
    // inside the file's old length). The old bytes are kept before the write starts, so a
    // write that stops halfway is undone too.
    void write(std::uint64_t at, std::string_view bytes, std::string_view old)
    {
        m_saved.push_back({at, std::string(old)});
        if (at + bytes.size() > m_length)
            m_grew = true;
        m_file.writeAt(at, bytes);
    }

    // Throws when the file refuses to be put back.
    void undo()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            if (!it->old.empty())
                m_file.writeAt(it->at, it->old);
        if (m_grew)
            m_file.truncate(m_length);
    }

private:
    struct Saved {
        std::uint64_t at;
        std::string old;
    };
    dbf::LockedFile& m_file;
    std::uint64_t m_length;
    std::vector<Saved> m_saved;
    bool m_grew = false;
};

} // namespace store::detail

namespace store {

using detail::dropIndexReference;
using detail::fail;
using detail::FileChange;
using detail::Key;
using detail::readStoredNumber;
using detail::rightTrimmed;
using detail::Tag;

struct DbfTable::Impl {
    QString path;            // as the caller named it; messages use it
    QString realPath;        // symlinks resolved: the file a pack replaces
    dbf::LockedFile file;
    dbf::Layout layout;
    std::string header;      // the whole header as on disk
    ByteBuffer data;         // all records, recordLength bytes each
    bool tailClean = true;   // the file ends with the end mark right after the records
    const TextCodec* codec = &TextCodec::get(TextCodec::CodePage::Windows1251);
    bool active = false;
    bool readOnly = false;   // opened by openForReading: every change is refused

    struct {
        bool on = false;
        int field = -1;
        bool numeric = false;
        std::optional<double> number;
        std::string text; // encoded, trailing blanks trimmed
    } filter;

    std::vector<Tag> tags;
    int activeTag = -1;

    int pos = -1;
    bool eof = true;
    bool bof = true;

    State state = State::Browse;
    bool batch = false;
    std::optional<std::uint32_t> batchCurrent; // the row last written inside a batch
    std::string buffer;
    std::uint32_t editRecord = 0;

    std::uint32_t count() const { return layout.recordCount; }
    std::size_t recLen() const { return layout.recordLength; }
    // Callers pass a record number below count(), and the header check at open made every
    // field lie inside a record (the widths add up to the record length).
    std::string_view record(std::uint32_t rec) const
    {
        return std::string_view(data.data() + static_cast<std::size_t>(rec) * recLen(), recLen());
    }
    std::string_view field(std::string_view rec, int f) const
    {
        return std::string_view(rec.data() + layout.offsets[static_cast<std::size_t>(f)],
                                static_cast<std::size_t>(layout.fields[static_cast<std::size_t>(f)].width));
    }
    bool deleted(std::uint32_t rec) const { return data[rec * recLen()] == dbf::kDeletedRecord; }

    bool passes(std::string_view rec) const
    {
        if (rec[0] == dbf::kDeletedRecord)
            return false;
        if (!filter.on)
            return true;
        const std::string_view raw = field(rec, filter.field);
        if (filter.numeric) {
            const auto v = readStoredNumber(raw);
            return v.has_value() == filter.number.has_value() && (!v || *v == *filter.number);
        }
        return rightTrimmed(raw) == filter.text;
    }

    // Ordering: tags and the view (dbf_index.cpp).
    int compareRecords(const Tag& tag, std::string_view a, std::string_view b) const;
    // Records compare by key, then by record number, so equal keys keep file order.
    bool before(const Tag& tag, std::uint32_t a, std::string_view recA, std::uint32_t b,
                std::string_view recB) const;
    // Where `rec` (with the bytes `bytes`) stands or would stand in an ordered list.
    std::vector<std::uint32_t>::iterator slot(const Tag& tag, std::vector<std::uint32_t>& order,
                                              std::uint32_t rec, std::string_view bytes) const;
    void build(Tag& tag) const;
    // Tags and the view are kept in step one record at a time: a binary search and a move of
    // the tail, never a rebuild, so appending thousands of rows to a big table stays linear.
    // Both must be called while the record's bytes are the ones it was filed under.
    void removeFromTags(std::uint32_t rec);
    void insertIntoTags(std::uint32_t rec);
    std::vector<std::uint32_t>::iterator viewSlot(std::vector<std::uint32_t>& view, std::uint32_t rec) const;
    void removeFromView(std::vector<std::uint32_t>& view, std::uint32_t rec) const;
    void insertIntoView(std::vector<std::uint32_t>& view, std::uint32_t rec) const;
    // After the bytes of `rec`, which stands at `index` of `order`, have changed: leave it
    // where it is when its neighbours still frame it, which is the common case (renumbering
    // in file order, editing a field that is not the key); otherwise move it.
    void reposition(const Tag* tag, std::vector<std::uint32_t>& order, std::size_t index, std::uint32_t rec) const;
    void rebuildView(std::vector<std::uint32_t>& view) const;

    std::uint64_t dataEnd() const
    {
        return layout.headerLength + static_cast<std::uint64_t>(count()) * recLen();
    }

    // Whatever followed the counted records when the table was opened (a record cut short,
    // a second end mark, no mark at all) goes at the first write: the end mark goes back
    // right after the records and the file ends there. Until then the bytes are ignored.
    void cleanTail()
    {
        if (tailClean)
            return;
        const char mark = dbf::kEndOfFile;
        file.writeAt(dataEnd(), std::string_view(&mark, 1));
        file.truncate(dataEnd() + 1);
        tailClean = true;
    }

    // The header as it goes out with a change: the record count `records` and today's date.
    // The first write also drops the reference to a production index that this program
    // never keeps, which rewrites the field descriptors; otherwise the first 32 bytes do.
    std::string changedHeader(std::uint32_t records) const
    {
        std::string h = header;
        dbf::putU32(h, dbf::kRecordCount, records);
        dbf::stampUpdateDate(h);
        if (layout.productionIndex)
            dropIndexReference(h);
        return h;
    }

    void writeHeader(FileChange& change, const std::string& changed) const
    {
        const std::size_t n = layout.productionIndex ? header.size() : dbf::kFileHeaderSize;
        change.write(0, std::string_view(changed).substr(0, n), std::string_view(header).substr(0, n));
    }

    void takeHeader(std::string changed)
    {
        header = std::move(changed);
        layout.productionIndex = false;
    }

    void requireActive() const
    {
        if (!active)
            fail(StoreError::Code::NotActive, "Таблица не открыта");
    }
    void requireWritable() const
    {
        requireActive();
        if (readOnly)
            fail(StoreError::Code::BadState, "Таблица открыта только для чтения");
    }

    // NotActive, or NoSuchField. The test is inline, the error is not: field reads run
    // millions of times and must stay small.
    void requireField(int f) const
    {
        if (!active || f < 0 || f >= static_cast<int>(layout.fields.size())) [[unlikely]]
            refuseField(f);
    }
    [[noreturn]] void refuseField(int f) const;
    [[noreturn]] static void noSuchRecord(std::uint32_t rec);

    // The bytes of a field of a record by physical number, after checking the table, the
    // field number and the record number, each once.
    KVEL_HOT_INLINE std::string_view checkedField(std::uint32_t rec, int f) const
    {
        requireField(f);
        if (rec >= count()) [[unlikely]]
            noSuchRecord(rec);
        return field(record(rec), f);
    }

    // The bytes of a field of the row under the cursor of `view` (the edit buffer while
    // editing) into `raw`; false when the view is empty.
    KVEL_HOT_INLINE bool currentField(const std::vector<std::uint32_t>& view, int f, std::string_view& raw) const
    {
        requireField(f);
        if (state != State::Browse) {
            raw = field(buffer, f);
            return true;
        }
        if (pos < 0 || pos >= static_cast<int>(view.size()))
            return false;
        const std::uint32_t rec = view[static_cast<std::size_t>(pos)];
        if (rec >= count()) [[unlikely]]
            noSuchRecord(rec); // a view left over from inside a batch
        raw = field(record(rec), f);
        return true;
    }
};


} // namespace store
