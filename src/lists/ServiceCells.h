#pragma once

#include "ListRow.h"
#include "platform/ProcessApi.h"

// A Service cell on each row: the cgroup path of the row's process (the
// caption), each process read once; empty where it cannot be read.
void AddServiceCells(ListRows& rows, platform::ProcessApi& processes);
