#include "document/edit_history.h"

#include <iterator>

namespace document {

void EditHistory::push(TableChange change)
{
    if (m_saved && *m_saved > m_done) {
        // The saved point lies among the changes undone: keep the way to it.
        m_branchAt = m_done;
        m_branch.assign(std::make_move_iterator(m_changes.begin() + std::ptrdiff_t(m_done)),
                        std::make_move_iterator(m_changes.begin() + std::ptrdiff_t(*m_saved)));
        m_saved.reset();
    } else if (!m_saved && m_branchAt > m_done) {
        // Undone past an older branch point: the branch hangs off a change dropped now.
        // Keep the way through the dropped changes in front of it.
        std::vector<TableChange> way(std::make_move_iterator(m_changes.begin() + std::ptrdiff_t(m_done)),
                                     std::make_move_iterator(m_changes.begin() + std::ptrdiff_t(m_branchAt)));
        way.insert(way.end(), std::make_move_iterator(m_branch.begin()), std::make_move_iterator(m_branch.end()));
        m_branch = std::move(way);
        m_branchAt = m_done;
    }
    m_changes.erase(m_changes.begin() + std::ptrdiff_t(m_done), m_changes.end());
    m_changes.push_back(std::move(change));
    ++m_done;
}

void EditHistory::clear()
{
    m_changes.clear();
    m_branch.clear();
    m_done = 0;
    m_saved = 0;
    m_branchAt = 0;
}

void EditHistory::undone() noexcept
{
    if (m_done > 0)
        --m_done;
}

void EditHistory::redone() noexcept
{
    if (m_done < m_changes.size())
        ++m_done;
}

void EditHistory::markSaved() noexcept
{
    m_saved = m_done;
    m_branch.clear();
    m_branchAt = 0;
}

bool EditHistory::atSaved() const noexcept
{
    return m_saved && *m_saved == m_done;
}

std::vector<const std::vector<store::RecordPatch>*> EditHistory::revertSteps() const
{
    std::vector<const std::vector<store::RecordPatch>*> steps;
    const std::size_t target = m_saved ? *m_saved : m_branchAt;
    for (std::size_t i = m_done; i > target; --i)
        steps.push_back(&m_changes[i - 1].before);
    for (std::size_t i = m_done; i < target; ++i)
        steps.push_back(&m_changes[i].after);
    if (!m_saved)
        for (const TableChange& change : m_branch)
            steps.push_back(&change.after);
    return steps;
}

} // namespace document
