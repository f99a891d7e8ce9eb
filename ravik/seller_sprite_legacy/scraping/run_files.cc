#include "ravik/seller_sprite_legacy/scraping/internal/run_files.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "ravik/shared/file_io.h"

namespace ravik::seller_sprite_legacy::scraping {

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
  try {
    shared::write_file_atomically(path, content);
  } catch (const std::system_error& failure) {
    throw std::filesystem::filesystem_error("无法写入文件", path, failure.code());
  }
}

}  // namespace ravik::seller_sprite_legacy::scraping
