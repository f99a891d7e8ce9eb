// `ravik seller-sprite export RUN_DIR`: the record lists of a run's results
// (a single command's result.json or a batch's results.jsonl) as CSV files
// or one Excel workbook.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"

namespace ravik::cli {

void add_export_command(CLI::App& seller_sprite, CommandAction& action);

}  // namespace ravik::cli
