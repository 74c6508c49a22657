#include "document/measurement_document.h"

#include "store/dbf_file.h"
#include "store/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace document {
namespace {

bool sameFile(const QFileInfo& a, const QFileInfo& b)
{
    // The file system decides (hard links, symbolic links, case-insensitive names); when it
    // cannot tell, the canonical paths do.
    std::error_code error;
    if (std::filesystem::equivalent(a.filesystemFilePath(), b.filesystemFilePath(), error))
        return true;
    const QString canonical = a.canonicalFilePath();
    return !canonical.isEmpty() && canonical == b.canonicalFilePath();
}

// The production index never outlives the open table; a stale one would describe rows that
// have changed since. It is named like the table with ".mdx", so a table that is itself
// called "x.mdx" would be deleted in its place: the table's own file is never touched.
void removeIndexFile(const QString& tablePath)
{
    const QFileInfo table(tablePath);
    const QFileInfo index(table.dir().filePath(table.completeBaseName() + QStringLiteral(".mdx")));
    if (!index.exists() || sameFile(table, index))
        return;
    QFile::remove(index.filePath());
}

bool hasTag(const store::DbfTable& table, const std::string& tag)
{
    const std::vector<std::string> names = table.tagNames();
    return std::find(names.begin(), names.end(), tag) != names.end();
}

// The characters of `text` that `codec` cannot hold, each once, in «».
QString unstorableCharacters(const store::TextCodec& codec, const QString& text)
{
    QStringList found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A character outside the basic plane comes as a surrogate pair: keep it whole.
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString ch = text.mid(i, n);
        i += n - 1;
        if (!codec.encode(ch) && !found.contains(QStringLiteral("«%1»").arg(ch)))
            found << QStringLiteral("«%1»").arg(ch);
    }
    return found.join(QStringLiteral(", "));
}

QString codePageName(const store::TextCodec& codec)
{
    switch (codec.page()) {
    case store::TextCodec::CodePage::Dos866:
        return QStringLiteral("DOS 866");
    case store::TextCodec::CodePage::Windows1251:
        break;
    }
    return QStringLiteral("Windows-1251");
}

// Why the table would not take `text`, in the user's words; empty for an error that is no
// refusal of the value (a file that cannot be written, a table that is gone).
QString refusalOf(const store::StoreError& error, const store::TextCodec& codec, const QString& text)
{
    switch (error.code()) {
    case store::StoreError::Code::BadText: {
        const QString chars = unstorableCharacters(codec, text);
        if (chars.isEmpty())
            return QString::fromUtf8(error.what());
        return QStringLiteral("Текст не записан: в кодировке %1, в которой хранится "
                              "таблица, нет знаков %2. Замените их и введите текст снова.")
            .arg(codePageName(codec), chars);
    }
    case store::StoreError::Code::BadNumber:
        return QStringLiteral("«%1» не является числом. Введите число, например 12%25.")
            .arg(text.trimmed(), QLocale().decimalPoint());
    case store::StoreError::Code::ValueTooWide:
        return QString::fromUtf8(error.what());
    default:
        return {};
    }
}

} // namespace

MeasurementDocument::MeasurementDocument(QObject* parent) : QObject(parent) {}

MeasurementDocument::~MeasurementDocument() = default;

QString MeasurementDocument::path() const
{
    return isOpen() ? m_table.table().path() : QString();
}

void MeasurementDocument::setChanged(bool changed)
{
    if (m_changed == changed)
        return;
    m_changed = changed;
    emit changedFlagChanged(changed);
}

// ---- whole tables ------------------------------------------------------------------------------

void MeasurementDocument::open(const QString& path)
{
    if (isOpen())
        closeTable(isOpen());
    m_unreadable.clear();
    try {
        m_table.open(path);
    } catch (...) {
        emit viewReset();
        throw;
    }
    tableOpened();
}

std::unique_ptr<store::MeasurementTable> MeasurementDocument::openAside(const QString& path) const
{
    auto table = std::make_unique<store::MeasurementTable>();
    table->open(path);
    return table;
}

void MeasurementDocument::open(std::unique_ptr<store::MeasurementTable> opened)
{
    if (isOpen())
        closeTable(isOpen());
    m_table.adopt(*opened);
    tableOpened();
}

