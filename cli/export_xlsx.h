// Tables as one Excel workbook, written with libxlsxwriter: a sheet per
// table, the header row bold and frozen, numbers as numbers, true and false
// as booleans, everything else as text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/export_tables.h"

namespace ravik::cli {

// Writes `tables` as the workbook `path`: built in a file beside it, then
// put in its place whole, so `path` is never a half-written workbook. Sheet
// names are the table names made valid for Excel (at most 31 characters,
// none of []:*?/\' , unique ignoring case). Integers of more than 15 digits,
// which Excel would round, are written as text. The parent directory must
// exist. Throws std::runtime_error in plain words (a text over Excel's
// 32,767 characters a cell, more rows or columns than a sheet holds, a file
// that cannot be written), naming the sheet, row and column where a cell is
// at fault. Answers the sheets' names, in the tables' order.
std::vector<std::string> write_workbook(const std::vector<Table>& tables, const std::filesystem::path& path);

}  // namespace ravik::cli
