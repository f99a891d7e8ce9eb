#include "ravik/config.h"

#include <cstdlib>

namespace ravik::config {
namespace {

std::filesystem::path home_directory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  return std::filesystem::current_path();
}

std::filesystem::path locate_config_dir() {
  if (const char* override_dir = std::getenv("RAVIK_CONFIG_DIR");
      override_dir != nullptr && *override_dir != '\0') {
    return override_dir;
  }
  return home_directory() / ".config" / "ravik";
}

}  // namespace

const std::filesystem::path& CONFIG_DIR() {
  static const std::filesystem::path dir = locate_config_dir();
  return dir;
}

}  // namespace ravik::config
