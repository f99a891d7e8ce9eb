#include "ravik/seller_sprite_legacy/scraping/internal/profile_preferences.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "ravik/seller_sprite_legacy/scraping/internal/run_files.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

namespace fs = std::filesystem;

// The preferences in `path`: an empty object when the file does not exist,
// a discarded value when it is not JSON.
Json read_preferences(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return Json::object();
    throw fs::filesystem_error("无法读取浏览器配置", path, std::error_code(errno, std::generic_category()));
  }
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) {
    throw fs::filesystem_error("无法读取浏览器配置", path, std::make_error_code(std::errc::io_error));
  }
  return Json::parse(text, nullptr, false);
}

}  // namespace

const Json& BROWSER_OFFERS_OFF() {
  static const Json preferences = {
      {"credentials_enable_service", false},
      {"credentials_enable_autosignin", false},
      {"profile", {{"password_manager_enabled", false}}},
      {"translate", {{"enabled", false}}},
  };
  return preferences;
}

void turn_off_browser_offers(const fs::path& profile_dir) {
  const fs::path path = profile_dir / "Default" / "Preferences";
  Json preferences = read_preferences(path);
  if (!preferences.is_object()) {
    fs::rename(path, fs::path(path).replace_extension(".bad"));
    preferences = Json::object();
  }
  preferences.merge_patch(BROWSER_OFFERS_OFF());
  write_file_atomically(path, preferences.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace ravik::seller_sprite_legacy::scraping
