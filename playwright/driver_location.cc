#include "playwright/driver_location.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "playwright/error.h"

namespace playwright {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPinnedVersion = RAVIK_PLAYWRIGHT_CORE_VERSION;

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

bool is_executable_file(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

fs::path find_node() {
  if (auto node = environment("RAVIK_NODE")) {
    if (!is_executable_file(*node)) {
      throw DriverNotInstalledError("RAVIK_NODE names " + *node + ", which is not an executable file");
    }
    return *node;
  }
  const std::string path_list = environment("PATH").value_or("");
  std::istringstream directories(path_list);
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    if (directory.empty()) continue;
    fs::path candidate = fs::path(directory) / "node";
    if (is_executable_file(candidate)) return candidate;
  }
  throw DriverNotInstalledError("Node.js is not installed: no executable \"node\" on PATH (or set RAVIK_NODE)");
}

// The version in <package_dir>/package.json, or nullopt when unreadable.
std::optional<std::string> package_version(const fs::path& package_dir) {
  std::ifstream in(package_dir / "package.json");
  if (!in) return std::nullopt;
  const auto package = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (!package.is_object() || !package.contains("version") || !package["version"].is_string()) {
    return std::nullopt;
  }
  return package["version"].get<std::string>();
}

// The cli.js of the pinned playwright-core in `package_dir`; throws when it
// is missing or another version.
fs::path pinned_cli_in(const fs::path& package_dir) {
  const fs::path cli = package_dir / "cli.js";
  std::error_code ec;
  if (!fs::is_regular_file(cli, ec)) {
    throw DriverNotInstalledError("playwright-core is not installed: " + cli.string() + " does not exist");
  }
  const auto version = package_version(package_dir);
  if (version != kPinnedVersion) {
    throw DriverNotInstalledError("playwright-core in " + package_dir.string() + " is version " +
                                  version.value_or("unknown") + ", but " + std::string(kPinnedVersion) +
                                  " is required");
  }
  return cli;
}

// Where playwright-core is installed relative to the file this code was
// loaded from (the installed library), so an installed tree finds its driver
// wherever it was unpacked; nullopt when that file is unknown.
std::optional<fs::path> playwright_core_beside_library() {
  static const char anchor = 0;
  Dl_info loaded_from{};
  if (::dladdr(&anchor, &loaded_from) == 0 || loaded_from.dli_fname == nullptr) return std::nullopt;
  std::error_code ec;
  const fs::path library = fs::canonical(loaded_from.dli_fname, ec);
  if (ec) return std::nullopt;
  return (library.parent_path() / RAVIK_PLAYWRIGHT_CORE_DIR_FROM_LIBRARY).lexically_normal();
}

fs::path find_cli_js() {
  if (auto dir = environment("RAVIK_PLAYWRIGHT_CORE_DIR")) return pinned_cli_in(*dir);
  std::vector<fs::path> candidates;
  if (auto beside_library = playwright_core_beside_library()) candidates.push_back(*beside_library);
  candidates.emplace_back(RAVIK_INSTALLED_PLAYWRIGHT_CORE_DIR);
  candidates.emplace_back(RAVIK_SOURCE_PLAYWRIGHT_CORE_DIR);
  std::string looked_in;
  for (const fs::path& dir : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(dir / "cli.js", ec)) return pinned_cli_in(dir);
    looked_in += (looked_in.empty() ? "" : ", ") + dir.string();
  }
  throw DriverNotInstalledError("playwright-core " + std::string(kPinnedVersion) + " is not installed: looked in " +
                                looked_in + " (or set RAVIK_PLAYWRIGHT_CORE_DIR)");
}

}  // namespace

DriverLocation locate_driver() {
  DriverLocation location;
  location.node = find_node();
  location.cli_js = find_cli_js();
  return location;
}

fs::path locate_node() { return find_node(); }

fs::path locate_playwright_core_cli() { return find_cli_js(); }

std::string_view pinned_playwright_core_version() { return kPinnedVersion; }

}  // namespace playwright
