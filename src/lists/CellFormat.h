#pragma once

// Amount cells as the lists show them and sort them.

#include "ListRow.h"

#include <cstdint>
#include <string>

// A byte count in binary units with one decimal ("3.1 GiB"); counts below
// 1 KiB as they are ("512 B").
std::string ByteAmountText(uint64_t bytes);

// The text a cell shows in a column of that format.
std::string ShownCell(CellFormat format, const std::string& cell);

// Largest first; an empty cell after every number.
int CompareAmounts(const std::string& cell1, const std::string& cell2);

// Two cells of a column that is not plain text: amounts by CompareAmounts,
// others by their shown text, A to Z.
int CompareFormattedCells(CellFormat format, const std::string& cell1, const std::string& cell2);
