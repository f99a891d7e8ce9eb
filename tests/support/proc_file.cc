#include "tests/support/proc_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ravik::test_support {

std::string read_proc_file(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      if (got < 0) text.clear();
      break;
    }
  }
  ::close(fd);
  return text;
}

}  // namespace ravik::test_support
