#include "cli/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ravik::cli {
namespace {

[[noreturn]] void fail(int error) {
  throw StandardOutputError(std::string("无法写入标准输出：") + std::strerror(error));
}

bool is_closed(int fd) { return ::fcntl(fd, F_GETFD) < 0 && errno == EBADF; }

}  // namespace

void claim_standard_descriptors() {
  const bool output_closed = is_closed(STDOUT_FILENO);
  // open() takes the lowest free number: filled in order, each closed one
  // gets its own number back.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (is_closed(fd)) ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  if (output_closed) fail(EBADF);
}

void write_standard_output(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace ravik::cli
