// The environment of the Playwright driver, which the Chromium it launches
// inherits: only what node and Chromium need from the host's environment
// (paths, locale, display, fonts, proxies, the driver's own switches), so
// that nothing else of the host -- an account password above all -- reaches
// a browser process or its crash reports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace playwright::detail {

// Whether the variable `name` passes to the driver.
bool passes_to_driver(std::string_view name);

// The entries ("NAME=value") of `host_environment` (an environ-style array
// ending in null) that pass, and the client language the driver is told.
std::vector<std::string> driver_environment(const char* const* host_environment);

}  // namespace playwright::detail
