#include "ravik/shared/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

namespace ravik::shared {
namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), what + " " + path.string());
}

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the result.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// Asks for huge pages for the whole 2 MiB blocks of [bytes, bytes + size),
// where the system grants them on request: a large file then fills a few
// hundred times fewer fresh pages. A refusal changes nothing.
void advise_huge_pages(char* bytes, std::size_t size) {
  constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(bytes) + huge_page - 1) & ~(huge_page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(bytes) + size) & ~(huge_page - 1);
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

void MutableBuffer::Free::operator()(char* bytes) const { std::free(bytes); }

MutableBuffer::MutableBuffer(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
  // malloc rather than a std::string: a large file's bytes are written once,
  // by read(), and need no zero-filling first.
  bytes_.reset(static_cast<char*>(std::malloc(capacity_)));
  if (!bytes_) throw std::bad_alloc();
  advise_huge_pages(bytes_.get(), capacity_);
}

MutableBuffer::MutableBuffer(std::string_view bytes) : MutableBuffer(bytes.size()) {
  if (!bytes.empty()) std::memcpy(bytes_.get(), bytes.data(), bytes.size());
  size_ = bytes.size();
}

void MutableBuffer::grow() {
  MutableBuffer larger(capacity_ * 2);
  std::memcpy(larger.bytes_.get(), bytes_.get(), size_);
  larger.size_ = size_;
  *this = std::move(larger);
}

MutableBuffer MutableBuffer::read_file(const std::filesystem::path& path) {
  return load(path, O_RDONLY | O_CLOEXEC, /*regular_only=*/false);
}

MutableBuffer MutableBuffer::read_regular_file(const std::filesystem::path& path, std::size_t padding) {
  // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; it
  // changes nothing for a regular file, the only kind then read.
  return load(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, /*regular_only=*/true, padding);
}

MutableBuffer MutableBuffer::load(const std::filesystem::path& path, int open_flags, bool regular_only,
                                  std::size_t padding) {
  FileDescriptor file(::open(path.c_str(), open_flags));
  if (file.get() < 0) fail(errno, "cannot open", path);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) fail(errno, "cannot read", path);
  if (S_ISDIR(info.st_mode)) fail(EISDIR, "cannot read", path);
  if (regular_only && !S_ISREG(info.st_mode)) fail(EINVAL, "not a regular file:", path);
  // One byte more than the size, so that a file that has grown is noticed.
  const std::size_t expected = S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  MutableBuffer buffer((expected > 0 ? expected + 1 : std::size_t{65536}) + padding);
  for (;;) {
    if (buffer.capacity_ - buffer.size_ <= padding) buffer.grow();
    const ssize_t count =
        ::read(file.get(), buffer.bytes_.get() + buffer.size_, buffer.capacity_ - buffer.size_ - padding);
    if (count < 0) {
      if (errno == EINTR) continue;
      fail(errno, "cannot read", path);
    }
    if (count == 0) {
      std::memset(buffer.bytes_.get() + buffer.size_, 0, padding);
      return buffer;
    }
    buffer.size_ += static_cast<std::size_t>(count);
  }
}

std::string read_file(const std::filesystem::path& path) {
  const MutableBuffer buffer = MutableBuffer::read_file(path);
  return std::string(buffer.data(), buffer.size());
}

std::string read_regular_file(const std::filesystem::path& path) {
  const MutableBuffer buffer = MutableBuffer::read_regular_file(path);
  return std::string(buffer.data(), buffer.size());
}

void write_file_atomically(const std::filesystem::path& path, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temporary = path;
  temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.get() < 0) fail(errno, "cannot create", temporary);
  const auto give_up = [&temporary](int error, const char* what, const std::filesystem::path& subject) {
    ::unlink(temporary.c_str());
    fail(error, what, subject);
  };
  // The directory is held from the start, so that a directory that cannot be
  // synced fails the write before anything is replaced.
  const std::filesystem::path directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  FileDescriptor directory_file(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory_file.get() < 0) give_up(errno, "cannot open directory", directory);
  while (!content.empty()) {
    const ssize_t count = ::write(file.get(), content.data(), content.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      give_up(errno, "cannot write", temporary);
    }
    content.remove_prefix(static_cast<std::size_t>(count));
  }
  // The bytes reach the disk before the new name does, and the new name
  // before this returns: after a crash `path` is the old file or the new one.
  if (::fsync(file.get()) != 0) give_up(errno, "cannot sync", temporary);
  if (file.close() != 0) give_up(errno, "cannot write", temporary);
  if (::rename(temporary.c_str(), path.c_str()) != 0) give_up(errno, "cannot replace", temporary);
  if (::fsync(directory_file.get()) != 0) fail(errno, "cannot sync directory", directory);
}

}  // namespace ravik::shared