void MeasurementDocument::tableOpened()
{
    m_history.clear();
    emit historyChanged();
    // The report follows the instrument of the table's first row (a plate-test device writes
    // 13), whichever kind of rows was shown before.
    const store::DbfTable& table = m_table.table();
    std::optional<std::int64_t> type;
    for (std::uint32_t rec = 0; rec < table.physicalCount(); ++rec) {
        if (!table.isDeleted(rec)) {
            type = table.integer(rec, m_table.column(store::Field::DEV_TYPE));
            break;
        }
    }
    m_deviceType = static_cast<std::uint8_t>(type.value_or(0) & 0xFF);
    m_unreadable.clear();
    for (const store::UnreadableNumber& found : table.unreadableNumbers()) {
        const auto field = static_cast<std::size_t>(found.field);
        m_unreadable.push_back({static_cast<int>(found.record) + 1, QString::fromStdString(table.fields()[field].name),
                                table.text(found.record, found.field)});
    }
    chooseKind();
    setChanged(false);
    emit viewReset();
    emit opened();
}

void MeasurementDocument::create(const QString& path, const store::DownloadedImage& image)
{
    if (isOpen())
        closeTable(isOpen());
    setChanged(false);
    m_history.clear();
    emit historyChanged();
    store::MeasurementTable::create(path);
    m_table.open(path);
    m_deviceType = image.dev_type;
    // Even when writing a row fails, the table is open with the rows written so far.
    try {
        store::decodeImage(m_table, image, false);
    } catch (...) {
        chooseKind();
        emit viewReset();
        emit opened();
        throw;
    }
    chooseKind();
    setChanged(false);
    emit viewReset();
    emit opened();
}

store::DecodeResult MeasurementDocument::append(const store::DownloadedImage& image)
{
    if (!isOpen())
        throw store::StoreError(store::StoreError::Code::NotActive,
                                "Таблица не открыта: записи прибора добавить некуда. Откройте таблицу снова.");
    post();
    // New rows go to the end of the file and are found there only in file order.
    unsortAll();
    const std::vector<std::uint32_t> before = m_table.table().view();
    const std::string filterBefore = m_table.table().filter();
    store::DecodeResult result;
    try {
        result = store::decodeImage(m_table, image, true);
    } catch (...) {
        // The decoder leaves the penetrometer rows shown; the kind shown gets its own back.
        setKindFilter(m_kind);
        announceViewChange(before, filterBefore);
        throw;
    }
    m_deviceType = image.dev_type;
    try {
        reopen();
    } catch (const ReopenError& error) {
        throw AppendNotSavedError(error, result.added);
    }
    chooseKind();
    m_history.markSaved();
    historyMoved();
    announceViewChange(before, filterBefore);
    return result;
}

void MeasurementDocument::save()
{
    if (!isOpen())
        return;
    post();
    const std::vector<std::uint32_t> before = m_table.table().view();
    const std::string filter = m_table.table().filter();
    reopen();
    m_history.markSaved();
    historyMoved();
    announceViewChange(before, filter);
}

void MeasurementDocument::close()
{
    const QString tablePath = path();
    if (isOpen()) {
        try {
            cancelEdit();
            packDeletedRows();
        } catch (const store::StoreError&) {
            // The rows stay in the file, marked deleted: no program shows them.
        }
    }
    closeTable(isOpen());
    if (!tablePath.isEmpty())
        removeIndexFile(tablePath);
}

void MeasurementDocument::closeTable(bool wasOpen)
{
    m_table.close();
    m_unreadable.clear();
    m_history.clear();
    emit historyChanged();
    setChanged(false);
    emit viewReset();
    if (wasOpen)
        emit closed();
}

void MeasurementDocument::reopen()
{
    const QString tablePath = path();
    try {
        m_table.table().reopen();
    } catch (const store::StoreError& error) {
        // The file was let go and could not be taken back (removed, replaced, locked by
        // someone else in between): nothing may go on working on a table that is not open.
        closeTable(true);
        throw ReopenError(error, tablePath);
    } catch (...) {
        closeTable(true);
        throw;
    }
}

