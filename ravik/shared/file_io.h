// Whole-file reading and crash-safe replacement of small files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "ravik/export/host_export.h"

namespace ravik::shared {

// The file's bytes. Throws std::system_error carrying the errno when the file
// cannot be opened or read; a directory gives EISDIR.
RAVIK_HOST_EXPORT std::string read_file(const std::filesystem::path& path);

// Writable bytes held in one of two ways: a private memory mapping of a file
// (pages written to are copied; the file itself never changes) or a string.
// Mapping spares large files the copy and the zero-fill of a read.
class RAVIK_HOST_EXPORT MutableBuffer {
 public:
  explicit MutableBuffer(std::string text = {});
  // The whole file at `path`: mapped when it is a regular file, read
  // otherwise. Fails like read_file.
  static MutableBuffer map_file(const std::filesystem::path& path);

  MutableBuffer(MutableBuffer&& other) noexcept;
  MutableBuffer& operator=(MutableBuffer&& other) noexcept;
  ~MutableBuffer();

  char* data() { return mapping_ != nullptr ? mapping_ : text_.data(); }
  const char* data() const { return mapping_ != nullptr ? mapping_ : text_.data(); }
  std::size_t size() const { return mapping_ != nullptr ? mapping_size_ : text_.size(); }

 private:
  void unmap() noexcept;

  std::string text_;
  char* mapping_ = nullptr;
  std::size_t mapping_size_ = 0;
};

// Replaces `path` with `content` by writing a temporary file beside it and
// renaming it over `path`, so that a reader sees the old or the new file
// whole, never a torn one. Throws std::system_error; the temporary file is
// removed on failure.
RAVIK_HOST_EXPORT void write_file_atomically(const std::filesystem::path& path, std::string_view content);

}  // namespace ravik::shared
