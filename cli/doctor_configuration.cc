#include "cli/doctor_configuration.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "ravik/config.h"
#include "ravik/shared/file_io.h"
#include "ravik/shared/verwatch.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

const std::string kConfigurationGroup = "配置";

// Chromium's mark of a profile in use: a symbolic link to "<host>-<pid>".
constexpr const char* kSingletonLock = "SingletonLock";

CheckLine check_config_dir() {
  CheckLine line{.group = kConfigurationGroup, .name = "CONFIG_DIR"};
  try {
    const fs::path& dir = config::CONFIG_DIR();
    std::error_code ec;
    line.status = CheckStatus::ok;
    line.detail = dir.string() + (fs::is_directory(dir, ec) ? "" : "（尚未创建）");
    line.facts = Json{{"path", dir.string()}};
  } catch (...) {
    line.status = CheckStatus::failed;
    line.detail = failure_detail(std::current_exception()) + "；可用 RAVIK_CONFIG_DIR 指定";
  }
  return line;
}

std::string octal_mode(fs::perms perms) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(perms & fs::perms::mask));
  return text;
}

CheckLine check_profile_dir(const fs::path& profile) {
  CheckLine line{.group = kConfigurationGroup, .name = "浏览器配置目录", .facts = Json{{"path", profile.string()}}};
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(profile, ec);
  if (!fs::is_directory(status)) {
    line.status = CheckStatus::failed;
    line.detail = profile.string() +
                  (fs::exists(status) ? " 不是目录" : " 不存在；请先运行 ravik seller-sprite login 登录");
    return line;
  }
  const fs::perms owner_only = fs::perms::owner_all;
  const fs::perms perms = status.permissions() & fs::perms::mask;
  line.facts["mode"] = octal_mode(perms);
  if (perms != owner_only) {
    line.status = CheckStatus::failed;
    line.detail = profile.string() + " 的权限是 " + octal_mode(perms) + "，应为 0700（其中保存着登录信息）；请运行 chmod 700 " +
                  profile.string();
    return line;
  }
  line.status = CheckStatus::ok;
  line.detail = profile.string() + "（权限 0700）";
  return line;
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// True when the process `pid` of this machine is running.
bool is_running(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

CheckLine check_profile_free(const fs::path& profile, bool& free) {
  CheckLine line{.group = kConfigurationGroup, .name = "配置目录占用"};
  std::error_code ec;
  const fs::path target = fs::read_symlink(profile / kSingletonLock, ec);
  free = true;
  if (ec) {
    line.status = CheckStatus::ok;
    line.detail = "没有浏览器在使用";
    return line;
  }
  const std::string owner = target.string();
  const auto dash = owner.rfind('-');
  pid_t pid = 0;
  try {
    pid = dash == std::string::npos ? 0 : static_cast<pid_t>(std::stol(owner.substr(dash + 1)));
  } catch (const std::exception&) {
    pid = 0;
  }
  free = !(dash != std::string::npos && owner.substr(0, dash) == host_name() && is_running(pid));
  line.facts = Json{{"lock_owner", owner}};
  if (free) {
    line.status = CheckStatus::ok;
    line.detail = "没有浏览器在使用（留有已结束进程的锁 " + owner + "）";
    return line;
  }
  line.status = CheckStatus::failed;
  line.detail = "正被进程 " + std::to_string(pid) + " 的浏览器使用；请等那次运行结束后再试";
  return line;
}

CheckLine check_version_cache() {
  CheckLine line{.group = kConfigurationGroup, .name = "版本缓存"};
  fs::path cache;
  try {
    cache = shared::verwatch::CACHE_FILE();
    line.facts = Json{{"path", cache.string()}};
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(cache, ec))) {
      line.status = CheckStatus::ok;
      line.detail = cache.string() + "（尚未创建）";
      return line;
    }
    const std::string text = shared::read_regular_file(cache);
    if (!Json::accept(text)) {
      line.status = CheckStatus::failed;
      line.detail = cache.string() + " 不是 JSON；删除它即可，下次运行会重新创建";
      return line;
    }
    line.status = CheckStatus::ok;
    line.detail = cache.string();
  } catch (...) {
    line.status = CheckStatus::failed;
    line.detail = "无法读取 " + cache.string() + "：" + failure_detail(std::current_exception());
  }
  return line;
}

}  // namespace

ConfigurationReport check_configuration(const seller_sprite_legacy::scraping::SellerSpriteScraper* scraper) {
  ConfigurationReport report;
  report.lines.push_back(check_config_dir());
  if (scraper == nullptr) {
    for (const char* name : {"浏览器配置目录", "配置目录占用", "版本缓存"}) {
      report.lines.push_back(CheckLine{.group = kConfigurationGroup, .name = name, .detail = "CONFIG_DIR 未知"});
    }
    return report;
  }
  report.lines.push_back(check_profile_dir(scraper->profile_dir));
  report.lines.push_back(check_profile_free(scraper->profile_dir, report.profile_free));
  report.lines.push_back(check_version_cache());
  return report;
}

}  // namespace ravik::cli
