#include "store/dbf_table.h"

#include "store/dbf_file.h"
#include "store/text_codec.h"

#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace store {

namespace {

std::string_view trimmed(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view rightTrimmed(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

bool isNumericType(FieldType t) { return t == FieldType::Numeric || t == FieldType::Float; }

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

[[noreturn]] void fail(StoreError::Code code, const std::string& message)
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

// dd.mm.yyyy -> yyyymmdd. Only the digits matter: an impossible day such as 31.02 still
// orders by its numbers, so no record of the instrument is ever unsortable.
std::optional<double> dayMonthYear(std::string_view s)
{
    s = trimmed(s);
    if (s.size() != 10 || s[2] != '.' || s[5] != '.')
        return std::nullopt;
    int parts[3] = {};
    const std::string_view pieces[3] = {s.substr(0, 2), s.substr(3, 2), s.substr(6, 4)};
    for (int i = 0; i < 3; ++i) {
        const auto [p, ec] = std::from_chars(pieces[i].data(), pieces[i].data() + pieces[i].size(), parts[i]);
        if (ec != std::errc() || p != pieces[i].data() + pieces[i].size())
            return std::nullopt;
    }
    return parts[2] * 10000.0 + parts[1] * 100.0 + parts[0];
}

Key makeKey(std::string_view raw, SortKey kind)
{
    Key k;
    switch (kind) {
    case SortKey::Number:
        if (auto v = parseNumeric(raw)) {
            k.rank = 1;
            k.number = *v;
        }
        break;
    case SortKey::DayMonthYear:
        if (auto v = dayMonthYear(raw)) {
            k.rank = 1;
            k.number = *v;
        } else {
            k.text = rightTrimmed(raw);
        }
        break;
    case SortKey::Text:
        k.text = rightTrimmed(raw);
        break;
    }
    return k;
}

struct Tag {
    IndexTagDef def;
    std::vector<std::uint32_t> order; // live records, sorted
};

// Clears the table's flag for a production index and the per-field tag flags: this program
// keeps no index file, and a header that names one would send other programs looking for it.
void dropIndexReference(std::string& header)
{
    header[dbf::kProductionIndex] = 0;
    for (std::size_t at = dbf::kFileHeaderSize; at + dbf::kDescriptorSize <= header.size();
         at += dbf::kDescriptorSize) {
        if (header[at] == dbf::kHeaderTerminator)
            break;
        header[at + dbf::kFieldIndexFlag] = 0;
    }
}

} // namespace

std::optional<std::string> formatNumeric(double value, int width, int decimals)
{
    if (!std::isfinite(value) || width <= 0 || decimals < 0)
        return std::nullopt;
    if (value == 0)
        value = 0; // no "-0"
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return std::nullopt;
    std::string_view text(buf, static_cast<std::size_t>(end - buf));
    // A tiny negative number rounds to "-0.000": store it as zero.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string_view::npos)
        text.remove_prefix(1);
    if (static_cast<int>(text.size()) > width)
        return std::nullopt;
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + std::string(text);
}

std::optional<double> parseNumeric(std::string_view stored)
{
    std::string_view s = trimmed(stored);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty() || s.size() > 64)
        return std::nullopt;
    char buf[65];
    std::copy(s.begin(), s.end(), buf);
    std::replace(buf, buf + s.size(), ',', '.');
    double v = 0;
    const auto [p, ec] = std::from_chars(buf, buf + s.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || p != buf + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v == 0 ? 0.0 : v;
}

// ---- the table ------------------------------------------------------------------------------

struct DbfTable::Impl {
    QString path;
    dbf::LockedFile file;
    dbf::Layout layout;
    std::string header;      // the whole header as on disk
    std::string data;        // all records, recordLength bytes each
    const TextCodec* codec = &TextCodec::get(TextCodec::CodePage::Windows1251);
    bool active = false;

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
    std::string_view record(std::uint32_t rec) const
    {
        return std::string_view(data).substr(rec * recLen(), recLen());
    }
    std::string_view field(std::string_view rec, int f) const
    {
        return rec.substr(static_cast<std::size_t>(layout.offsets[static_cast<std::size_t>(f)]),
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
            const auto v = parseNumeric(raw);
            return v.has_value() == filter.number.has_value() && (!v || *v == *filter.number);
        }
        return rightTrimmed(raw) == filter.text;
    }

    int compareRecords(const Tag& tag, std::string_view a, std::string_view b) const
    {
        const IndexTagDef& d = tag.def;
        int c = compare(makeKey(field(a, d.field), d.key), makeKey(field(b, d.field), d.key));
        if (c == 0 && d.tieField >= 0)
            c = compare(makeKey(field(a, d.tieField), d.tieKey), makeKey(field(b, d.tieField), d.tieKey));
        return d.descending ? -c : c;
    }

    // Records compare by key, then by record number, so equal keys keep file order.
    bool before(const Tag& tag, std::uint32_t a, std::string_view recA, std::uint32_t b,
                std::string_view recB) const
    {
        const int c = compareRecords(tag, recA, recB);
        return c != 0 ? c < 0 : a < b;
    }

    // Where `rec` (with the bytes `bytes`) stands or would stand in an ordered list.
    std::vector<std::uint32_t>::iterator slot(const Tag& tag, std::vector<std::uint32_t>& order,
                                              std::uint32_t rec, std::string_view bytes) const
    {
        return std::partition_point(order.begin(), order.end(), [&](std::uint32_t other) {
            return before(tag, other, record(other), rec, bytes);
        });
    }

    void build(Tag& tag) const
    {
        struct Entry {
            Key k1, k2;
            std::uint32_t rec;
        };
        std::vector<Entry> entries;
        entries.reserve(count());
        const IndexTagDef& d = tag.def;
        for (std::uint32_t r = 0; r < count(); ++r) {
            if (deleted(r))
                continue;
            const std::string_view rec = record(r);
            Entry e{makeKey(field(rec, d.field), d.key), {}, r};
            if (d.tieField >= 0)
                e.k2 = makeKey(field(rec, d.tieField), d.tieKey);
            entries.push_back(e);
        }
        const int sign = d.descending ? -1 : 1;
        std::sort(entries.begin(), entries.end(), [sign](const Entry& a, const Entry& b) {
            int c = compare(a.k1, b.k1);
            if (c == 0)
                c = compare(a.k2, b.k2);
            return c != 0 ? sign * c < 0 : a.rec < b.rec;
        });
        tag.order.clear();
        tag.order.reserve(entries.size());
        for (const Entry& e : entries)
            tag.order.push_back(e.rec);
    }

    // Tags and the view are kept in step one record at a time: a binary search and a move of
    // the tail, never a rebuild, so appending thousands of rows to a big table stays linear.
    // Both must be called while the record's bytes are the ones it was filed under.
    void removeFromTags(std::uint32_t rec)
    {
        const std::string_view bytes = record(rec);
        for (Tag& tag : tags) {
            const auto it = slot(tag, tag.order, rec, bytes);
            if (it != tag.order.end() && *it == rec)
                tag.order.erase(it);
        }
    }

    void insertIntoTags(std::uint32_t rec)
    {
        const std::string_view bytes = record(rec);
        for (Tag& tag : tags)
            tag.order.insert(slot(tag, tag.order, rec, bytes), rec);
    }

    std::vector<std::uint32_t>::iterator viewSlot(std::vector<std::uint32_t>& view, std::uint32_t rec) const
    {
        if (activeTag < 0)
            return std::lower_bound(view.begin(), view.end(), rec);
        const Tag& tag = tags[static_cast<std::size_t>(activeTag)];
        return slot(tag, view, rec, record(rec));
    }

    void removeFromView(std::vector<std::uint32_t>& view, std::uint32_t rec) const
    {
        const auto it = viewSlot(view, rec);
        if (it != view.end() && *it == rec)
            view.erase(it);
    }

    void insertIntoView(std::vector<std::uint32_t>& view, std::uint32_t rec) const
    {
        if (passes(record(rec)))
            view.insert(viewSlot(view, rec), rec);
    }

    // After the bytes of `rec`, which stands at `index` of `order`, have changed: leave it
    // where it is when its neighbours still frame it, which is the common case (renumbering
    // in file order, editing a field that is not the key); otherwise move it.
    void reposition(const Tag* tag, std::vector<std::uint32_t>& order, std::size_t index, std::uint32_t rec) const
    {
        if (!tag)
            return; // file order does not depend on the bytes
        if (index >= order.size() || order[index] != rec) {
            // Not where its old key says: never expected, but keep the list whole regardless.
            const auto it = std::find(order.begin(), order.end(), rec);
            if (it != order.end())
                order.erase(it);
            order.insert(slot(*tag, order, rec, record(rec)), rec);
            return;
        }
        const std::string_view bytes = record(rec);
        const bool prevOk = index == 0 || before(*tag, order[index - 1], record(order[index - 1]), rec, bytes);
        const bool nextOk = index + 1 == order.size() ||
                            before(*tag, rec, bytes, order[index + 1], record(order[index + 1]));
        if (prevOk && nextOk)
            return;
        order.erase(order.begin() + static_cast<std::ptrdiff_t>(index));
        order.insert(slot(*tag, order, rec, bytes), rec);
    }

    void rebuildView(std::vector<std::uint32_t>& view) const
    {
        view.clear();
        if (activeTag >= 0) {
            for (std::uint32_t r : tags[static_cast<std::size_t>(activeTag)].order)
                if (passes(record(r)))
                    view.push_back(r);
        } else {
            for (std::uint32_t r = 0; r < count(); ++r)
                if (passes(record(r)))
                    view.push_back(r);
        }
    }

    // The header goes out with the new record count and today's date. The first write also
    // drops the reference to a production index that this program never keeps.
    void writeHeader()
    {
        dbf::putU32(header, dbf::kRecordCount, count());
        dbf::stampUpdateDate(header);
        if (layout.productionIndex) {
            dropIndexReference(header);
            file.writeAt(0, header);
            layout.productionIndex = false;
        } else {
            file.writeAt(0, std::string_view(header).substr(0, dbf::kFileHeaderSize));
        }
    }

    void requireActive() const
    {
        if (!active)
            fail(StoreError::Code::NotActive, "Таблица не открыта");
    }

    void requireField(int f) const
    {
        requireActive();
        if (f < 0 || f >= static_cast<int>(layout.fields.size()))
            fail(StoreError::Code::NoSuchField, "Нет поля с номером " + std::to_string(f));
    }
};

DbfTable::DbfTable() : d(std::make_unique<Impl>()) {}
DbfTable::~DbfTable() { close(); }

void DbfTable::create(const QString& path, const std::vector<FieldDef>& fields)
{
    std::string bytes = dbf::buildHeader(fields, 0, TextCodec::kWindows1251Driver);
    bytes.push_back(dbf::kEndOfFile);
    // Write beside the target and rename: a failed create leaves an older file as it was,
    // and the lock taken first refuses to replace a table someone holds open.
    const QFileInfo info(path);
    {
        dbf::LockedFile existing;
        if (info.exists())
            existing = dbf::LockedFile::open(path, false);
        const QString temp = path + QStringLiteral(".new");
        dbf::LockedFile out = dbf::LockedFile::open(temp, true);
        try {
            out.writeAt(0, bytes);
            out.sync();
            out.close();
            dbf::replaceFile(temp, path);
        } catch (...) {
            out.close();
            dbf::removeFile(temp);
            throw;
        }
    }
}

void DbfTable::open(const QString& path)
{
    close();
    auto fresh = std::make_unique<Impl>();
    fresh->path = path;
    fresh->file = dbf::LockedFile::open(path, false);
    std::string bytes = fresh->file.readAll();
    fresh->layout = dbf::parseHeader(bytes, bytes.size());
    fresh->header = bytes.substr(0, fresh->layout.headerLength);
    bytes.erase(0, fresh->layout.headerLength);
    bytes.resize(static_cast<std::size_t>(fresh->layout.recordCount) * fresh->layout.recordLength);
    fresh->data = std::move(bytes);
    fresh->codec = &TextCodec::get(TextCodec::fromLanguageDriver(fresh->layout.languageDriver));
    fresh->active = true;
    d = std::move(fresh);
    if (!m_filter.empty()) {
        try {
            setFilter(m_filter);
        } catch (const StoreError&) {
            m_filter.clear(); // the kept filter names a field this table does not have
        }
    }
    d->rebuildView(m_view);
    first();
}

void DbfTable::close() noexcept
{
    d->file.close();
    d = std::make_unique<Impl>();
    m_view.clear();
}

void DbfTable::reopen()
{
    d->requireActive();
    postPending();
    const QString path = d->path;
    std::vector<IndexTagDef> tags;
    for (const Tag& t : d->tags)
        tags.push_back(t.def);
    const std::string active = indexName();
    const auto current = currentRecord();
    open(path);
    for (const IndexTagDef& def : tags) {
        Tag tag{def, {}};
        d->build(tag);
        d->tags.push_back(std::move(tag));
        if (def.name == active)
            d->activeTag = static_cast<int>(d->tags.size()) - 1;
    }
    d->rebuildView(m_view);
    first();
    if (current) {
        const int p = positionOf(*current);
        if (p >= 0)
            d->pos = p;
    }
}

bool DbfTable::isActive() const noexcept { return d->active; }
const QString& DbfTable::path() const noexcept { return d->path; }
const std::vector<FieldDef>& DbfTable::fields() const noexcept { return d->layout.fields; }

int DbfTable::fieldIndex(std::string_view name) const noexcept
{
    const auto& f = d->layout.fields;
    for (std::size_t i = 0; i < f.size(); ++i)
        if (sameName(f[i].name, name))
            return static_cast<int>(i);
    return -1;
}

int DbfTable::requireField(std::string_view name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        fail(StoreError::Code::NoSuchField, "Нет поля " + std::string(name));
    return i;
}

std::uint32_t DbfTable::physicalCount() const noexcept { return d->count(); }

bool DbfTable::isDeleted(std::uint32_t rec) const
{
    d->requireActive();
    if (rec >= d->count())
        fail(StoreError::Code::BadState, "Нет записи " + std::to_string(rec));
    return d->deleted(rec);
}

bool DbfTable::refersToProductionIndex() const noexcept { return d->layout.productionIndex; }

// ---- filter and view --------------------------------------------------------------------------

void DbfTable::setFilter(const std::string& expression)
{
    const std::string_view e = trimmed(expression);
    if (e.empty()) {
        d->filter.on = false;
        m_filter.clear();
        refresh();
        return;
    }
    // A closed table keeps the expression and applies it when it opens, like a table
    // object whose filter is set at design time.
    if (!d->active) {
        m_filter = expression;
        return;
    }
    const auto eq = e.find('=');
    if (eq == std::string_view::npos)
        fail(StoreError::Code::BadExpression, "Непонятный фильтр: " + expression);
    const std::string_view name = trimmed(e.substr(0, eq));
    std::string_view value = trimmed(e.substr(eq + 1));
    const int f = fieldIndex(name);
    if (f < 0)
        fail(StoreError::Code::BadExpression, "Фильтр по несуществующему полю: " + expression);
    const bool numeric = isNumericType(d->layout.fields[static_cast<std::size_t>(f)].type);
    std::optional<double> number;
    std::string text;
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (numeric) {
        number = parseNumeric(value);
        if (!number && !trimmed(value).empty())
            fail(StoreError::Code::BadExpression, "Непонятный фильтр: " + expression);
    } else {
        auto encoded = d->codec->encode(QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        if (!encoded)
            fail(StoreError::Code::BadExpression, "Непонятный фильтр: " + expression);
        text = std::string(rightTrimmed(*encoded));
    }
    d->filter.on = true;
    d->filter.field = f;
    d->filter.numeric = numeric;
    d->filter.number = number;
    d->filter.text = std::move(text);
    m_filter = expression;
    // The view follows the filter at once, so it never lists rows the filter refuses.
    refresh();
}

const std::string& DbfTable::filter() const noexcept { return m_filter; }

void DbfTable::refresh()
{
    if (!d->active)
        return;
    const auto current = currentRecord();
    d->rebuildView(m_view);
    const int p = current ? positionOf(*current) : -1;
    if (p >= 0) {
        d->pos = p;
        d->eof = d->bof = false;
    } else {
        first();
    }
}

int DbfTable::recordCount() const noexcept { return static_cast<int>(m_view.size()); }

std::uint32_t DbfTable::recordAt(int position) const
{
    if (position < 0 || position >= recordCount())
        fail(StoreError::Code::BadState, "Нет строки " + std::to_string(position));
    return m_view[static_cast<std::size_t>(position)];
}

int DbfTable::positionOf(std::uint32_t rec) const noexcept
{
    if (!d->active || rec >= d->count())
        return -1;
    // The view is ordered by the active tag (or by record number), so a binary search finds
    // a record by its own key.
    auto& view = const_cast<std::vector<std::uint32_t>&>(m_view);
    const auto it = d->viewSlot(view, rec);
    return (it != m_view.end() && *it == rec) ? static_cast<int>(it - m_view.begin()) : -1;
}

// ---- cursor ------------------------------------------------------------------------------------

// Moving away from a row that is being edited posts it, as a data-aware grid expects.
void DbfTable::postPending()
{
    if (d->state != State::Browse)
        post();
}

void DbfTable::first()
{
    postPending();
    d->pos = m_view.empty() ? -1 : 0;
    d->bof = true;
    d->eof = m_view.empty();
}

void DbfTable::last()
{
    postPending();
    d->pos = static_cast<int>(m_view.size()) - 1;
    d->eof = true;
    d->bof = m_view.empty();
}

void DbfTable::next()
{
    postPending();
    if (d->pos + 1 < recordCount()) {
        ++d->pos;
        d->bof = false;
        d->eof = false;
    } else {
        d->eof = true;
    }
}

void DbfTable::prior()
{
    postPending();
    if (d->pos > 0) {
        --d->pos;
        d->eof = false;
        d->bof = false;
    } else {
        d->bof = true;
    }
}

void DbfTable::moveTo(int position)
{
    postPending();
    if (m_view.empty()) {
        d->pos = -1;
        d->eof = d->bof = true;
        return;
    }
    d->pos = std::clamp(position, 0, recordCount() - 1);
    d->eof = d->bof = false;
}

bool DbfTable::eof() const noexcept { return d->eof; }
bool DbfTable::bof() const noexcept { return d->bof; }
int DbfTable::position() const noexcept { return d->pos; }

std::optional<std::uint32_t> DbfTable::currentRecord() const noexcept
{
    if (d->pos < 0 || d->pos >= recordCount())
        return std::nullopt;
    return m_view[static_cast<std::size_t>(d->pos)];
}

// ---- reading -----------------------------------------------------------------------------------

namespace {
QString decodeField(const TextCodec& codec, const FieldDef& def, std::string_view raw)
{
    return codec.decode(isNumericType(def.type) ? trimmed(raw) : rightTrimmed(raw));
}
} // namespace

std::string_view DbfTable::rawField(std::uint32_t rec, int field) const
{
    d->requireField(field);
    if (rec >= d->count())
        fail(StoreError::Code::BadState, "Нет записи " + std::to_string(rec));
    return d->field(d->record(rec), field);
}

QString DbfTable::text(std::uint32_t rec, int field) const
{
    // rawField checks the field number before it is used as an index.
    const std::string_view raw = rawField(rec, field);
    return decodeField(*d->codec, d->layout.fields[static_cast<std::size_t>(field)], raw);
}

std::optional<double> DbfTable::real(std::uint32_t rec, int field) const
{
    return parseNumeric(rawField(rec, field));
}

std::optional<std::int64_t> DbfTable::integer(std::uint32_t rec, int field) const
{
    const auto v = real(rec, field);
    if (!v || std::fabs(*v) >= 9.2e18)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(*v));
}

bool DbfTable::isEmpty(std::uint32_t rec, int field) const
{
    return trimmed(rawField(rec, field)).empty();
}

namespace {
// The bytes of a field of the row under the cursor: the edit buffer while editing.
std::optional<std::string_view> currentField(const DbfTable& t, std::string_view buffer,
                                             DbfTable::State state, int field, int offset, int width)
{
    if (state != DbfTable::State::Browse)
        return buffer.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(width));
    const auto rec = t.currentRecord();
    if (!rec)
        return std::nullopt;
    return t.rawField(*rec, field);
}
} // namespace

QString DbfTable::text(int field) const
{
    d->requireField(field);
    const auto& def = d->layout.fields[static_cast<std::size_t>(field)];
    const auto raw = currentField(*this, d->buffer, d->state, field, d->layout.offsets[static_cast<std::size_t>(field)], def.width);
    return raw ? decodeField(*d->codec, def, *raw) : QString();
}

std::optional<double> DbfTable::real(int field) const
{
    d->requireField(field);
    const auto& def = d->layout.fields[static_cast<std::size_t>(field)];
    const auto raw = currentField(*this, d->buffer, d->state, field, d->layout.offsets[static_cast<std::size_t>(field)], def.width);
    return raw ? parseNumeric(*raw) : std::nullopt;
}

std::optional<std::int64_t> DbfTable::integer(int field) const
{
    const auto v = real(field);
    if (!v || std::fabs(*v) >= 9.2e18)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(*v));
}

