// The host's configuration directory.
#pragma once

#include <filesystem>

#include "ravik/export/host_export.h"

namespace ravik::config {

// The directory that holds the browser profile and the version cache:
// "$RAVIK_CONFIG_DIR" when that variable is set and not empty, else
// "~/.config/ravik" with the home directory of environment::home_directory().
// Read from the environment once, on first use. Throws std::runtime_error
// (the cause nested) when neither gives a directory; a later call tries again.
RAVIK_HOST_EXPORT const std::filesystem::path& CONFIG_DIR();

}  // namespace ravik::config
