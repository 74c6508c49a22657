#pragma once

#include "document/edit_history.h"
#include "document/limits.h"
#include "store/flash_decoder.h"
#include "store/measurement_table.h"
#include "store/store_error.h"
#include "store/table_summary.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace document {

// The table was let go to be opened again (Save, renumber, delete, Append) and could not be
// taken back: the document is closed now. The message is the store's reason.
class ReopenError : public store::StoreError {
public:
    ReopenError(const store::StoreError& cause, QString path)
        : store::StoreError(cause.code(), cause.what()), m_path(std::move(path))
    {
    }
    const QString& path() const noexcept { return m_path; }

private:
    QString m_path;
};

// Append decoded the download into the file but could not open the table again afterwards.
class AppendNotSavedError : public ReopenError {
public:
    AppendNotSavedError(const ReopenError& cause, int added) : ReopenError(cause), m_added(added) {}
    int added() const noexcept { return m_added; }

private:
    int m_added;
};

// A typed value the table would not take (a text its code page cannot hold, no number for a
// numeric field, too wide for its field). The message is worded for the user; the code is
// the store's. The row keeps what it held before.
class CellRefused : public store::StoreError {
public:
    using store::StoreError::StoreError;
};

// A value of the table that cannot be read as a number: the record's number as dBase counts
// it (from 1, in file order, deleted records included), the field's name and the field's
// text as stored, blanks trimmed.
struct UnreadableValue {
    int record = 0;
    QString field;
    QString text;
};

// One measurement table as the user works with it: the open file, where it came from (the
// device type that chooses the report), whether it has unsaved edits, and which kind of rows
// its view shows. Every command on the table goes through here, and every change of the
// view is announced, as finely as it is known, so that whatever shows the rows follows
// without being told by hand.
//
// No dialogs, no widgets: commands return what they did or throw StoreError (or one of the
// errors above), and the caller words it for the user.
class MeasurementDocument : public QObject {
    Q_OBJECT

public:
    explicit MeasurementDocument(QObject* parent = nullptr);
    ~MeasurementDocument() override;

    bool isOpen() const noexcept { return m_table.isActive(); }
    // The file of the open table; empty while none is open.
    QString path() const;
    // The instrument type the open table came from: the download that made or extended it,
    // or the first row's DEV_TYPE when it was opened. 0 while nothing tells.
    int deviceType() const noexcept { return m_deviceType; }
    // Whether the table differs from what the file held when it was opened, made or saved
    // (or a cell edit has begun).
    bool isChanged() const noexcept { return m_changed; }
    void setChanged(bool changed);
    // The record kind the view shows (store::kPenetrometerKind or kPressKind).
    int kind() const noexcept { return m_kind; }

    // The table, to read. Every change goes through the commands below, so that it is
    // announced; the row being edited reads its edit buffer through the table's current-row
    // accessors (text(field), real(field)) while isEditing().
    const store::MeasurementTable& table() const noexcept { return m_table; }

    // ---- whole tables ----
    // Opens the table at `path` (any open one is closed first, unsaved edits dropped). The
    // view shows press rows when the table holds any, penetrometer rows otherwise. Throws
    // StoreError (Locked: held by another program; anything else: not a readable measurement
    // table); the document is closed then.
    void open(const QString& path);
    // Opens the table at `path` aside, leaving the document as it is, so that a command can
    // find out whether the new table opens before it closes the one open. Throws what open
    // throws.
    std::unique_ptr<store::MeasurementTable> openAside(const QString& path) const;
    // Makes a table opened aside the document's table, as open(path) would have opened it.
    void open(std::unique_ptr<store::MeasurementTable> opened);
    // The numeric values of the table opened last that are no number ("nan", "1.2.3"), in
    // file order. They read as empty wherever they are shown or exported; this list is what
    // the user is told about them. Found once, at open (one pass over the records); empty
    // after create and close.
    const std::vector<UnreadableValue>& unreadableValues() const noexcept { return m_unreadable; }
    // Makes a new table at `path` (replacing a file there) from a download's records. When
    // a row cannot be written, the table stays open with the rows written so far and the
    // error goes on.
    void create(const QString& path, const store::DownloadedImage& image);
    // Adds the download's records that are newer than the table's last test, then saves.
    // Both tabs lose their sorting first. AppendNotSavedError when the table could not be
    // opened again afterwards (the document is closed then).
    store::DecodeResult append(const store::DownloadedImage& image);
    // Writes everything to the file by closing and opening it again; the view stays as it
    // is. ReopenError when the file cannot be taken back (the document is closed then).
    void save();
    // Closes the table and deletes its production index file (never the table itself).
    // Rows deleted while it was open leave the file now (it is packed); when that fails they
    // stay in it marked deleted, as other dBase programs read them, and the table is closed
    // all the same. Asking about unsaved changes is the caller's part (revertToSaved).
    void close();

    // ---- undo ----
    // Every change of the table (a posted row, deleted rows, renumbering) goes to the file at
    // once, so that a crash loses nothing, and onto the history, to be undone and redone,
    // also in the file. Save and Append are save points; open, create and close clear it.
    bool canUndo() const noexcept { return m_history.canUndo(); }
    bool canRedo() const noexcept { return m_history.canRedo(); }
    // What an undo or redo would take back or do again, worded to follow "Отменить" and
    // "Повторить" («удаление 2 строк»); empty when there is nothing.
    QString undoName() const;
    QString redoName() const;
    // A row being edited is written first (and is then what an undo takes back). Throws
    // StoreError when the file cannot be written; nothing has changed then.
    void undo();
    void redo();
    // Takes the table back to what the file held when it was opened, made or last saved, in
    // the file too (the answer «Нет» to saving the changes). A row being edited is dropped.
    // Throws StoreError when the file cannot be written.
    void revertToSaved();

