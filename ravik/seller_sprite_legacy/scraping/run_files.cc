#include "ravik/seller_sprite_legacy/scraping/run_files.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <unistd.h>

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
  std::filesystem::path temporary = path;
  temporary += ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw std::filesystem::filesystem_error("无法写入文件", path, std::make_error_code(std::errc::io_error));
    }
  }
  std::error_code rename_failure;
  std::filesystem::rename(temporary, path, rename_failure);
  if (rename_failure) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw std::filesystem::filesystem_error("无法写入文件", path, rename_failure);
  }
}

}  // namespace ravik::seller_sprite_legacy::scraping
