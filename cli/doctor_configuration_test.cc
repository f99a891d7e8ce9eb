// The doctor's configuration checks on a configuration directory made by
// the test: the profile's mode, a profile held by a running browser, and
// the version cache.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/doctor_configuration.h"
#include "tests/support/temp_dir.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using seller_sprite_legacy::scraping::SellerSpriteScraper;

// A pid above any the kernel hands out (pid_max is at most 2^22).
constexpr const char* kNeverRunningPid = "99999999";

// CONFIG_DIR is read once per process, so every case shares this one.
class DoctorConfigurationTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    config_ = new test_support::TempDir();
    ::setenv("RAVIK_CONFIG_DIR", config_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    fs::remove_all(config_->path() / "seller_sprite");
    fs::remove(config_->path() / "pypi_version_cache.json");
  }

  static std::string host_name() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
  }

  // The line named `name` of check_configuration's answer.
  static CheckLine line_named(const ConfigurationReport& report, std::string_view name) {
    for (const CheckLine& line : report.lines) {
      if (line.name == name) return line;
    }
    ADD_FAILURE() << "no line " << name;
    return {};
  }

  static test_support::TempDir* config_;
};

test_support::TempDir* DoctorConfigurationTest::config_ = nullptr;

TEST_F(DoctorConfigurationTest, ProfileModeAndLockDecideTheProfileLines) {
  const struct {
    const char* name;
    fs::perms mode;
    std::optional<std::string> lock_owner;  // where SingletonLock points
    CheckStatus profile_status;
    CheckStatus lock_status;
    bool free;
    std::string detail_part;  // of the line that failed
  } cases[] = {
      {"owner-only, no lock", fs::perms::owner_all, std::nullopt, CheckStatus::ok, CheckStatus::ok, true, ""},
      {"readable by others", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read, std::nullopt,
       CheckStatus::failed, CheckStatus::ok, true, "chmod 700"},
      {"held by this running process", fs::perms::owner_all, host_name() + "-" + std::to_string(::getpid()),
       CheckStatus::ok, CheckStatus::failed, false, "正被进程 " + std::to_string(::getpid())},
      {"lock of an ended process", fs::perms::owner_all, host_name() + "-" + kNeverRunningPid, CheckStatus::ok,
       CheckStatus::ok, true, ""},
      {"lock of another machine", fs::perms::owner_all, "elsewhere-" + std::to_string(::getpid()), CheckStatus::ok,
       CheckStatus::ok, true, ""},
  };
  const SellerSpriteScraper scraper;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(scraper.profile_dir);
    fs::create_directories(scraper.profile_dir);
    fs::permissions(scraper.profile_dir, c.mode);
    if (c.lock_owner) fs::create_symlink(*c.lock_owner, scraper.profile_dir / "SingletonLock");

    const ConfigurationReport report = check_configuration(&scraper);
    const CheckLine profile = line_named(report, "浏览器配置目录");
    const CheckLine lock = line_named(report, "配置目录占用");
    EXPECT_EQ(profile.status, c.profile_status) << profile.detail;
    EXPECT_EQ(lock.status, c.lock_status) << lock.detail;
    EXPECT_EQ(report.profile_free, c.free);
    const CheckLine& failed = profile.status == CheckStatus::failed ? profile : lock;
    EXPECT_NE(failed.detail.find(c.detail_part), std::string::npos) << failed.detail;
  }
}

TEST_F(DoctorConfigurationTest, MissingProfileAndBrokenCacheAreReported) {
  const SellerSpriteScraper scraper;
  std::ofstream(config_->path() / "pypi_version_cache.json") << "{not json";
  const ConfigurationReport report = check_configuration(&scraper);
  EXPECT_EQ(line_named(report, "CONFIG_DIR").status, CheckStatus::ok);
  const CheckLine profile = line_named(report, "浏览器配置目录");
  EXPECT_EQ(profile.status, CheckStatus::failed);
  EXPECT_NE(profile.detail.find("ravik seller-sprite login"), std::string::npos) << profile.detail;
  EXPECT_TRUE(report.profile_free);
  const CheckLine cache = line_named(report, "版本缓存");
  EXPECT_EQ(cache.status, CheckStatus::failed);
  EXPECT_NE(cache.detail.find("不是 JSON"), std::string::npos) << cache.detail;

  std::ofstream(config_->path() / "pypi_version_cache.json") << R"({"latest_version": "1.0", "checked_at": 1})";
  EXPECT_EQ(line_named(check_configuration(&scraper), "版本缓存").status, CheckStatus::ok);
  fs::remove(config_->path() / "pypi_version_cache.json");
  const CheckLine absent = line_named(check_configuration(&scraper), "版本缓存");
  EXPECT_EQ(absent.status, CheckStatus::ok);
  EXPECT_NE(absent.detail.find("尚未创建"), std::string::npos);
}

}  // namespace
}  // namespace ravik::cli
