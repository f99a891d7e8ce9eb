// File helpers of the recorder and archiver: names that stay inside their
// directory, and files that are either written whole or not at all.
#pragma once

#include <filesystem>
#include <string_view>

#include "ravik/export/browser_host_export.h"

namespace ravik::seller_sprite_legacy::scraping {

// parent/name. Throws std::invalid_argument unless `name` is one plain path
// component: not empty, not "." or "..", no "/", "\" or NUL.
RAVIK_BROWSER_HOST_EXPORT std::filesystem::path child_path(const std::filesystem::path& parent, std::string_view name);

// Replaces `path` with `content` as shared::write_file_atomically does (a
// reader never sees a partly written file, nor does the disk after a crash),
// creating the parent directory first. Throws
// std::filesystem::filesystem_error for `path` with the system's reason on
// failure, leaving no temporary file behind.
RAVIK_BROWSER_HOST_EXPORT void write_file_atomically(const std::filesystem::path& path, std::string_view content);

}  // namespace ravik::seller_sprite_legacy::scraping
