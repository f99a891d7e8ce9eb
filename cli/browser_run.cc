#include "cli/browser_run.h"

#include <exception>
#include <iostream>
#include <stdexcept>

#include "cli/console_redirect.h"
#include "cli/json_output.h"
#include "cli/progress_indicator.h"
#include "cli/result_summary.h"
#include "cli/standard_output.h"
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

int report_result(const std::string& command, const Json& result, const std::string& run_dir, bool headless) {
  try {
    print_json(result);
  } catch (const StandardOutputError&) {
    if (run_dir.empty()) throw;
    std::throw_with_nested(std::runtime_error(command + " 的结果未能输出，本次运行的文件仍在 " + run_dir));
  }
  std::cerr << summarize_result(command, result, run_dir, headless) << std::flush;
  return result_exit_code(result);
}

}  // namespace ravik::cli
