// Running one collector operation from the command line: on a private event
// loop with the progress indicator beside it, then the result printed as
// JSON with a summary and turned into the exit status.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "cli/interrupt_watch.h"
#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"
#include "ravik/seller_sprite_legacy/scraping/progress.h"

namespace ravik::cli {

// The operation was ended by SIGINT or SIGTERM; its browser was closed, as
// far as that could be done in time. what() is kInterruptedMessage.
class OperationInterrupted : public std::runtime_error {
 public:
  explicit OperationInterrupted(int signal_number)
      : std::runtime_error(std::string(kInterruptedMessage)), signal_number_(signal_number) {}
  // 130 after SIGINT, 143 after SIGTERM.
  int exit_status() const { return interrupted_exit_status(signal_number_); }

 private:
  int signal_number_;
};

// The console that an operation's login hand-over prompts through.
using ConsolePointer = std::shared_ptr<seller_sprite_legacy::scraping::Console>;

// Awaits `operation(console, progress)` to completion while the progress
// indicator named `label` runs; `console` is a CommandConsole beside that
// indicator and `progress` shows the collector's steps on it, both for the
// operation's collector; `step_lines` (--verbose) also writes each step as
// a line with a timestamp on standard error. The operation's failure propagates
// unchanged. SIGINT and SIGTERM are caught meanwhile (InterruptWatch): the
// first makes the operation's browser calls fail and ends a console prompt,
// so that the operation closes its browser and ends, and then throws
// OperationInterrupted; when that takes more than a few seconds, or at a
// second signal, the process exits at once with "已中断" and the same status.
Json run_with_progress(
    const std::string& label, bool step_lines,
    const std::function<asio::awaitable<Json>(ConsolePointer console,
                                              seller_sprite_legacy::scraping::ProgressObserver progress)>& operation);

// Prints `result` as JSON on standard output and its summary on standard
// error (`headless`: the run had no browser window) and answers its exit
// status (result_exit_code). When standard output does not take the result,
// throws an error that says the run's files are still in `run_dir` (when
// there is one), with the StandardOutputError as its cause.
int report_result(const std::string& command, const Json& result, const std::string& run_dir, bool headless);

}  // namespace ravik::cli