bool DbfTable::isEmpty(int field) const
{
    d->requireField(field);
    const auto& def = d->layout.fields[static_cast<std::size_t>(field)];
    const auto raw = currentField(*this, d->buffer, d->state, field, d->layout.offsets[static_cast<std::size_t>(field)], def.width);
    return !raw || trimmed(*raw).empty();
}

// ---- editing -----------------------------------------------------------------------------------

DbfTable::State DbfTable::state() const noexcept { return d->state; }

void DbfTable::edit()
{
    d->requireActive();
    if (d->state != State::Browse)
        return;
    const auto rec = currentRecord();
    if (!rec)
        fail(StoreError::Code::BadState, "Нет строки для правки");
    d->buffer = std::string(d->record(*rec));
    d->editRecord = *rec;
    d->state = State::Edit;
}

void DbfTable::editRecord(std::uint32_t rec)
{
    d->requireActive();
    postPending();
    if (rec >= d->count() || d->deleted(rec))
        fail(StoreError::Code::BadState, "Нет записи " + std::to_string(rec));
    if (!d->batch) {
        const int p = positionOf(rec);
        if (p >= 0) {
            d->pos = p;
            d->eof = d->bof = false;
        }
    }
    d->buffer = std::string(d->record(rec));
    d->editRecord = rec;
    d->state = State::Edit;
}

