#include "ravik/config.h"

#include <exception>
#include <stdexcept>

#include "ravik/environment.h"

namespace ravik::config {
namespace {

std::filesystem::path locate_config_dir() {
  if (std::optional<std::string> override_dir = environment::variable("RAVIK_CONFIG_DIR")) return *override_dir;
  try {
    return environment::home_directory() / ".config" / "ravik";
  } catch (const std::runtime_error&) {
    std::throw_with_nested(std::runtime_error("无法确定配置目录，请设置 HOME 或 RAVIK_CONFIG_DIR"));
  }
}

}  // namespace

const std::filesystem::path& CONFIG_DIR() {
  static const std::filesystem::path dir = locate_config_dir();
  return dir;
}

}  // namespace ravik::config
