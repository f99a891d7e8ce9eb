// `ravik seller-sprite ...`: the browser collector's subcommands, the API
// scenario registry and the export of a run's results to spreadsheets.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"

namespace ravik::cli {

void add_seller_sprite_commands(CLI::App& app, CommandAction& action);

}  // namespace ravik::cli
