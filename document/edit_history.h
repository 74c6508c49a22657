#pragma once

#include "store/dbf_table.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

namespace document {

// One change of a table as the user made it, and how to take it back: the bytes of the
// records it touched before and after it, as patches of the file.
struct TableChange {
    // What the user did, worded to follow "Отменить" and "Повторить": «удаление 2 строк».
    QString name;
    std::vector<store::RecordPatch> before; // put back by an undo
    std::vector<store::RecordPatch> after;  // put back by a redo
};

// The changes of the open table, to undo and redo, and the point at which the file was last
// saved (or opened). It only keeps the changes: the document applies them to the table.
// Plain Qt core, so that the batch commands, which have no window, link it without Qt's GUI.
class EditHistory {
public:
    // A change the document has just made. The changes undone before it are dropped; when
    // the saved point was among them, the way back to it is kept (revertSteps).
    void push(TableChange change);
    void clear();

    bool canUndo() const noexcept { return m_done > 0; }
    bool canRedo() const noexcept { return m_done < m_changes.size(); }
    // The change an undo or a redo would apply; null when there is none.
    const TableChange* nextUndo() const noexcept { return canUndo() ? &m_changes[m_done - 1] : nullptr; }
    const TableChange* nextRedo() const noexcept { return canRedo() ? &m_changes[m_done] : nullptr; }
    // The document has applied nextUndo().before / nextRedo().after.
    void undone() noexcept;
    void redone() noexcept;

    // The file holds what it held when it was saved or opened.
    void markSaved() noexcept;
    bool atSaved() const noexcept;
    // The patches that take the table from where it is back to the saved point, in the
    // order to apply them.
    std::vector<const std::vector<store::RecordPatch>*> revertSteps() const;

private:
    std::vector<TableChange> m_changes;
    std::size_t m_done = 0; // changes applied, from the first
    // m_done when the file was saved; nullopt when that point was dropped by a push, and
    // the way back goes through m_branch instead.
    std::optional<std::size_t> m_saved = 0;
    // When a push dropped the saved point: where the dropped changes branched off, and the
    // dropped changes up to the saved point, to be redone from there.
    std::size_t m_branchAt = 0;
    std::vector<TableChange> m_branch;
};

} // namespace document