void DbfTable::beginBatch()
{
    d->requireActive();
    postPending();
    d->batch = true;
    d->batchCurrent = currentRecord();
}

void DbfTable::endBatch()
{
    if (!d->active || !d->batch)
        return;
    postPending();
    d->batch = false;
    for (Tag& tag : d->tags)
        d->build(tag);
    d->rebuildView(m_view);
    const int p = d->batchCurrent ? positionOf(*d->batchCurrent) : -1;
    d->batchCurrent.reset();
    if (p >= 0) {
        d->pos = p;
        d->eof = d->bof = false;
    } else {
        first();
    }
}

void DbfTable::append()
{
    d->requireActive();
    if (d->state != State::Browse)
        post();
    d->buffer.assign(d->recLen(), ' ');
    d->buffer[0] = dbf::kLiveRecord;
    d->state = State::Insert;
}

void DbfTable::post()
{
    d->requireActive();
    if (d->state == State::Browse)
        return;
    const std::uint64_t base = d->layout.headerLength;
    std::uint32_t rec = d->editRecord;
    const int oldPos = d->pos;
    if (d->state == State::Insert) {
        rec = d->count();
        if (rec == std::numeric_limits<std::uint32_t>::max())
            fail(StoreError::Code::Io, "Таблица переполнена");
        // The record and the end mark in one write, then the count: once post returns, a
        // reopened file has the row even if the process dies right after.
        std::string out = d->buffer;
        out.push_back(dbf::kEndOfFile);
        d->file.writeAt(base + static_cast<std::uint64_t>(rec) * d->recLen(), out);
        d->data.append(d->buffer);
        ++d->layout.recordCount;
        try {
            d->writeHeader();
        } catch (...) {
            --d->layout.recordCount;
            d->data.resize(d->data.size() - d->recLen());
            throw;
        }
        if (!d->batch) {
            d->insertIntoTags(rec);
            d->insertIntoView(m_view, rec);
        }
    } else if (d->batch) {
        d->file.writeAt(base + static_cast<std::uint64_t>(rec) * d->recLen(), d->buffer);
        d->writeHeader();
        d->data.replace(rec * d->recLen(), d->recLen(), d->buffer);
    } else {
        d->file.writeAt(base + static_cast<std::uint64_t>(rec) * d->recLen(), d->buffer);
        d->writeHeader();
        // Find the record's places under its old bytes, then put the new bytes in.
        std::vector<std::size_t> tagIndex;
        for (Tag& tag : d->tags) {
            const auto it = d->slot(tag, tag.order, rec, d->record(rec));
            tagIndex.push_back(static_cast<std::size_t>(it - tag.order.begin()));
        }
        // Whether it was shown is what the view holds, not what the filter says now: a
        // filter set but not yet refreshed must not list the row twice.
        const auto viewIt = d->viewSlot(m_view, rec);
        const bool wasShown = viewIt != m_view.end() && *viewIt == rec;
        const auto viewIndex = static_cast<std::size_t>(viewIt - m_view.begin());
        d->data.replace(rec * d->recLen(), d->recLen(), d->buffer);
        for (std::size_t i = 0; i < d->tags.size(); ++i)
            d->reposition(&d->tags[i], d->tags[i].order, tagIndex[i], rec);
        const bool shown = d->passes(d->record(rec));
        const Tag* active = d->activeTag >= 0 ? &d->tags[static_cast<std::size_t>(d->activeTag)] : nullptr;
        if (wasShown && shown)
            d->reposition(active, m_view, viewIndex, rec);
        else if (wasShown)
            m_view.erase(m_view.begin() + static_cast<std::ptrdiff_t>(viewIndex));
        else if (shown)
            d->insertIntoView(m_view, rec);
    }
    d->state = State::Browse;
    d->buffer.clear();
    if (d->batch) {
        d->batchCurrent = rec;
        return;
    }
    const int p = positionOf(rec);
    if (p >= 0) {
        d->pos = p;
    } else {
        // The row left the view (its filter field changed): stay where it stood.
        d->pos = m_view.empty() ? -1 : std::clamp(oldPos, 0, recordCount() - 1);
    }
    d->eof = d->bof = m_view.empty();
}

