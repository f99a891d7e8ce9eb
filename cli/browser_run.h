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
// error (`headless`: the run had no browser window) and answers its exit
// status (result_exit_code). When standard output does not take the result,
// throws an error that says the run's files are still in `run_dir` (when
// there is one), with the StandardOutputError as its cause.
int report_result(const std::string& command, const Json& result, const std::string& run_dir, bool headless);

}  // namespace ravik::cli
