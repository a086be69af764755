#pragma once

// How each list orders two rows by one column: numbers largest first, text
// from A to Z with case folded. A text in a number column that is no integer
// raises EConvertError.

#include "ListRow.h"

int CompareProcessRows(const ListRow& item1, const ListRow& item2, int column);
int CompareListenerRows(const ListRow& item1, const ListRow& item2, int column);
// A UDP row's "N/A" in L Port or R Port puts the first row first, whichever
// row holds it; that is no consistent order, which the sort must survive.
int CompareConnectionRows(const ListRow& item1, const ListRow& item2, int column);