void DbfTable::cancel() noexcept
{
    d->state = State::Browse;
    d->buffer.clear();
}

namespace {
void requireEditing(DbfTable::State s)
{
    if (s == DbfTable::State::Browse)
        fail(StoreError::Code::BadState, "Запись не открыта для правки");
}
} // namespace

void DbfTable::setText(int field, const QString& value)
{
    d->requireField(field);
    requireEditing(d->state);
    const FieldDef& def = d->layout.fields[static_cast<std::size_t>(field)];
    if (isNumericType(def.type)) {
        const QString t = value.trimmed();
        if (t.isEmpty()) {
            clear(field);
            return;
        }
        const auto v = parseNumeric(t.toStdString());
        if (!v)
            fail(StoreError::Code::BadNumber, "\"" + value.toStdString() + "\" не является числом");
        setReal(field, *v);
        return;
    }
    const auto encoded = d->codec->encode(value);
    if (!encoded)
        fail(StoreError::Code::BadText,
             "Текст \"" + value.toStdString() + "\" содержит знаки, которых нет в кодировке таблицы");
    if (static_cast<int>(encoded->size()) > def.width)
        fail(StoreError::Code::ValueTooWide, "Текст длиннее поля " + def.name + " (" +
                                                 std::to_string(def.width) + " знаков)");
    std::string cell = *encoded;
    cell.resize(static_cast<std::size_t>(def.width), ' ');
    d->buffer.replace(static_cast<std::size_t>(d->layout.offsets[static_cast<std::size_t>(field)]),
                      cell.size(), cell);
}

