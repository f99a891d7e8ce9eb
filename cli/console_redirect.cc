#include "cli/console_redirect.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ravik::cli {
namespace {

// True when the C library's buffer of stdin, which std::cin reads through,
// already holds bytes: a poll of descriptor 0 would not see them. (The
// buffer pointers are public fields of glibc's FILE.)
bool stdin_has_buffered_bytes() { return stdin->_IO_read_ptr < stdin->_IO_read_end; }

}  // namespace

ConsoleRedirect::ConsoleRedirect(ProgressIndicator& indicator, int interrupt_notice)
    : indicator_(indicator),
      interrupt_notice_(interrupt_notice),
      answer_buffer_(*this, std::cin.rdbuf()),
      saved_out_(std::cout.rdbuf(&prompt_buffer_)),
      saved_in_(std::cin.rdbuf(&answer_buffer_)) {}

ConsoleRedirect::~ConsoleRedirect() {
  std::cout.rdbuf(saved_out_);
  std::cin.rdbuf(saved_in_);
  if (prompting_) indicator_.resume();
}

void ConsoleRedirect::prompt_started() {
  if (prompting_) return;
  prompting_ = true;
  indicator_.pause();
}

void ConsoleRedirect::answer_read() {
  if (!prompting_) return;
  prompting_ = false;
  indicator_.resume();
}

bool ConsoleRedirect::wait_for_input() const {
  pollfd watched[2] = {{interrupt_notice_, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  // With bytes in that buffer, only the notice needs a look, without waiting.
  const bool buffered = stdin_has_buffered_bytes();
  while (::poll(watched, buffered ? 1 : 2, buffered ? 0 : -1) < 0 && errno == EINTR) {
  }
  return (watched[0].revents & POLLIN) == 0;
}

ConsoleRedirect::PromptBuffer::int_type ConsoleRedirect::PromptBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize ConsoleRedirect::PromptBuffer::xsputn(const char* text, std::streamsize count) {
  owner_.prompt_started();
  std::streamsize written = 0;
  while (written < count) {
    const ssize_t result = ::write(STDERR_FILENO, text + written, static_cast<std::size_t>(count - written));
    if (result <= 0) break;
    written += result;
  }
  return written;
}

int ConsoleRedirect::PromptBuffer::sync() { return 0; }

ConsoleRedirect::AnswerBuffer::int_type ConsoleRedirect::AnswerBuffer::underflow() {
  const int_type c = owner_.wait_for_input() ? source_->sbumpc() : traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    owner_.answer_read();
    return c;
  }
  current_ = traits_type::to_char_type(c);
  setg(&current_, &current_, &current_ + 1);
  if (current_ == '\n') owner_.answer_read();
  return c;
}

}  // namespace ravik::cli
