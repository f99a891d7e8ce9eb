#include "cli/interrupt_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace ravik::cli {
namespace {

// Shared with the signal handler, which may touch nothing else.
std::atomic<int> caught_signal{0};
int notice_write = -1;
std::string interrupted_line;  // the message on a line of its own, made before the handlers go in

[[noreturn]] void write_interrupted_and_exit(int signal_number) {
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, interrupted_line.data(), interrupted_line.size());
  ::_exit(interrupted_exit_status(signal_number));
}

extern "C" void on_signal(int signal_number) {
  int expected = 0;
  if (!caught_signal.compare_exchange_strong(expected, signal_number)) write_interrupted_and_exit(signal_number);
  const int saved_errno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(notice_write, &byte, 1);
  errno = saved_errno;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("无法准备中断处理：") + std::strerror(errno));
  }
  notice_read_ = ends[0];
  notice_write = ends[1];
  caught_signal = 0;
  // On a terminal, the progress indicator's line is cleared first.
  interrupted_line = std::string(isatty(STDERR_FILENO) == 1 ? "\r\x1b[K" : "") + std::string(kInterruptedMessage) + "\n";
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previous_interrupt_);
  sigaction(SIGTERM, &action, &previous_terminate_);
}

InterruptWatch::~InterruptWatch() {
  sigaction(SIGINT, &previous_interrupt_, nullptr);
  sigaction(SIGTERM, &previous_terminate_, nullptr);
  ::close(notice_write);
  ::close(notice_read_);
  notice_write = -1;
}

int InterruptWatch::signal_number() const { return caught_signal; }

void InterruptWatch::exit_now() const { write_interrupted_and_exit(caught_signal); }

}  // namespace ravik::cli
