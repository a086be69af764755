#pragma once

#include "ListRow.h"
#include "platform/ProcessApi.h"

// A Service cell on each row (see ServiceCell): the cgroup path of the row's
// process, each process read once, or of the row's socket where its owner is
// unknown; empty where neither can be read. The names of Podman and
// Kubernetes containers are looked for only when a row is in one.
void AddServiceCells(ListRows& rows, platform::ProcessApi& processes);
