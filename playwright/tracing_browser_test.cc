// Tracing: the archive a context's recording leaves is a zip the trace viewer
// reads, owner-only, written whole; a save that fails still ends the
// recording, so that it can start again.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "playwright/browser_test_support.h"
#include "ravik/run_sync.h"

namespace playwright {
namespace {

namespace fs = std::filesystem;

// What `unzip -l` lists for `archive`, or "" when it is not a readable zip.
std::string zip_listing(const fs::path& archive) {
  const std::string command = "unzip -l '" + archive.string() + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string listing;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) listing += buffer;
  return ::pclose(pipe) == 0 ? listing : "";
}

TEST(TracingTest, ArchiveIsAnOwnerOnlyZipTheViewerReadsAndAFailedSaveStillEndsTheRecording) {
  testing::TempDir dir;
  const std::string profile = (dir.path() / "profile").string();
  const LaunchPersistentContextOptions options = testing::launch_options(profile);
  testing::TestServer server;
  server.page("/traced", "<p>追踪</p>");
  const fs::path blocked = dir.path() / "a-file";
  std::ofstream(blocked) << "not a directory";
  const fs::path out_dir = dir.path() / "out";
  const fs::path archive = out_dir / "trace.zip";

  bool failed_save_threw = false;
  ravik::run_sync([&](asio::io_context&) -> asio::awaitable<void> {
    Playwright pw = co_await async_playwright().start();
    BrowserContext context = co_await pw.chromium.launch_persistent_context(options);
    Tracing tracing = context.tracing();
    const TracingStartOptions start{.screenshots = true, .snapshots = true};
    co_await tracing.start(start);
    try {
      co_await tracing.stop(blocked / "trace.zip");
    } catch (const Error&) {
      failed_save_threw = true;
    }
    co_await tracing.start(start);  // refused if the failed stop left it recording
    Page page = co_await context.new_page();
    co_await page.goto_(server.url("/traced"));
    co_await tracing.stop(archive);
    co_await context.close();
    co_await pw.stop();
  });

  EXPECT_TRUE(failed_save_threw);
  const std::string listing = zip_listing(archive);
  EXPECT_NE(listing.find("trace.trace"), std::string::npos) << listing;
  EXPECT_NE(listing.find("trace.network"), std::string::npos) << listing;
  struct stat status {};
  ASSERT_EQ(::stat(archive.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  // Nothing but the archive is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(out_dir), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace playwright
