// The browser subcommands of `ravik seller-sprite`: login, login-status,
// collect, frequency, keyword-mining, keyword-reverse and archive. Those
// with a run directory also keep the result they print there, as
// result.json.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"

namespace ravik::cli {

void add_collector_commands(CLI::App& seller_sprite, CommandAction& action);

}  // namespace ravik::cli