// ---- the view ------------------------------------------------------------------------------------

void MeasurementDocument::chooseKind()
{
    if (!isOpen())
        return;
    store::DbfTable& table = m_table.table();
    table.first();
    // Setting a filter rebuilds the view.
    table.setFilter(store::kindFilter(store::kPressKind));
    // A single press row makes this a press table: its rows are the ones worth showing.
    m_kind = table.recordCount() > 0 ? store::kPressKind : store::kPenetrometerKind;
    if (m_kind != store::kPressKind)
        setKindFilter(m_kind);
}

void MeasurementDocument::setKindFilter(int kind)
{
    m_kind = kind;
    if (!isOpen())
        return;
    m_table.table().setFilter(store::kindFilter(kind));
}

void MeasurementDocument::showKind(int kind)
{
    if (!isOpen()) {
        m_kind = kind;
        return;
    }
    post();
    const std::vector<std::uint32_t> before = m_table.table().view();
    const std::string filter = m_table.table().filter();
    setKindFilter(kind);
    announceViewChange(before, filter);
}

void MeasurementDocument::sort(const std::string& tag, int column, bool descending)
{
    if (!isOpen())
        return;
    post();
    store::DbfTable& table = m_table.table();
    try {
        table.setIndexName({});
        if (hasTag(table, tag))
            table.deleteIndex(tag);
        m_table.addSortTag(tag, column, descending);
        table.setIndexName(tag);
        table.regenerateIndexes();
        table.refresh();
    } catch (...) {
        table.refresh();
        emit viewReset();
        throw;
    }
    emit viewReset();
}

void MeasurementDocument::unsort(const std::string& tag)
{
    if (isOpen()) {
        post();
        store::DbfTable& table = m_table.table();
        const bool sorted = !table.indexName().empty();
        // Back to file order (a view rebuilt only when it was sorted); the tag goes with it.
        table.setIndexName({});
        if (hasTag(table, tag))
            table.deleteIndex(tag);
        if (sorted)
            emit viewReset();
    }
    emit sortRemoved(QString::fromStdString(tag));
}

void MeasurementDocument::unsortAll()
{
    unsort(store::kTab2);
    unsort(store::kTab1);
}

void MeasurementDocument::announceViewChange(const std::vector<std::uint32_t>& before, const std::string& filterBefore)
{
    if (!isOpen()) {
        emit viewReset();
        return;
    }
    const std::vector<std::uint32_t>& after = m_table.table().view();
    if (m_table.table().filter() != filterBefore) {
        emit viewReset();
        return;
    }
    if (after == before)
        return;
    // Rows added at the end of the file, the rows before them as they were.
    if (after.size() > before.size() && std::equal(before.begin(), before.end(), after.begin())) {
        emit rowsInserted(static_cast<int>(before.size()), static_cast<int>(after.size()) - 1);
        return;
    }
    emit viewReset();
}

// ---- editing a row -------------------------------------------------------------------------------

std::optional<std::uint32_t> MeasurementDocument::editedRecord() const noexcept
{
    if (!isOpen() || m_table.table().state() == store::DbfTable::State::Browse)
        return std::nullopt;
    return m_editedRecord;
}

std::uint32_t MeasurementDocument::beginNewRow()
{
    if (!isOpen())
        throw store::StoreError(store::StoreError::Code::NotActive, "Таблица не открыта");
    post();
    store::DbfTable& table = m_table.table();
    table.append();
    m_editedRecord = table.physicalCount();
    m_editBefore.clear();
    return m_editedRecord;
}

void MeasurementDocument::beginEdit(std::uint32_t record)
{
    if (!isOpen())
        throw store::StoreError(store::StoreError::Code::NotActive, "Таблица не открыта");
    if (editedRecord() == record)
        return;
    // Leaving an edited row for another writes it, as a move of the cursor always has.
    post();
    m_table.table().editRecord(record);
    m_editedRecord = record;
    m_editBefore = std::string(m_table.table().recordBytes(record));
}

