#include "cli/browser_run.h"

#include <fcntl.h>

#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include "cli/command_console.h"
#include "cli/interrupt_watch.h"
#include "cli/json_output.h"
#include "cli/progress_indicator.h"
#include "cli/result_summary.h"
#include "cli/standard_output.h"
#include "playwright/playwright.h"
#include "ravik/run_sync.h"

namespace ravik::cli {
namespace {

// How long an interrupted operation may take to close its browser before
// the command gives up on it and exits anyway.
constexpr std::chrono::seconds kCloseBudget{5};

// Acts on the first signal of an InterruptWatch while an operation runs on
// the loop: fails the operation's Playwright calls, so that it ends by
// closing its browser in order, and ends the process when that takes longer
// than kCloseBudget. The handlers hold the shared state, so a completion
// already queued when the response goes finds it intact (and inactive).
class InterruptResponse {
 public:
  InterruptResponse(asio::io_context& loop, const InterruptWatch& watch)
      : state_(std::make_shared<State>(loop, watch)) {
    state_->notice.async_wait(asio::posix::stream_descriptor::wait_read,
                              [state = state_](const std::error_code& error) {
                                if (error || !state->active) return;
                                playwright::interrupt_all(std::string(kInterruptedMessage));
                                state->give_up.expires_after(kCloseBudget);
                                state->give_up.async_wait([state](const std::error_code& error) {
                                  if (!error && state->active) state->watch.exit_now();
                                });
                              });
  }
  ~InterruptResponse() {
    state_->active = false;
    state_->notice.cancel();
    state_->give_up.cancel();
  }
  InterruptResponse(const InterruptResponse&) = delete;
  InterruptResponse& operator=(const InterruptResponse&) = delete;

 private:
  struct State {
    State(asio::io_context& loop, const InterruptWatch& watch)
        : notice(loop, ::fcntl(watch.notice_fd(), F_DUPFD_CLOEXEC, 0)), give_up(loop), watch(watch) {}
    asio::posix::stream_descriptor notice;
    asio::steady_timer give_up;
    const InterruptWatch& watch;
    bool active = true;
  };
  std::shared_ptr<State> state_;
};

}  // namespace

Json run_with_progress(
    const std::string& label, bool step_lines,
    const std::function<asio::awaitable<Json>(ConsolePointer console,
                                              seller_sprite_legacy::scraping::ProgressObserver progress)>& operation) {
  const InterruptWatch interrupts;
  std::optional<Json> result;
  std::exception_ptr failure;
  try {
    result = ravik::run_sync([&](asio::io_context& loop) -> asio::awaitable<Json> {
      ProgressIndicator indicator(loop, label, std::chrono::seconds(1), step_lines);
      const ConsolePointer console = std::make_shared<CommandConsole>(indicator, interrupts.notice_fd());
      const InterruptResponse response(loop, interrupts);
      indicator.start();
      const seller_sprite_legacy::scraping::ProgressObserver progress = [&indicator](const ProgressStep& step) {
        indicator.show_step(step);
      };
      Json result = co_await operation(console, progress);
      indicator.stop();
      co_return result;
    });
  } catch (...) {
    failure = std::current_exception();
  }
  // Whatever the operation made of the interrupt (mostly a failure of the
  // call it was waiting for), the user asked it to stop.
  if (interrupts.signal_number() != 0) throw OperationInterrupted(interrupts.signal_number());
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
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
