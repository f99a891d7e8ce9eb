// Where the Playwright driver (node + playwright-core's cli.js) and the
// Chromium executable are found on this machine.
#pragma once

#include <filesystem>

#include "ravik/export/playwright_export.h"

namespace playwright {

struct DriverLocation {
  std::filesystem::path node;    // the node executable
  std::filesystem::path cli_js;  // <playwright-core>/cli.js
};

// Finds node and the pinned playwright-core, without starting anything.
// Throws DriverNotInstalledError naming what is missing.
RAVIK_PLAYWRIGHT_EXPORT DriverLocation locate_driver();

}  // namespace playwright