    // ---- the view ----
    // Shows the rows of `kind`.
    void showKind(int kind);
    // Sorts the view through the index tag `tag` by the field in `column` of the table.
    // Throws StoreError when the tag cannot be built (the view is then in file order).
    void sort(const std::string& tag, int column, bool descending);
    // Back to file order; the tag `tag` is deleted when it exists.
    void unsort(const std::string& tag);
    // Both tabs' tags ("tab2", then "tab1").
    void unsortAll();

    // ---- editing a row ----
    // One row at a time is edited: its changes sit in the table's edit buffer until post()
    // writes them or cancelEdit() drops them. Opening another row posts the one edited first.
    //
    // Opens the live record `record` (a physical number) for editing; nothing when it is the
    // one edited already. Throws StoreError (BadState: no such record; what post throws).
    void beginEdit(std::uint32_t record);
    // Opens a blank new row for editing (posting a row being edited first) and returns the
    // record number it gets when posted; setCellText fills it under that number, and it
    // joins the view when post() writes it. Throws StoreError.
    std::uint32_t beginNewRow();
    // Puts `text` into field `field` (a column of the table) of `record`, opening the record
    // for editing first. A text the table refuses throws CellRefused with the user's reason;
    // the record keeps its value then, and a record opened only for this text is closed
    // again. Other StoreErrors (a post of the row left that fails) go on as they are.
    // Announces editChanged.
    void setCellText(std::uint32_t record, int field, const QString& text);
    // Drops the edits of the row being edited, if any. Announces editChanged.
    void cancelEdit();
    bool isEditing() const noexcept { return editedRecord().has_value(); }
    // The record being edited (a new row's number to be); nullopt when none is.
    std::optional<std::uint32_t> editedRecord() const noexcept;

    // ---- rows ----
    // Writes the row being edited, if any. Throws StoreError.
    void post();
    // Deletes the records (physical numbers, as the view shows them): they are marked
    // deleted in the file at once and leave it when the table is closed. The view returns to
    // file order first. Throws StoreError (nothing is deleted then).
    void deleteRecords(const std::vector<std::uint32_t>& records);
    // Numbers the rows of the view 1, 2, 3… in the order shown, in the file at once. Throws
    // StoreError (nothing is renumbered then).
    void renumber();

    // Minimum, mean and maximum of P and R over the rows of the view, read with a cursor of
    // the summary's own: the table's cursor stays where it is.
    store::TableSummary summary() const;

    // ---- limits ----
    // The minimums of K and E the tests must reach; rows that fall short are marked wherever
    // they are shown. They belong to the program, not the table: they stay over open and close.
    const Limits& limits() const noexcept { return m_limits; }
    void setLimits(const Limits& limits);
    // Whether the record falls short of a limit; how many rows of the view do.
    bool failsLimits(std::uint32_t record) const { return document::failsLimits(m_limits, m_table, record); }
    int failingRows() const { return document::failingRows(m_limits, m_table); }

signals:
    // A table was opened or made, or the open one was closed (or lost). The view was reset.
    void opened();
    void closed();
    // The view was rebuilt from scratch (open, close, the kind shown, a sort): row numbers of
    // before mean nothing now.
    void viewReset();
    // The sorting through `tag` was removed ("" when every tag was).
    void sortRemoved(const QString& tag);
    // The edit buffer of `record` changed (a cell was set, or the edits were dropped): the
    // row shows other values now, while the file holds what it held.
    void editChanged(std::uint32_t record);
    // A row edited through post() reached the file. It stood at view position `from` and now
    // stands at `to`; either is -1 when the row was not in the view then (a new row, or one
    // whose kind no longer matches).
    void rowPosted(std::uint32_t record, int from, int to);
    // Rows first…last (view positions) were added to / removed from the view, or changed.
    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsChanged(int first, int last);
    void changedFlagChanged(bool changed);
    // Other limits: the marks of every row may have changed.
    void limitsChanged();
    // What can be undone or redone changed.
    void historyChanged();

private:
    // Chooses the kind the view shows after open, create and Append: press rows when the
    // table holds any.
    void chooseKind();
    void setKindFilter(int kind);
    // Closes and opens the file again; on failure the document is closed and ReopenError.
    void reopen();
    // Announces how the view went from `before` (with `filterBefore`) to what it is now.
    void announceViewChange(const std::vector<std::uint32_t>& before, const std::string& filterBefore);
    // Lets the table go; `wasOpen` says whether to announce a closing.
    void closeTable(bool wasOpen);
    // What follows any open: the report's instrument, the kind shown, the announcements.
    void tableOpened();
    // Writes `patches` and announces how the view changed.
    void applyPatches(const std::vector<store::RecordPatch>& patches);
    // A change just made: onto the history, and the changed flag follows.
    void remember(TableChange change);
    void historyMoved();
    // Rewrites the file without the rows marked deleted, when there are any.
    void packDeletedRows();

    store::MeasurementTable m_table;
    // The record beginEdit or beginNewRow opened; it counts only while the table is editing (the
    // store posts a pending edit by itself when a command moves or reopens the table).
    std::uint32_t m_editedRecord = 0;
    // The bytes of the edited record when its edit began (empty for a new row).
    std::string m_editBefore;
    EditHistory m_history;
    int m_deviceType = 0;
    bool m_changed = false;
    int m_kind = store::kPenetrometerKind;
    Limits m_limits;
    std::vector<UnreadableValue> m_unreadable;
};

} // namespace document
