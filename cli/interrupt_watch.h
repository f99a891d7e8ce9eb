// Catches Ctrl-C (SIGINT) and SIGTERM while a browser operation runs, so
// that the operation can close the browser in order (a login just made is
// then written to the profile) instead of dying with it.
//
// The first signal is only noted: its number is kept and a self-pipe turns
// readable (and stays so), which the event loop and the console reader
// poll. A second signal ends the process at once with "已中断" and the exit
// status 128 + its number, whatever the loop is doing.
#pragma once

#include <csignal>
#include <string_view>

namespace ravik::cli {

// What the command says when a signal ended it.
inline constexpr std::string_view kInterruptedMessage = "已中断";

class InterruptWatch {
 public:
  // Installs the handlers; only one watch may exist at a time. Throws
  // std::runtime_error when the self-pipe cannot be made.
  InterruptWatch();
  // Puts back the handlers that were there before.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The first signal caught, or 0 while none came.
  int signal_number() const;
  // A descriptor that turns readable with the first signal and stays so;
  // nobody reads it.
  int notice_fd() const { return notice_read_; }

  // Writes "已中断" on standard error and ends the process with 128 + the
  // signal's number, without unwinding: for when the operation does not end
  // in time.
  [[noreturn]] void exit_now() const;

 private:
  int notice_read_ = -1;
  struct sigaction previous_interrupt_ {};
  struct sigaction previous_terminate_ {};
};

// The exit status of a command ended by `signal_number`: 128 + the number
// (130 for SIGINT, 143 for SIGTERM).
constexpr int interrupted_exit_status(int signal_number) { return 128 + signal_number; }

}  // namespace ravik::cli
