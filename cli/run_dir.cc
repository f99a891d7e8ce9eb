#include "cli/run_dir.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <system_error>

namespace ravik::cli {
namespace fs = std::filesystem;
namespace {

constexpr int kFreshNameAttempts = 16;

[[noreturn]] void fail_to_create(const fs::path& dir, const std::error_code& error) {
  throw std::runtime_error("无法创建运行目录 " + dir.string() + "：" + error.message());
}

}  // namespace

std::string make_run_id() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  static thread_local std::mt19937 random{std::random_device{}()};
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random() & 0xffffff));
  return std::string(stamp) + "-" + suffix;
}

RunLocation prepare_run_dir(const std::optional<fs::path>& requested, const fs::path& runs_root) {
  std::error_code error;
  if (requested) {
    RunLocation location{make_run_id(), *requested};
    fs::create_directories(location.run_dir, error);
    if (error || !fs::is_directory(location.run_dir)) fail_to_create(location.run_dir, error);
    return location;
  }
  fs::create_directories(runs_root, error);
  if (error) fail_to_create(runs_root, error);
  for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
    std::string run_id = make_run_id();
    RunLocation location{run_id, runs_root / run_id};
    if (fs::create_directory(location.run_dir, error)) return location;
    if (error) fail_to_create(location.run_dir, error);
  }
  throw std::runtime_error("无法在 " + runs_root.string() + " 下找到未占用的运行目录名");
}

}  // namespace ravik::cli
