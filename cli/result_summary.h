// Reading a collector result for the person at the terminal and for the
// exit status: was the operation blocked by the site, and what came of it.
#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "ravik/json.h"

namespace ravik::cli {

// True when the site stood in the way: a captcha was shown, nobody is
// logged in ("logged_in" false), or an error record carries the captcha or
// login code.
bool is_blocked(const Json& result);

// The exit status of a finished operation: kExitBlocked when the site stood
// in the way, kExitIncomplete when "missing_sections" names any section,
// else kExitCompleted.
ExitCode result_exit_code(const Json& result);

// A few lines for standard error: the outcome of `command`, where its files
// went, and which sections are missing and why. A blocked run without a
// window (`headless`) also says how to get past the block: nobody could act
// in that browser. Ends with a line end.
std::string summarize_result(const std::string& command, const Json& result,
                             const std::string& run_dir, bool headless);

}  // namespace ravik::cli
