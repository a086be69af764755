#include "ListRow.h"

const std::string& ListRow::column(int index) const {
    static const std::string empty;
    if (index == 0)
        return caption;
    if (index < 0 || static_cast<size_t>(index) > subItems.size())
        return empty;
    return subItems[static_cast<size_t>(index) - 1];
}
