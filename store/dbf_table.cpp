#include "store/dbf_table.h"

#include "platform/ordered_blocks.h"
#include "store/dbf_table_impl.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace store {

namespace detail {

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

} // namespace detail

using namespace detail;

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

namespace detail {

namespace {

// The characters of a decimal number with an exponent. Checked before from_chars, which also
// takes "inf", "infinity" and "nan" (letters this set lacks); hexadecimal it never takes.
bool numberCharacters(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    });
}

// from_chars calls a number out of range both when it is too big and when it is too small
// for a double; strtod gives infinity for the one and 0 for the other. `s` is a whole
// number in from_chars' shape: its size lies in the position of its first significant digit
// and in its exponent.
bool belowTheDoubles(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-')
        ++i;
    long long lead = 0; // the first significant digit stands at 10^(lead - 1)
    bool point = false;
    bool significant = false;
    for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
        if (s[i] == '.') {
            point = true;
        } else if (!significant && s[i] == '0') {
            if (point)
                --lead;
        } else {
            significant = true;
            if (!point)
                ++lead;
        }
    }
    long long exponent = 0;
    bool negative = false;
    if (i < s.size()) {
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            negative = s[i++] == '-';
        for (; i < s.size(); ++i)
            exponent = std::min(exponent * 10 + (s[i] - '0'), 1'000'000'000LL); // far past any double
    }
    return lead + (negative ? -exponent : exponent) <= 0;
}

} // namespace

NumberReading readNumericGeneral(std::string_view stored, double& value)
{
    std::string_view s = trimmed(stored);
    if (s.find_first_not_of('*') == std::string_view::npos)
        return NumberReading::Empty; // blank, or dBase's mark of a value that did not fit
    if (s.front() == '+') {
        s.remove_prefix(1);
        if (s.empty() || s.front() == '-' || s.front() == '+')
            return NumberReading::Unreadable; // one sign only
    }
    // A field is at most 255 bytes wide; a longer text (from a caller, not a file) is
    // copied to the heap.
    char local[256];
    std::string heap;
    char* buf = local;
    if (s.size() > sizeof local) {
        heap.assign(s);
        buf = heap.data();
    } else {
        std::copy(s.begin(), s.end(), buf);
    }
    std::replace(buf, buf + s.size(), ',', '.');
    const std::string_view text(buf, s.size());
    if (!numberCharacters(text))
        return NumberReading::Unreadable;
    double v = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (p != text.data() + text.size())
        return NumberReading::Unreadable;
    if (ec == std::errc::result_out_of_range && belowTheDoubles(text)) {
        value = 0.0;
        return NumberReading::Number;
    }
    if (ec != std::errc() || !std::isfinite(v))
        return NumberReading::Unreadable;
    value = v == 0 ? 0.0 : v;
    return NumberReading::Number;
}

std::optional<double> parseNumericGeneral(std::string_view stored)
{
    double v = 0;
    if (readNumericGeneral(stored, v) == NumberReading::Number)
        return v;
    return std::nullopt;
}

} // namespace detail

std::optional<double> parseNumeric(std::string_view stored)
{
    return readStoredNumber(stored);
}

DbfTable::DbfTable() : d(std::make_unique<Impl>()) {}
DbfTable::~DbfTable() { close(); }

void DbfTable::create(const QString& path, const std::vector<FieldDef>& fields)
{
    std::string bytes = dbf::buildHeader(fields, 0, TextCodec::kWindows1251Driver);
    bytes.push_back(dbf::kEndOfFile);
    // The new table is written beside the file it replaces and renamed over it: a failed
    // create leaves an older file as it was. A link is followed, so the link stays a link.
    const QString real = dbf::resolvedPath(path);
    dbf::requireReplaceable(real, path);
    // The lock taken first refuses to replace a table someone holds open.
    dbf::LockedFile existing;
    if (dbf::fileExists(real))
        existing = dbf::LockedFile::open(real, false, dbf::Action::Create, path);
    const QString temp = dbf::createTempPath(real);
    dbf::LockedFile out = dbf::openTemporary(temp, dbf::Action::Create, path);
    try {
        if (existing.isOpen())
            out.copyPermissionsFrom(existing);
        out.writeAt(0, bytes);
        out.sync();
#ifdef _WIN32
        // Windows renames neither a file that is open nor over one: both go first. The new
        // table is not opened here, so nothing needs to be taken back afterwards.
        out.close();
        existing.close();
#endif
        // POSIX keeps both locked through the rename: nobody slips in between.
        dbf::replaceFile(temp, real, dbf::Action::Create, path);
    } catch (...) {
        out.close();
        dbf::removeFile(temp);
        throw;
    }
}

