// Finding node and the pinned playwright-core before anything starts.
#include "playwright/driver_location.h"

#include <stdlib.h>

#include <fstream>

#include <gtest/gtest.h>

#include "playwright/error.h"
#include "tests/support/scoped_environment_variable.h"

namespace playwright {
namespace {

namespace fs = std::filesystem;

using ScopedEnv = ravik::test_support::ScopedEnvironmentVariable;

fs::path make_dir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("ravik-driver-location-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string message_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const DriverNotInstalledError& e) {
    return e.what();
  }
  return "no DriverNotInstalledError";
}

TEST(DriverLocationTest, FindsTheInstalledDriver) {
  const DriverLocation location = locate_driver();
  EXPECT_EQ(location.node.filename(), "node");
  EXPECT_EQ(location.cli_js.filename(), "cli.js");
  EXPECT_TRUE(fs::exists(location.cli_js));
}

TEST(DriverLocationTest, NamesWhatIsMissing) {
  const fs::path empty = make_dir("empty");
  {
    ScopedEnv path("PATH", empty.string());
    EXPECT_NE(message_of([] { locate_driver(); }).find("no executable \"node\" on PATH"), std::string::npos);
  }
  {
    ScopedEnv node("RAVIK_NODE", (empty / "node").string());
    EXPECT_NE(message_of([] { locate_driver(); }).find("RAVIK_NODE names"), std::string::npos);
  }
  {
    ScopedEnv core("RAVIK_PLAYWRIGHT_CORE_DIR", empty.string());
    EXPECT_NE(message_of([] { locate_driver(); }).find((empty / "cli.js").string() + " does not exist"),
              std::string::npos);
  }
  const fs::path other_version = make_dir("other-version");
  std::ofstream(other_version / "cli.js") << "\n";
  std::ofstream(other_version / "package.json") << R"({"version": "1.0.0"})";
  {
    ScopedEnv core("RAVIK_PLAYWRIGHT_CORE_DIR", other_version.string());
    EXPECT_NE(message_of([] { locate_driver(); }).find("is version 1.0.0, but"), std::string::npos);
  }
  fs::remove_all(empty);
  fs::remove_all(other_version);
}

}  // namespace
}  // namespace playwright
