#include "ravik/shared/file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>
#include <cerrno>
#include <system_error>

namespace ravik::shared {
namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), what + " " + path.string());
}

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
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


// Opens `path` for reading, refusing directories.
FileDescriptor open_for_reading(const std::filesystem::path& path, struct stat& info) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) fail(errno, "cannot open", path);
  if (::fstat(file.get(), &info) != 0) fail(errno, "cannot read", path);
  if (S_ISDIR(info.st_mode)) fail(EISDIR, "cannot read", path);
  return file;
}

// Reads what is left of `file`; `expected_size` is a hint.
std::string read_all(const FileDescriptor& file, const std::filesystem::path& path, off_t expected_size) {
  // One byte more than the size, so that a file that has grown is noticed.
  std::string text(static_cast<std::size_t>(expected_size > 0 ? expected_size : 0) + 1, '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    const ssize_t count = ::read(file.get(), text.data() + used, text.size() - used);
    if (count < 0) {
      if (errno == EINTR) continue;
      fail(errno, "cannot read", path);
    }
    if (count == 0) break;
    used += static_cast<std::size_t>(count);
  }
  text.resize(used);
  return text;
}

}  // namespace

std::string read_file(const std::filesystem::path& path) {
  struct stat info {};
  const FileDescriptor file = open_for_reading(path, info);
  return read_all(file, path, info.st_size);
}

MutableBuffer::MutableBuffer(std::string text) : text_(std::move(text)) {}

MutableBuffer MutableBuffer::map_file(const std::filesystem::path& path) {
  struct stat info {};
  const FileDescriptor file = open_for_reading(path, info);
  if (!S_ISREG(info.st_mode) || info.st_size <= 0) return MutableBuffer(read_all(file, path, info.st_size));
  const auto size = static_cast<std::size_t>(info.st_size);
  void* mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, file.get(), 0);
  if (mapping == MAP_FAILED) fail(errno, "cannot read", path);
  MutableBuffer buffer;
  buffer.mapping_ = static_cast<char*>(mapping);
  buffer.mapping_size_ = size;
  return buffer;
}

MutableBuffer::MutableBuffer(MutableBuffer&& other) noexcept
    : text_(std::move(other.text_)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapping_size_(std::exchange(other.mapping_size_, 0)) {}

MutableBuffer& MutableBuffer::operator=(MutableBuffer&& other) noexcept {
  if (this != &other) {
    unmap();
    text_ = std::move(other.text_);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mapping_size_ = std::exchange(other.mapping_size_, 0);
  }
  return *this;
}

MutableBuffer::~MutableBuffer() { unmap(); }

void MutableBuffer::unmap() noexcept {
  if (mapping_ != nullptr) ::munmap(mapping_, mapping_size_);
  mapping_ = nullptr;
  mapping_size_ = 0;
}

void write_file_atomically(const std::filesystem::path& path, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temporary = path;
  temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.get() < 0) fail(errno, "cannot create", temporary);
  const auto give_up = [&temporary](int error, const char* what) {
    ::unlink(temporary.c_str());
    fail(error, what, temporary);
  };
  while (!content.empty()) {
    const ssize_t count = ::write(file.get(), content.data(), content.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      give_up(errno, "cannot write");
    }
    content.remove_prefix(static_cast<std::size_t>(count));
  }
  if (file.close() != 0) give_up(errno, "cannot write");
  if (::rename(temporary.c_str(), path.c_str()) != 0) give_up(errno, "cannot replace");
}

}  // namespace ravik::shared
