// `ravik seller-sprite scenarios`: list the SellerSprite API scenarios, show
// one, or build the request of one from key=value parameters.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "ravik/json.h"

namespace ravik::cli {

void add_scenario_commands(CLI::App& seller_sprite, CommandAction& action);

// Request parameters from command-line words: "key=value" gives the text
// value, "key:=json" the JSON value (e.g. "size:=100", "asins:=[\"B0..\"]").
// A later key replaces an earlier one in place. Throws std::invalid_argument
// for a word without "=", with an empty key, or with invalid JSON after ":=".
Json parse_parameters(const std::vector<std::string>& words);

}  // namespace ravik::cli
