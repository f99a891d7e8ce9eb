// Reading a collector result for the person at the terminal and for the
// exit status: was the operation blocked by the site, and what came of it.
#pragma once

#include <string>

#include "ravik/json.h"

namespace ravik::cli {

// True when the site stood in the way: a captcha was shown, nobody is
// logged in ("logged_in" false), or an error record carries the captcha or
// login code.
bool is_blocked(const Json& result);

// A few lines for standard error: the outcome of `command`, where its files
// went, and which sections are missing and why. Ends with a line end.
std::string summarize_result(const std::string& command, const Json& result,
                             const std::string& run_dir);

}  // namespace ravik::cli
