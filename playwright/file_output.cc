#include "playwright/internal/file_output.h"

#include <fstream>

#include "playwright/error.h"

namespace playwright::detail {

void write_file(std::string_view api_name, const std::filesystem::path& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  const auto fail = [&](const std::string& why) {
    throw Error(std::string(api_name) + ": cannot write " + path.string() + ": " + why);
  };
  std::error_code ec;
  if (path.has_parent_path()) {
    fs::create_directories(path.parent_path(), ec);
    if (ec) fail(ec.message());
  }
  fs::path partial = path;
  partial += ".part";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      fs::remove(partial, ec);
      fail("write failed");
    }
  }
  fs::rename(partial, path, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    fail(ec.message());
  }
}

}  // namespace playwright::detail
