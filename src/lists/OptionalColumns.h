#pragma once

// The columns that list options add after a list's own, in a fixed order
// per option, so a row builder appends each option's cells in that order.

#include "ListRow.h"

#include <vector>

enum class ListKind { Processes, Listeners, Connections };

// Options that change which columns a list shows; every one off by default,
// which leaves each list its own columns only.
struct ColumnOptions {
    bool traffic = false;
    bool service = false;
    bool liveRefresh = false; // says over what time a rate is taken
};

std::vector<ListColumn> WithOptionalColumns(std::vector<ListColumn> columns, ListKind list,
                                            const ColumnOptions& options);
