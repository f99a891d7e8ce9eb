// `ravik seller-sprite doctor`: checks the environment, the configuration
// and the site before a user files a bug, and says what is wrong.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command.h"

namespace ravik::cli {

void add_doctor_command(CLI::App& seller_sprite, CommandAction& action);

}  // namespace ravik::cli