void DbfTable::setReal(int field, double value)
{
    d->requireField(field);
    requireEditing(d->state);
    const FieldDef& def = d->layout.fields[static_cast<std::size_t>(field)];
    std::optional<std::string> cell;
    if (isNumericType(def.type)) {
        cell = formatNumeric(value, def.width, def.decimals);
    } else {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value == 0 ? 0.0 : value);
        if (ec == std::errc() && end - buf <= def.width) {
            std::string s(buf, end);
            s.resize(static_cast<std::size_t>(def.width), ' ');
            cell = s;
        }
    }
    if (!cell) {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
        const std::string shown = ec == std::errc() ? std::string(buf, end) : std::string("?");
        fail(StoreError::Code::ValueTooWide, "Число " + shown + " не помещается в поле " + def.name);
    }
    d->buffer.replace(static_cast<std::size_t>(d->layout.offsets[static_cast<std::size_t>(field)]),
                      cell->size(), *cell);
}

void DbfTable::setInteger(int field, std::int64_t value)
{
    setReal(field, static_cast<double>(value));
}

void DbfTable::clear(int field)
{
    d->requireField(field);
    requireEditing(d->state);
    const FieldDef& def = d->layout.fields[static_cast<std::size_t>(field)];
    d->buffer.replace(static_cast<std::size_t>(d->layout.offsets[static_cast<std::size_t>(field)]),
                      static_cast<std::size_t>(def.width), std::string(static_cast<std::size_t>(def.width), ' '));
}

