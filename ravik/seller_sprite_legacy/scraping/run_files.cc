#include "ravik/seller_sprite_legacy/scraping/run_files.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr const char* kWriteFailure = "无法写入文件";

// The failure of a file step, with the reason the system gave (`error`).
std::filesystem::filesystem_error write_failure(const std::filesystem::path& path, int error) {
  return std::filesystem::filesystem_error(kWriteFailure, path, std::error_code(error, std::generic_category()));
}

// Writes all of `content` to `fd`; answers 0, or the errno of the failed write.
int write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Writes `content` to a new file `temporary`; answers 0, or the errno of the
// step that failed (the file may then exist, partly written).
int write_new_file(const std::filesystem::path& temporary, std::string_view content) {
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = write_all(fd, content);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

std::filesystem::path child_path(const std::filesystem::path& parent, std::string_view name) {
  const bool plain = !name.empty() && name != "." && name != ".." &&
                     name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
  if (!plain) {
    throw std::invalid_argument("名称 \"" + std::string(name) + "\" 不是单一的文件名，会离开运行目录");
  }
  return parent / std::filesystem::path(std::string(name));
}

void write_file_atomically(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::path temporary = path;
  temporary += ".tmp-" + std::to_string(::getpid());
  if (const int error = write_new_file(temporary, content); error != 0) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw write_failure(path, error);
  }
  std::error_code rename_failure;
  std::filesystem::rename(temporary, path, rename_failure);
  if (rename_failure) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw std::filesystem::filesystem_error(kWriteFailure, path, rename_failure);
  }
}

}  // namespace ravik::seller_sprite_legacy::scraping
