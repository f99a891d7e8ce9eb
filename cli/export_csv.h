// Tables as CSV files that spreadsheet programs open as they are: UTF-8
// with a byte-order mark (without one, Excel reads Chinese text as another
// encoding), RFC 4180 quoting and CRLF line ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/export_tables.h"

namespace ravik::cli {

// The CSV text of `table`: the byte-order mark, the header line, then one
// line per row, each ending in CRLF. A field holding a comma, a double
// quote, CR or LF is quoted, its quotes doubled; cells as cell_text.
std::string csv_text(const Table& table);

// Writes each table to `dir`/<name>.csv, the name made a safe and unique
// file name, each file replaced whole (written beside it, then renamed).
// `dir` must exist. Answers the files written, in the tables' order.
// Throws std::runtime_error naming the file, with the system's reason as
// its cause.
std::vector<std::filesystem::path> write_csv_files(const std::vector<Table>& tables, const std::filesystem::path& dir);

}  // namespace ravik::cli
