// Writing screenshots to the path a caller gave.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace playwright::detail {

// Writes `bytes` to `path`, creating missing parent directories. The file
// appears whole or not at all. Throws Error naming `api_name` on failure.
void write_file(std::string_view api_name, const std::filesystem::path& path, const std::string& bytes);

}  // namespace playwright::detail
