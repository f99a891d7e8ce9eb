// Whole-file reading and crash-safe replacement of small files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "ravik/export/host_export.h"

namespace ravik::shared {

// The file's bytes. Throws std::system_error carrying the errno when the file
// cannot be opened or read; a directory gives EISDIR.
[[nodiscard]] RAVIK_HOST_EXPORT std::string read_file(const std::filesystem::path& path);

// The bytes of the regular file at `path`. Opened without waiting, so that a
// FIFO, socket or device in the file's place cannot block: such a file is not
// read and gives EINVAL ("not a regular file"). Otherwise fails like read_file.
[[nodiscard]] RAVIK_HOST_EXPORT std::string read_regular_file(const std::filesystem::path& path);

// Bytes in writable memory owned by the buffer, such as a whole file to be
// decoded in place.
class RAVIK_HOST_EXPORT MutableBuffer {
 public:
  MutableBuffer() : MutableBuffer(std::string_view()) {}
  // A copy of `bytes`.
  explicit MutableBuffer(std::string_view bytes);
  // The whole file at `path`. Fails like read_file.
  [[nodiscard]] static MutableBuffer read_file(const std::filesystem::path& path);
  // The whole regular file at `path`, followed by `padding` zero bytes that
  // are not part of it (for readers that look a few bytes past the end).
  // Fails like read_regular_file.
  [[nodiscard]] static MutableBuffer read_regular_file(const std::filesystem::path& path, std::size_t padding = 0);

  MutableBuffer(MutableBuffer&& other) noexcept
      : bytes_(std::move(other.bytes_)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  MutableBuffer& operator=(MutableBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }

 private:
  struct Free {
    void operator()(char* bytes) const;
  };
  // Room for `capacity` bytes (at least one), none used yet.
  explicit MutableBuffer(std::size_t capacity);
  void grow();
  // Reads the whole file at `path`, opened with `open_flags`, and leaves
  // `padding` zero bytes after it; with `regular_only`, anything but a
  // regular file fails with EINVAL.
  static MutableBuffer load(const std::filesystem::path& path, int open_flags, bool regular_only,
                            std::size_t padding = 0);

  std::unique_ptr<char, Free> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Replaces `path` with `content` by writing a temporary file beside it,
// syncing it to disk, renaming it over `path` and syncing the directory, so
// that a reader, and the file system after a crash, sees the old or the new
// file whole, never a torn one. The parent directory must exist. Throws
// std::system_error carrying the errno; the temporary file is removed on every
// failure. Only a failed sync of the directory is reported after `path` has
// been replaced (the replacement may then not survive a crash).
RAVIK_HOST_EXPORT void write_file_atomically(const std::filesystem::path& path, std::string_view content);

}  // namespace ravik::shared
