#include "cli/browser_run.h"

#include <iostream>

#include "cli/console_redirect.h"
#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "cli/progress_indicator.h"
#include "cli/result_summary.h"
#include "ravik/run_sync.h"

namespace ravik::cli {

Json run_with_progress(const std::string& label, const std::function<asio::awaitable<Json>()>& operation) {
  return ravik::run_sync([&](asio::io_context& loop) -> asio::awaitable<Json> {
    ProgressIndicator indicator(loop, label);
    const ConsoleRedirect console(indicator);
    indicator.start();
    Json result = co_await operation();
    indicator.stop();
    co_return result;
  });
}

int report_result(const std::string& command, const Json& result, const std::string& run_dir) {
  print_json(std::cout, result);
  std::cerr << summarize_result(command, result, run_dir) << std::flush;
  return is_blocked(result) ? kExitBlocked : kExitCompleted;
}

}  // namespace ravik::cli
