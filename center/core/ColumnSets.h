#pragma once

#include "center/core/CommandRules.h"
#include "center/core/WindowSettings.h"

#include <vector>

// The column sets of the list and the description pane for each navigation kind, with the
// settings value that keeps their widths.
namespace center {

struct ColumnSet {
    const char* valueName; // null: widths are not stored
    std::vector<ColumnSpec> columns;
};

const ColumnSet& ListColumns(NavKind kind);
// The description pane's set: key files (kind 0), encrypted files (3, 4), scheduled tasks (6), the
// task log (5, one column without header). Kinds 1 and 2 describe nothing and get the file set.
const ColumnSet& DescriptionColumns(NavKind kind);

} // namespace center
