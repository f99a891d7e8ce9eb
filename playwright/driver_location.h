// Where the Playwright driver (node + playwright-core's cli.js) and the
// Chromium executable are found on this machine.
#pragma once

#include <filesystem>
#include <string_view>

#include "ravik/export/playwright_export.h"

namespace playwright {

struct DriverLocation {
  std::filesystem::path node;    // the node executable
  std::filesystem::path cli_js;  // <playwright-core>/cli.js
};

// Finds node and the pinned playwright-core, without starting anything.
// Throws DriverNotInstalledError naming what is missing.
RAVIK_PLAYWRIGHT_EXPORT DriverLocation locate_driver();

// The two halves of locate_driver(), for a report of which one is missing:
// the node executable ($RAVIK_NODE, else the first "node" on PATH) and the
// pinned playwright-core's cli.js. Each throws DriverNotInstalledError.
RAVIK_PLAYWRIGHT_EXPORT std::filesystem::path locate_node();
RAVIK_PLAYWRIGHT_EXPORT std::filesystem::path locate_playwright_core_cli();

// The playwright-core version the client speaks to, e.g. "1.64.1".
RAVIK_PLAYWRIGHT_EXPORT std::string_view pinned_playwright_core_version();

}  // namespace playwright
