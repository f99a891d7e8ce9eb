// A refused RAVIK_SELLERSPRITE_ORIGIN stops every operation before anything
// starts. A program of its own, because the origin is kept once accepted:
// here the variable names a plain-HTTP host from the start.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "ravik/seller_sprite/domain/exceptions.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

namespace fs = std::filesystem;

// The origin setting, the configuration directory and a stand-in for node
// that only leaves a mark when something tries to start the driver.
class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    root = fs::temp_directory_path() / ("ravik-origin-refusal-" + std::to_string(::getpid()));
    fs::create_directories(root);
    const fs::path node = root / "node";
    std::ofstream(node) << "#!/bin/sh\ntouch '" << (root / "driver-started").string() << "'\nexit 1\n";
    fs::permissions(node, fs::perms::owner_all);
    ::setenv("RAVIK_SELLERSPRITE_ORIGIN", "http://some-host.invalid:8080", 1);
    ::setenv("RAVIK_CONFIG_DIR", (root / "config").c_str(), 1);
    ::setenv("RAVIK_NODE", node.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root); }
  static inline fs::path root;
};
[[maybe_unused]] ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

TEST(OriginRefusal, EveryOperationFailsWithTheConfigurationErrorBeforeAnythingStarts) {
  const SellerSpriteScraper scraper({.headless = true});
  const fs::path run_dir = Environment::root / "run";
  SellerSpriteCollectOptions options;
  options.keyword = "yoga mat";
  options.url = "http://some-host.invalid:8080/";
  const Json account = {{"username", "demo@ravik.test"}, {"password", "secret"}};
  const std::pair<const char*, std::function<void()>> operations[] = {
      {"collect", [&] { (void)scraper.collect({.options = options, .run_id = "r", .run_dir = run_dir, .account = account}); }},
      {"collect_frequency", [&] { (void)scraper.collect_frequency({.options = options, .run_id = "r", .run_dir = run_dir}); }},
      {"archive_url", [&] { (void)scraper.archive_url({.options = options, .run_id = "r", .run_dir = run_dir}); }},
      {"login", [&] { (void)scraper.login(); }},
      {"login_status", [&] { (void)scraper.login_status({.options = options, .run_id = "r", .run_dir = run_dir}); }},
  };
  for (const auto& [name, operation] : operations) {
    SCOPED_TRACE(name);
    try {
      operation();
      ADD_FAILURE() << "expected SellerSpriteConfigError";
    } catch (const seller_sprite::domain::SellerSpriteConfigError& error) {
      EXPECT_NE(std::string(error.what()).find("RAVIK_SELLERSPRITE_ORIGIN"), std::string::npos) << error.what();
    }
  }
  EXPECT_FALSE(fs::exists(Environment::root / "driver-started")) << "no driver was started";
  EXPECT_FALSE(fs::exists(scraper.profile_dir));
  EXPECT_FALSE(fs::exists(run_dir));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
