#include "views/grid_column.h"

#include <map>

namespace views {

void copyStoredProperties(GridColumn& to, const GridColumn& from)
{
    to.fieldName = from.fieldName;
    to.width = from.width;
    to.level = from.level;
    to.index = from.index;
    to.titleState = from.titleState;
    to.sortSequence = from.sortSequence;
    to.footerAlignment = from.footerAlignment;
    to.visualOptions = from.visualOptions;
    to.color = from.color;
    to.alignment = from.alignment;
    to.font = from.font;
}

void applyStoredLayout(GridColumns& target, const GridColumns& stored)
{
    // For every field name, the target columns that show it, in grid order; the k-th stored
    // column of a name goes to the k-th of these.
    std::map<QString, std::vector<std::size_t>> byField;
    for (std::size_t i = 0; i < target.size(); ++i)
        byField[target[i].fieldName.toUpper()].push_back(i);
    std::map<QString, std::size_t> used;
    for (const GridColumn& s : stored) {
        const QString key = s.fieldName.toUpper();
        const auto it = byField.find(key);
        if (it == byField.end())
            continue;
        std::size_t& k = used[key];
        if (k >= it->second.size())
            continue;
        GridColumn& t = target[it->second[k++]];
        copyStoredProperties(t, s);
        t.titleState = TitleState::None;
        t.sortSequence = 0;
    }
}

} // namespace views
