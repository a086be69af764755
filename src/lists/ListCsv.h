#pragma once

// A list as CSV (RFC 4180): records end in CRLF, and a field that holds a
// comma, a quote, CR or LF is quoted with its quotes doubled. Cells are
// written as the lists hold them, byte for byte: an executable name is any
// byte string, and rewriting bytes that are not UTF-8 would name another
// file. Every byte the CSV syntax uses is ASCII, which no other byte can
// imitate in UTF-8, so a reader splits fields alike whatever the cells hold.

#include "ListRow.h"

#include <QString>
#include <string>
#include <vector>

void AppendCsvRecord(std::string& csv, const std::vector<std::string>& cells);

// Replaces the file at path with bytes, readable by the owner only, or
// leaves it as it was: an error text when that failed, else empty.
QString SaveFileAtomically(const QString& path, const std::string& bytes);