void MeasurementDocument::setCellText(std::uint32_t record, int field, const QString& text)
{
    const bool opened = editedRecord() != record;
    beginEdit(record);
    store::DbfTable& table = m_table.table();
    try {
        table.setText(field, text);
    } catch (const store::StoreError& error) {
        if (opened)
            table.cancel();
        const QString refusal = refusalOf(error, table.codec(), text);
        if (refusal.isEmpty())
            throw;
        throw CellRefused(error.code(), refusal.toStdString());
    } catch (...) {
        if (opened)
            table.cancel();
        throw;
    }
    emit editChanged(record);
}

void MeasurementDocument::cancelEdit()
{
    const auto record = editedRecord();
    if (!record)
        return;
    m_table.table().cancel();
    emit editChanged(*record);
}

// ---- rows ----------------------------------------------------------------------------------------

void MeasurementDocument::post()
{
    if (!isOpen())
        return;
    store::DbfTable& table = m_table.table();
    if (table.state() == store::DbfTable::State::Browse)
        return;
    const bool appending = table.state() == store::DbfTable::State::Insert;
    const auto record = editedRecord();
    const int from = record && !appending ? table.positionOf(*record) : -1;
    table.post();
    // A new row is the last record of the file now, whether the view shows it or not.
    const auto posted = appending ? std::optional<std::uint32_t>(table.physicalCount() - 1) : record;
    if (!posted)
        return;
    emit rowPosted(*posted, from, table.positionOf(*posted));
    // Undone, a new row is marked deleted; an edited one gets back the bytes that changed.
    if (appending) {
        remember({QStringLiteral("добавление строки"), {{*posted, 0, std::string(1, store::dbf::kDeletedRecord)}},
                  {{*posted, 0, std::string(1, store::dbf::kLiveRecord)}}});
        return;
    }
    const std::string_view after = table.recordBytes(*posted);
    if (m_editBefore.size() != after.size() || m_editBefore == after)
        return;
    std::size_t first = 0;
    while (m_editBefore[first] == after[first])
        ++first;
    std::size_t end = after.size();
    while (m_editBefore[end - 1] == after[end - 1])
        --end;
    const int at = static_cast<int>(first);
    remember({QStringLiteral("изменение строки"), {{*posted, at, m_editBefore.substr(first, end - first)}},
              {{*posted, at, std::string(after.substr(first, end - first))}}});
    m_editBefore = std::string(after);
}

void MeasurementDocument::deleteRecords(const std::vector<std::uint32_t>& records)
{
    if (!isOpen())
        return;
    post();
    // The view returns to file order first, as it always has.
    unsortAll();
    store::DbfTable& table = m_table.table();
    // Where the rows stand in the view before any of them goes.
    std::vector<int> positions;
    for (std::uint32_t rec : records)
        if (const int p = table.positionOf(rec); p >= 0)
            positions.push_back(p);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());

    TableChange change;
    for (const int position : positions) {
        const std::uint32_t rec = table.recordAt(position);
        change.before.push_back({rec, 0, std::string(1, store::dbf::kLiveRecord)});
        change.after.push_back({rec, 0, std::string(1, store::dbf::kDeletedRecord)});
    }
    if (change.after.empty())
        return;
    // Marked deleted in one write of the file: all of them, or none when it fails.
    try {
        table.patchRecords(change.after);
    } catch (...) {
        emit viewReset();
        throw;
    }
    // "удаление строки", "удаление 2 строк", "удаление 21 строки".
    const int count = static_cast<int>(change.after.size());
    if (count == 1)
        change.name = QStringLiteral("удаление строки");
    else if (count % 10 == 1 && count % 100 != 11)
        change.name = QStringLiteral("удаление %1 строки").arg(count);
    else
        change.name = QStringLiteral("удаление %1 строк").arg(count);
    remember(std::move(change));
    // Announced from the last run of rows up, so that every number still names the row it
    // named before the deletion.
    for (auto it = positions.rbegin(); it != positions.rend();) {
        const int last = *it;
        int first = last;
        for (++it; it != positions.rend() && *it == first - 1; ++it)
            first = *it;
        emit rowsRemoved(first, last);
    }
}