void DbfTable::checkReplaceable(const QString& path)
{
    const QString real = dbf::resolvedPath(path);
    dbf::requireReplaceable(real, path);
    if (dbf::fileExists(real))
        dbf::LockedFile::open(real, false, dbf::Action::Create, path); // closed again at once
}

bool DbfTable::isTableFile(const QString& path) noexcept
{
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray first = file.read(dbf::kFileHeaderSize);
        const std::uint16_t length = dbf::announcedHeaderLength(std::string_view(first.constData(), std::size_t(first.size())),
                                                                std::uint64_t(file.size()));
        file.seek(0);
        const QByteArray header = file.read(length);
        const dbf::Layout layout =
            dbf::parseHeader(std::string_view(header.constData(), std::size_t(header.size())), std::uint64_t(file.size()));
        return !layout.fields.empty();
    } catch (...) {
        return false;
    }
}

void DbfTable::open(const QString& path)
{
    openAs(path, false);
}

void DbfTable::openForReading(const QString& path)
{
    openAs(path, true);
}

void DbfTable::openAs(const QString& path, bool readOnly)
{
    close();
    auto fresh = std::make_unique<Impl>();
    fresh->path = path;
    fresh->realPath = dbf::resolvedPath(path);
    fresh->file = readOnly ? dbf::LockedFile::openForReading(fresh->realPath, path)
                           : dbf::LockedFile::open(fresh->realPath, false, dbf::Action::Open, path);
    dbf::Contents contents = dbf::readTable(fresh->file);
    fresh->layout = std::move(contents.layout);
    fresh->header = std::move(contents.header);
    fresh->data = std::move(contents.data);
    fresh->tailClean = contents.tailClean;
    fresh->codec = &TextCodec::get(TextCodec::fromLanguageDriver(fresh->layout.languageDriver));
    fresh->active = true;
    fresh->readOnly = readOnly;
    // Held by us now, so no pack or create of this table is running anywhere. A reader
    // leaves what lies beside the table to its writer.
    if (!readOnly)
        dbf::removeStaleTemporaries(fresh->realPath);
    d = std::move(fresh);
    showOpened();
}

bool DbfTable::isReadOnly() const noexcept
{
    return d->active && d->readOnly;
}

