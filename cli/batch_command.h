// `ravik seller-sprite batch`: many keywords or ASINs collected one after
// another in one browser, each item's result appended to
// RUN_DIR/results.jsonl as it finishes, so that a stopped run can be taken
// up again with --resume RUN_DIR.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"

namespace ravik::cli {

void add_batch_command(CLI::App& seller_sprite, CommandAction& action);

}  // namespace ravik::cli
