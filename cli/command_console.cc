#include "cli/command_console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace ravik::cli {
namespace {

using seller_sprite_legacy::scraping::ConsoleInputClosedError;

// True when the C library's buffer of stdin, which std::cin also reads
// through (an account prompt may have left bytes there), already holds
// bytes: a poll of descriptor 0 would not see them. (The buffer pointers are
// public fields of glibc's FILE.)
bool stdin_has_buffered_bytes() { return stdin->_IO_read_ptr < stdin->_IO_read_end; }

// Holds the indicator paused for its lifetime.
class PausedIndicator {
 public:
  explicit PausedIndicator(ProgressIndicator& indicator) : indicator_(indicator) { indicator_.pause(); }
  ~PausedIndicator() { indicator_.resume(); }
  PausedIndicator(const PausedIndicator&) = delete;
  PausedIndicator& operator=(const PausedIndicator&) = delete;

 private:
  ProgressIndicator& indicator_;
};

}  // namespace

void CommandConsole::show_prompt_and_read_line(const std::string& prompt) {
  const PausedIndicator paused(indicator_);
  std::cerr << prompt << std::flush;
  for (;;) {
    if (!wait_for_input()) throw ConsoleInputClosedError();
    const int c = std::fgetc(stdin);
    if (c == EOF) throw ConsoleInputClosedError();
    if (c == '\n') return;
  }
}

bool CommandConsole::wait_for_input() const {
  pollfd watched[2] = {{interrupt_notice_, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  // With bytes in that buffer, only the notice needs a look, without waiting.
  const bool buffered = stdin_has_buffered_bytes();
  while (::poll(watched, buffered ? 1 : 2, buffered ? 0 : -1) < 0 && errno == EINTR) {
  }
  return (watched[0].revents & POLLIN) == 0;
}

}  // namespace ravik::cli