void DbfTable::showOpened()
{
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

void DbfTable::adopt(DbfTable& opened)
{
    close();
    std::swap(d, opened.d);
    opened.close();
    opened.m_view.clear();
    showOpened();
}

void DbfTable::applyToFile(const std::function<void(detail::FileChange&)>& writes)
{
    d->cleanTail();
    FileChange change(d->file, d->dataEnd() + 1);
    try {
        writes(change);
    } catch (...) {
        try {
            change.undo();
        } catch (...) {
            recoverFromFile();
        }
        throw;
    }
}

void DbfTable::recoverFromFile() noexcept
{
    try {
        const std::uint32_t countBefore = d->count();
        dbf::Contents contents = dbf::readTable(d->file);
        if (contents.layout.recordLength != d->layout.recordLength ||
            contents.layout.headerLength != d->layout.headerLength)
            fail(StoreError::Code::Damaged, "Заголовок таблицы изменился");
        d->layout = std::move(contents.layout);
        d->header = std::move(contents.header);
        d->data = std::move(contents.data);
        d->tailClean = contents.tailClean;
        // A row whose post reached the file whole is no longer pending: posting it again
        // would write it twice.
        const bool inserted = d->state == State::Insert && d->count() > countBefore;
        const bool edited = d->state == State::Edit && d->editRecord < d->count() &&
                            d->record(d->editRecord) == d->buffer;
        if (inserted || edited)
            cancel();
        for (Tag& tag : d->tags)
            d->build(tag);
        if (d->batch)
            return; // the view is rebuilt when the batch ends
        const auto current = currentRecord();
        d->rebuildView(m_view);
        const int p = current ? positionOf(*current) : -1;
        d->pos = p >= 0 ? p : (m_view.empty() ? -1 : 0);
        d->eof = d->bof = m_view.empty();
    } catch (...) {
        // Neither put back nor readable: nothing in memory can be trusted to match it.
        close();
    }
}

void DbfTable::close() noexcept
{
    d->file.close();
    d = std::make_unique<Impl>();
    m_view.clear();
}

void DbfTable::reopen()
{
    d->requireWritable();
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

std::string DbfTable::fileBytes() const
{
    if (!isActive())
        return {};
    return d->file.readAt(0, static_cast<std::size_t>(d->file.size()));
}
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
    const bool numeric = isNumeric(d->layout.fields[static_cast<std::size_t>(f)].type);
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

void DbfTable::Impl::refuseField(int f) const
{
    requireActive();
    fail(StoreError::Code::NoSuchField, "Нет поля с номером " + std::to_string(f));
}

void DbfTable::Impl::noSuchRecord(std::uint32_t rec)
{
    fail(StoreError::Code::BadState, "Нет записи " + std::to_string(rec));
}

namespace {
std::string_view unpadded(const FieldDef& def, std::string_view raw)
{
    return isNumeric(def.type) ? trimmed(raw) : rightTrimmed(raw);
}

QString decodeField(const TextCodec& codec, const FieldDef& def, std::string_view raw)
{
    return codec.decode(unpadded(def, raw));
}
} // namespace

std::string_view DbfTable::rawField(std::uint32_t rec, int field) const
{
    return d->checkedField(rec, field);
}

std::string_view DbfTable::storedText(std::uint32_t rec, int field) const
{
    const std::string_view raw = d->checkedField(rec, field); // checks the number before it indexes
    return unpadded(d->layout.fields[static_cast<std::size_t>(field)], raw);
}

const TextCodec& DbfTable::codec() const noexcept
{
    return *d->codec;
}

QString DbfTable::text(std::uint32_t rec, int field) const
{
    const std::string_view raw = d->checkedField(rec, field); // checks the number before it indexes
    return decodeField(*d->codec, d->layout.fields[static_cast<std::size_t>(field)], raw);
}

namespace {
KVEL_HOT_INLINE bool readNumber(std::string_view raw, double& value)
{
    switch (parsePlainDecimal(raw, value)) {
    case PlainDecimal::Number:
        return true;
    case PlainDecimal::Blank:
        return false;
    case PlainDecimal::Other:
        break;
    }
    return readNumericGeneral(raw, value) == NumberReading::Number;
}

// Only the general reader knows a text it cannot read from an empty field; the quick one
// settles the usual shapes first.
bool unreadable(std::string_view raw)
{
    double value;
    return readStoredNumber(raw, value) == NumberReading::Unreadable;
}

// Whether a stored number is read by its shape alone, without reading its value: blanks and
// NULs around an optional minus and digits with at most one point among them, or blanks
// alone. Such a text is always a number or empty (a field has at most 255 bytes, so its
// digits make a finite double), and nearly every field has it; any other shape goes to the
// reader, which tells a number in another form ("1.5E+3", "+2") from a text that is none.
KVEL_HOT_INLINE bool plainlyReadable(std::string_view raw) noexcept
{
    const char* p = raw.data();
    const char* const end = p + raw.size();
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    // Past the digits from `p` on; eight at a time where the bytes allow.
    const auto skipDigits = [end](const char* p) {
        if constexpr (bytes8::kUsable) {
            for (; end - p >= 8; p += 8) {
                if (const std::uint64_t marks = bytes8::nonDigits(bytes8::load(p)))
                    return p + bytes8::firstMarked(marks);
            }
        }
        while (p < end && static_cast<unsigned char>(*p - '0') < 10)
            ++p;
        return p;
    };
    if constexpr (bytes8::kUsable) {
        for (; end - p >= 8; p += 8) {
            if (const std::uint64_t marks = bytes8::filled(bytes8::load(p))) {
                p += bytes8::firstMarked(marks);
                break;
            }
        }
    }
    while (p < end && blank(*p))
        ++p;
    if (p == end)
        return true;
    if (*p == '-')
        ++p;
    const char* const digits = p;
    p = skipDigits(p);
    if (p == digits)
        return false;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        p = skipDigits(p);
        if (p == fraction)
            return false;
    }
    while (p < end && blank(*p))
        ++p;
    return p == end;
}
} // namespace

bool DbfTable::readReal(std::uint32_t rec, int field, double& value) const
{
    return readNumber(d->checkedField(rec, field), value);
}

bool DbfTable::isUnreadableNumber(std::uint32_t rec, int field) const
{
    const std::string_view raw = d->checkedField(rec, field);
    return isNumeric(d->layout.fields[static_cast<std::size_t>(field)].type) && unreadable(raw);
}

std::vector<UnreadableNumber> DbfTable::unreadableNumbers() const
{
    std::vector<UnreadableNumber> found;
    if (!d->active)
        return found;
    std::vector<int> numeric;
    for (std::size_t f = 0; f < d->layout.fields.size(); ++f) {
        if (isNumeric(d->layout.fields[f].type))
            numeric.push_back(static_cast<int>(f));
    }
    if (numeric.empty())
        return found;
    // Every numeric field of every record: one pass over the bytes, and the reader only for
    // the rare field of another shape. A big table's blocks of records are looked through
    // on the machine's cores at once.
    constexpr std::uint32_t kBlockRecords = 8192;
    const std::uint32_t records = d->count();
    const int blocks = int((records + kBlockRecords - 1) / kBlockRecords);
    const auto look = [&](int block, std::vector<UnreadableNumber>& out) {
        out.clear();
        const std::uint32_t from = std::uint32_t(block) * kBlockRecords;
        const std::uint32_t to = std::min(records, from + kBlockRecords);
        for (std::uint32_t rec = from; rec < to; ++rec) {
            const std::string_view bytes = d->record(rec);
            if (bytes[0] == dbf::kDeletedRecord)
                continue;
            for (int f : numeric) {
                const std::string_view raw = d->field(bytes, f);
                if (!plainlyReadable(raw) && unreadable(raw))
                    out.push_back({rec, f});
            }
        }
    };
    platform::makeInOrder<std::vector<UnreadableNumber>>(
        blocks, look, [&](const std::vector<UnreadableNumber>& block) { found.insert(found.end(), block.begin(), block.end()); });
    return found;
}

namespace {
// The whole number nearest to a stored value, halves away from zero; empty when the field is
// empty or the value lies outside std::int64_t, [-2^63, 2^63). Both ends are exact doubles,
// so the comparison is exact, and NaN fails it. Doubles that large are whole numbers, so the
// rounding cannot carry a value over the upper end.
constexpr double kInt64Lowest = -0x1p63;
constexpr double kInt64End = 0x1p63;

std::optional<std::int64_t> wholeNumber(std::optional<double> v)
{
    if (!v || !(*v >= kInt64Lowest && *v < kInt64End))
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(*v));
}
} // namespace

