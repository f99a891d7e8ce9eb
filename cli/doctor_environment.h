// The environment checks of `ravik seller-sprite doctor`: node, the pinned
// Playwright driver, Chromium (found, its version, a headless launch and
// close) and fonts for Chinese text.
#pragma once

#include <vector>

#include "cli/doctor_report.h"

namespace ravik::cli {

struct EnvironmentReport {
  std::vector<CheckLine> lines;
  bool browser_starts = false;  // the driver started and a headless Chromium launched and closed
};

// Runs the checks in that order; a check that needs an earlier one that
// failed is reported as not checked. Never throws for what it finds.
EnvironmentReport check_environment();

}  // namespace ravik::cli