void DbfTable::deleteRecord()
{
    d->requireActive();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    cancel();
    const auto rec = currentRecord();
    if (!rec)
        fail(StoreError::Code::BadState, "Нет строки для удаления");
    const char flag = dbf::kDeletedRecord;
    d->file.writeAt(d->layout.headerLength + static_cast<std::uint64_t>(*rec) * d->recLen(),
                    std::string_view(&flag, 1));
    d->data[*rec * d->recLen()] = flag;
    if (d->layout.productionIndex)
        d->writeHeader();
    if (d->batch)
        return; // the view and the tags are rebuilt when the batch ends
    d->removeFromView(m_view, *rec);
    d->removeFromTags(*rec);
    const int oldPos = d->pos;
    d->pos = m_view.empty() ? -1 : std::clamp(oldPos, 0, recordCount() - 1);
    d->eof = d->bof = m_view.empty();
}

void DbfTable::pack()
{
    d->requireActive();
    if (d->state != State::Browse)
        post();
    std::string packed;
    std::uint32_t live = 0;
    for (std::uint32_t r = 0; r < d->count(); ++r)
        if (!d->deleted(r)) {
            packed.append(d->record(r));
            ++live;
        }
    std::string header = d->header;
    dbf::putU32(header, dbf::kRecordCount, live);
    dbf::stampUpdateDate(header);
    dropIndexReference(header);

    // The new file is locked before it takes the table's name, so no other opener can slip
    // in between; until the rename the old table is untouched.
    const QString temp = d->path + QStringLiteral(".pack");
    dbf::LockedFile out = dbf::LockedFile::open(temp, true);
    try {
        out.copyPermissionsFrom(d->file);
        out.writeAt(0, header);
        out.writeAt(header.size(), packed);
        const char eofMark = dbf::kEndOfFile;
        out.writeAt(header.size() + packed.size(), std::string_view(&eofMark, 1));
        out.sync();
        dbf::replaceFile(temp, d->path);
    } catch (...) {
        out.close();
        dbf::removeFile(temp);
        throw;
    }
#ifdef _WIN32
    // Windows cannot rename over an open file; reopen the new table exclusively instead.
    out.close();
    d->file.close();
    d->file = dbf::LockedFile::open(d->path, false);
#else
    out.setPath(d->path);
    d->file = std::move(out);
#endif
    d->header = std::move(header);
    d->data = std::move(packed);
    d->layout.recordCount = live;
    d->layout.productionIndex = false;
    for (Tag& tag : d->tags)
        d->build(tag);
    d->rebuildView(m_view);
    first();
}