std::optional<std::int64_t> DbfTable::integer(std::uint32_t rec, int field) const
{
    return wholeNumber(real(rec, field));
}

bool DbfTable::isEmpty(std::uint32_t rec, int field) const
{
    return trimmed(d->checkedField(rec, field)).empty();
}

QString DbfTable::text(int field) const
{
    std::string_view raw;
    if (!d->currentField(m_view, field, raw))
        return QString();
    return decodeField(*d->codec, d->layout.fields[static_cast<std::size_t>(field)], raw);
}

bool DbfTable::readReal(int field, double& value) const
{
    std::string_view raw;
    return d->currentField(m_view, field, raw) && readNumber(raw, value);
}

bool DbfTable::isUnreadableNumber(int field) const
{
    std::string_view raw;
    return d->currentField(m_view, field, raw) &&
           isNumeric(d->layout.fields[static_cast<std::size_t>(field)].type) && unreadable(raw);
}

std::optional<std::int64_t> DbfTable::integer(int field) const
{
    return wholeNumber(real(field));
}

bool DbfTable::isEmpty(int field) const
{
    std::string_view raw;
    return !d->currentField(m_view, field, raw) || trimmed(raw).empty();
}

// ---- editing -----------------------------------------------------------------------------------

DbfTable::State DbfTable::state() const noexcept { return d->state; }

