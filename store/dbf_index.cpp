// Index tags of DbfTable and the order of its view: keys, sorting, and keeping both in step
// with posts one record at a time.

#include "store/dbf_table_impl.h"

#include <charconv>

namespace store {

namespace detail {
namespace {

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

} // namespace

Key makeKey(std::string_view raw, SortKey kind)
{
    Key k;
    switch (kind) {
    case SortKey::Number:
        if (auto v = readStoredNumber(raw)) {
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

} // namespace detail

using namespace detail;

int DbfTable::Impl::compareRecords(const Tag& tag, std::string_view a, std::string_view b) const
{
    const IndexTagDef& d = tag.def;
    int c = compare(makeKey(field(a, d.field), d.key), makeKey(field(b, d.field), d.key));
    if (c == 0 && d.tieField >= 0)
        c = compare(makeKey(field(a, d.tieField), d.tieKey), makeKey(field(b, d.tieField), d.tieKey));
    return d.descending ? -c : c;
}

bool DbfTable::Impl::before(const Tag& tag, std::uint32_t a, std::string_view recA, std::uint32_t b,
            std::string_view recB) const
{
    const int c = compareRecords(tag, recA, recB);
    return c != 0 ? c < 0 : a < b;
}

std::vector<std::uint32_t>::iterator DbfTable::Impl::slot(const Tag& tag, std::vector<std::uint32_t>& order,
                                          std::uint32_t rec, std::string_view bytes) const
{
    return std::partition_point(order.begin(), order.end(), [&](std::uint32_t other) {
        return before(tag, other, record(other), rec, bytes);
    });
}

void DbfTable::Impl::build(Tag& tag) const
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

void DbfTable::Impl::removeFromTags(std::uint32_t rec)
{
    const std::string_view bytes = record(rec);
    for (Tag& tag : tags) {
        const auto it = slot(tag, tag.order, rec, bytes);
        if (it != tag.order.end() && *it == rec)
            tag.order.erase(it);
    }
}

void DbfTable::Impl::insertIntoTags(std::uint32_t rec)
{
    const std::string_view bytes = record(rec);
    for (Tag& tag : tags)
        tag.order.insert(slot(tag, tag.order, rec, bytes), rec);
}

std::vector<std::uint32_t>::iterator DbfTable::Impl::viewSlot(std::vector<std::uint32_t>& view, std::uint32_t rec) const
{
    if (activeTag < 0)
        return std::lower_bound(view.begin(), view.end(), rec);
    const Tag& tag = tags[static_cast<std::size_t>(activeTag)];
    return slot(tag, view, rec, record(rec));
}

void DbfTable::Impl::removeFromView(std::vector<std::uint32_t>& view, std::uint32_t rec) const
{
    const auto it = viewSlot(view, rec);
    if (it != view.end() && *it == rec)
        view.erase(it);
}

void DbfTable::Impl::insertIntoView(std::vector<std::uint32_t>& view, std::uint32_t rec) const
{
    if (passes(record(rec)))
        view.insert(viewSlot(view, rec), rec);
}

void DbfTable::Impl::reposition(const Tag* tag, std::vector<std::uint32_t>& order, std::size_t index, std::uint32_t rec) const
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

void DbfTable::Impl::rebuildView(std::vector<std::uint32_t>& view) const
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