// ---- index tags ----------------------------------------------------------------------------------

void DbfTable::addIndex(const IndexTagDef& def)
{
    d->requireActive();
    const int n = static_cast<int>(d->layout.fields.size());
    if (def.name.empty() || def.field < 0 || def.field >= n || def.tieField >= n)
        fail(StoreError::Code::BadTag, "Нельзя построить индекс \"" + def.name + "\": нет такого поля");
    for (const Tag& t : d->tags)
        if (sameName(t.def.name, def.name))
            fail(StoreError::Code::BadTag, "Индекс \"" + def.name + "\" уже существует");
    Tag tag{def, {}};
    d->build(tag);
    d->tags.push_back(std::move(tag));
}

void DbfTable::deleteIndex(const std::string& name)
{
    d->requireActive();
    for (std::size_t i = 0; i < d->tags.size(); ++i) {
        if (!sameName(d->tags[i].def.name, name))
            continue;
        const int removed = static_cast<int>(i);
        d->tags.erase(d->tags.begin() + removed);
        if (d->activeTag == removed) {
            d->activeTag = -1;
            refresh();
        } else if (d->activeTag > removed) {
            --d->activeTag;
        }
        return;
    }
    fail(StoreError::Code::NoSuchTag, "Нет индекса \"" + name + "\"");
}

void DbfTable::setIndexName(const std::string& name)
{
    d->requireActive();
    int found = -1;
    if (!name.empty()) {
        for (std::size_t i = 0; i < d->tags.size(); ++i)
            if (sameName(d->tags[i].def.name, name))
                found = static_cast<int>(i);
        if (found < 0)
            fail(StoreError::Code::NoSuchTag, "Нет индекса \"" + name + "\"");
    }
    if (found == d->activeTag)
        return;
    if (d->state != State::Browse)
        post();
    d->activeTag = found;
    refresh();
}

const std::string& DbfTable::indexName() const noexcept
{
    static const std::string none;
    return d->activeTag >= 0 ? d->tags[static_cast<std::size_t>(d->activeTag)].def.name : none;
}

std::vector<std::string> DbfTable::tagNames() const
{
    std::vector<std::string> names;
    for (const Tag& t : d->tags)
        names.push_back(t.def.name);
    return names;
}

void DbfTable::regenerateIndexes()
{
    d->requireActive();
    for (Tag& tag : d->tags)
        d->build(tag);
    refresh();
}

} // namespace store
