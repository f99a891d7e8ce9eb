// Whole-file reading and crash-safe replacement of small files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ravik/export/host_export.h"

namespace ravik::shared {

// The file's bytes. Throws std::system_error carrying the errno when the file
// cannot be opened or read; a directory gives EISDIR.
RAVIK_HOST_EXPORT std::string read_file(const std::filesystem::path& path);

// Replaces `path` with `content` by writing a temporary file beside it and
// renaming it over `path`, so that a reader sees the old or the new file
// whole, never a torn one. Throws std::system_error; the temporary file is
// removed on failure.
RAVIK_HOST_EXPORT void write_file_atomically(const std::filesystem::path& path, std::string_view content);

}  // namespace ravik::shared
