// Running one collector operation from the command line: on a private event
// loop with the progress indicator beside it, then the result printed as
// JSON with a summary and turned into the exit status.
#pragma once

#include <functional>
#include <string>

#include <asio/awaitable.hpp>

#include "ravik/json.h"

namespace ravik::cli {

// Awaits `operation()` to completion while the progress indicator named
// `label` runs; its failure propagates unchanged.
Json run_with_progress(const std::string& label, const std::function<asio::awaitable<Json>()>& operation);

// Prints `result` as JSON on standard output and its summary on standard
// error; answers kExitBlocked for a blocked result, else kExitCompleted.
int report_result(const std::string& command, const Json& result, const std::string& run_dir);

}  // namespace ravik::cli