void MeasurementDocument::renumber()
{
    if (!isOpen())
        return;
    post();
    // Numbers follow the rows as the view shows them now, each written over the N it had.
    store::DbfTable& table = m_table.table();
    const std::vector<std::uint32_t> rows = table.view();
    const std::string filter = table.filter();
    const int field = m_table.column(store::Field::N);
    const store::FieldDef& def = table.fields()[static_cast<std::size_t>(field)];
    TableChange change;
    change.name = QStringLiteral("перенумерацию строк");
    double number = 1;
    for (std::uint32_t rec : rows) {
        const std::string_view old = table.rawField(rec, field);
        const int at = static_cast<int>(old.data() - table.recordBytes(rec).data());
        const std::optional<std::string> text = store::formatNumeric(number++, def.width, def.decimals);
        if (!text)
            throw store::StoreError(store::StoreError::Code::ValueTooWide,
                                    QStringLiteral("Номер %1 не помещается в поле N: строки не перенумерованы.")
                                        .arg(number - 1)
                                        .toStdString());
        if (*text == old)
            continue;
        change.before.push_back({rec, at, std::string(old)});
        change.after.push_back({rec, at, *text});
    }
    table.first();
    if (change.after.empty())
        return;
    try {
        table.patchRecords(change.after);
    } catch (...) {
        emit viewReset();
        throw;
    }
    table.first();
    remember(std::move(change));
    if (table.view() == rows) {
        if (!rows.empty())
            emit rowsChanged(0, static_cast<int>(rows.size()) - 1);
    } else {
        announceViewChange(rows, filter);
    }
}

// ---- undo ----------------------------------------------------------------------------------------

QString MeasurementDocument::undoName() const
{
    const TableChange* change = m_history.nextUndo();
    return change ? change->name : QString();
}

QString MeasurementDocument::redoName() const
{
    const TableChange* change = m_history.nextRedo();
    return change ? change->name : QString();
}

void MeasurementDocument::undo()
{
    if (!isOpen())
        return;
    post();
    if (const TableChange* change = m_history.nextUndo()) {
        applyPatches(change->before);
        m_history.undone();
        historyMoved();
    }
}

void MeasurementDocument::redo()
{
    if (!isOpen())
        return;
    post();
    if (const TableChange* change = m_history.nextRedo()) {
        applyPatches(change->after);
        m_history.redone();
        historyMoved();
    }
}

void MeasurementDocument::revertToSaved()
{
    if (!isOpen())
        return;
    cancelEdit();
    // One change of the file, so that a failure leaves it as it is: the patches of every
    // step in order, a later one over an earlier one.
    std::vector<store::RecordPatch> patches;
    for (const std::vector<store::RecordPatch>* step : m_history.revertSteps())
        patches.insert(patches.end(), step->begin(), step->end());
    applyPatches(patches);
    m_history.clear();
    historyMoved();
}

void MeasurementDocument::applyPatches(const std::vector<store::RecordPatch>& patches)
{
    store::DbfTable& table = m_table.table();
    const std::vector<std::uint32_t> before = table.view();
    const std::string filter = table.filter();
    try {
        table.patchRecords(patches);
    } catch (...) {
        emit viewReset();
        throw;
    }
    // The same rows with other values, or rows back in the view or gone from it.
    if (table.view() == before) {
        for (const store::RecordPatch& p : patches)
            if (const int position = table.positionOf(p.record); position >= 0)
                emit rowsChanged(position, position);
        return;
    }
    announceViewChange(before, filter);
}

void MeasurementDocument::remember(TableChange change)
{
    m_history.push(std::move(change));
    historyMoved();
}

void MeasurementDocument::historyMoved()
{
    setChanged(!m_history.atSaved());
    emit historyChanged();
}

void MeasurementDocument::packDeletedRows()
{
    store::DbfTable& table = m_table.table();
    for (std::uint32_t rec = 0; rec < table.physicalCount(); ++rec)
        if (table.isDeleted(rec)) {
            table.pack();
            return;
        }
}

store::TableSummary MeasurementDocument::summary() const
{
    return store::summarizeTable(m_table);
}

void MeasurementDocument::setLimits(const Limits& limits)
{
    if (limits == m_limits)
        return;
    m_limits = limits;
    emit limitsChanged();
}

} // namespace document