void DbfTable::edit()
{
    d->requireWritable();
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
    d->requireWritable();
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

void DbfTable::append()
{
    d->requireWritable();
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
            fail(StoreError::Code::Io, "Таблица \"" + d->path.toStdString() + "\" переполнена");
        // The record and the end mark in one write, then the count: once post returns, a
        // reopened file has the row even if the process dies right after; dying before the
        // count is written leaves bytes after the counted records, which open ignores.
        std::string changed = d->changedHeader(rec + 1);
        applyToFile([&](FileChange& change) {
            std::string out = d->buffer;
            out.push_back(dbf::kEndOfFile);
            const char mark = dbf::kEndOfFile;
            change.write(d->dataEnd(), out, std::string_view(&mark, 1));
            d->writeHeader(change, changed);
        });
        d->takeHeader(std::move(changed));
        d->data.append(d->buffer);
        ++d->layout.recordCount;
        if (!d->batch) {
            d->insertIntoTags(rec);
            d->insertIntoView(m_view, rec);
        }
    } else {
        std::string changed = d->changedHeader(d->count());
        applyToFile([&](FileChange& change) {
            change.write(base + static_cast<std::uint64_t>(rec) * d->recLen(), d->buffer, d->record(rec));
            d->writeHeader(change, changed);
        });
        d->takeHeader(std::move(changed));
        if (d->batch) {
            d->data.overwrite(rec * d->recLen(), d->buffer);
        } else {
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
            d->data.overwrite(rec * d->recLen(), d->buffer);
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
    if (isNumeric(def.type)) {
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
    if (isNumeric(def.type)) {
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
    d->requireWritable();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    cancel();
    const auto rec = currentRecord();
    if (!rec)
        fail(StoreError::Code::BadState, "Нет строки для удаления");
    const char flag = dbf::kDeletedRecord;
    const bool dropIndex = d->layout.productionIndex;
    std::string changed = d->changedHeader(d->count());
    applyToFile([&](FileChange& change) {
        change.write(d->layout.headerLength + static_cast<std::uint64_t>(*rec) * d->recLen(),
                     std::string_view(&flag, 1), d->record(*rec).substr(0, 1));
        if (dropIndex)
            d->writeHeader(change, changed);
    });
    if (dropIndex)
        d->takeHeader(std::move(changed));
    d->data[*rec * d->recLen()] = flag;
    if (d->batch)
        return; // the view and the tags are rebuilt when the batch ends
    d->removeFromView(m_view, *rec);
    d->removeFromTags(*rec);
    const int oldPos = d->pos;
    d->pos = m_view.empty() ? -1 : std::clamp(oldPos, 0, recordCount() - 1);
    d->eof = d->bof = m_view.empty();
}

std::string_view DbfTable::recordBytes(std::uint32_t rec) const
{
    d->requireActive();
    if (rec >= d->count())
        fail(StoreError::Code::BadState, "Нет записи " + std::to_string(rec));
    return d->record(rec);
}

void DbfTable::patchRecords(const std::vector<RecordPatch>& patches)
{
    d->requireWritable();
    for (const RecordPatch& p : patches) {
        if (p.record >= d->count() || p.at < 0 || std::size_t(p.at) + p.bytes.size() > d->recLen())
            fail(StoreError::Code::BadState, "Нет записи " + std::to_string(p.record));
        if (p.at == 0 && !p.bytes.empty() && p.bytes[0] != dbf::kLiveRecord && p.bytes[0] != dbf::kDeletedRecord)
            fail(StoreError::Code::BadState, "Неверная отметка записи " + std::to_string(p.record));
    }
    if (patches.empty())
        return;
    if (d->state != State::Browse)
        post();
    const std::uint64_t base = d->layout.headerLength;
    std::string changed = d->changedHeader(d->count());
    applyToFile([&](FileChange& change) {
        for (const RecordPatch& p : patches) {
            const std::size_t at = std::size_t(p.record) * d->recLen() + std::size_t(p.at);
            change.write(base + at, p.bytes, std::string_view(d->data.data() + at, p.bytes.size()));
        }
        d->writeHeader(change, changed);
    });
    d->takeHeader(std::move(changed));

    const auto current = currentRecord();
    // A few records move in the tags and the view one by one; many (a whole renumbering)
    // are cheaper rebuilt once.
    constexpr std::size_t kRebuildFrom = 64;
    const bool rebuild = d->batch || patches.size() >= kRebuildFrom;
    for (const RecordPatch& p : patches) {
        const std::size_t at = std::size_t(p.record) * d->recLen() + std::size_t(p.at);
        if (!rebuild) {
            if (!d->deleted(p.record))
                d->removeFromTags(p.record);
            d->removeFromView(m_view, p.record);
        }
        d->data.overwrite(at, p.bytes);
        if (!rebuild) {
            if (!d->deleted(p.record))
                d->insertIntoTags(p.record);
            d->insertIntoView(m_view, p.record);
        }
    }
    if (d->batch)
        return; // rebuilt when the batch ends
    if (rebuild) {
        for (Tag& tag : d->tags)
            d->build(tag);
        d->rebuildView(m_view);
    }
    const int p = current ? positionOf(*current) : -1;
    if (p >= 0) {
        d->pos = p;
        d->eof = d->bof = false;
    } else {
        d->pos = m_view.empty() ? -1 : std::clamp(d->pos, 0, recordCount() - 1);
        d->eof = d->bof = m_view.empty();
    }
}

void DbfTable::pack()
{
    d->requireWritable();
    if (d->state != State::Browse)
        post();
    std::uint32_t live = 0;
    for (std::uint32_t r = 0; r < d->count(); ++r)
        live += d->deleted(r) ? 0 : 1;
    ByteBuffer packed;
    packed.reserve(static_cast<std::size_t>(live) * d->recLen());
    for (std::uint32_t r = 0; r < d->count(); ++r)
        if (!d->deleted(r))
            packed.append(d->record(r));
    std::string header = d->header;
    dbf::putU32(header, dbf::kRecordCount, live);
    dbf::stampUpdateDate(header);
    dropIndexReference(header);

    // The new file is written beside the real file (a link is followed) and locked before
    // it takes the table's name, so no other opener can slip in between; until the rename
    // the old table is untouched.
    const QString temp = dbf::packTempPath(d->realPath);
#ifdef _WIN32
    // The table is taken again under its lock; when someone else got it first, the table
    // can no longer be held and is closed.
    const auto retakeFile = [this] {
        try {
            d->file = dbf::LockedFile::open(d->realPath, false, dbf::Action::Open, d->path);
        } catch (...) {
            close();
            throw;
        }
    };
#endif
    dbf::LockedFile out = dbf::openTemporary(temp, dbf::Action::Write, d->path);
    try {
        out.copyPermissionsFrom(d->file);
        out.writeAt(0, header);
        out.writeAt(header.size(), packed);
        const char eofMark = dbf::kEndOfFile;
        out.writeAt(header.size() + packed.size(), std::string_view(&eofMark, 1));
        out.sync();
#ifdef _WIN32
        // Windows renames neither a file that is open nor over one: both are let go, and the
        // table is taken again right after the rename, or as it was when the rename fails.
        out.close();
        d->file.close();
        try {
            dbf::replaceFile(temp, d->realPath, dbf::Action::Write, d->path);
        } catch (...) {
            dbf::removeFile(temp);
            retakeFile();
            throw;
        }
        retakeFile();
#else
        dbf::replaceFile(temp, d->realPath, dbf::Action::Write, d->path);
        out.renamed(d->realPath, d->path);
        d->file = std::move(out);
#endif
    } catch (...) {
        if (out.isOpen()) {
            out.close();
            dbf::removeFile(temp);
        }
        throw;
    }
    d->header = std::move(header);
    d->data = std::move(packed);
    d->tailClean = true;
    d->layout.recordCount = live;
    d->layout.productionIndex = false;
    for (Tag& tag : d->tags)
        d->build(tag);
    d->rebuildView(m_view);
    first();
}

std::vector<std::uint32_t> DbfTable::viewInFileOrder() const
{
    std::vector<std::uint32_t> rows = m_view;
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace store
