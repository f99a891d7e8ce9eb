#include "ravik/shared/verwatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <future>

#include "ravik/config.h"
#include "ravik/shared/file_io.h"
#include "ravik/version.h"
#include "tests/support/loopback_server.h"

namespace ravik::shared::verwatch {
namespace {

namespace fs = std::filesystem;
using ::ravik::test_support::LoopbackServer;

// CONFIG_DIR and the package index origin are read once per process, so this
// program points both at a temporary directory and a loopback server before
// any test runs.
LoopbackServer* g_index = nullptr;

class VerwatchEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    config_dir_ = fs::temp_directory_path() / ("verwatch_test_" + std::to_string(::getpid()));
    fs::remove_all(config_dir_);
    ::setenv("RAVIK_CONFIG_DIR", config_dir_.c_str(), 1);
    server_ = std::make_unique<LoopbackServer>();
    ::setenv("RAVIK_PACKAGE_INDEX_ORIGIN", (server_->origin() + "/").c_str(), 1);
    g_index = server_.get();
  }
  void TearDown() override {
    g_index = nullptr;
    server_.reset();
    fs::remove_all(config_dir_);
  }

 private:
  fs::path config_dir_;
  std::unique_ptr<LoopbackServer> server_;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new VerwatchEnvironment);

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string hint(const std::string& current, const std::string& latest) {
  return "\nravik 有新版本可用，建议更新最新版本: v" + current + " → v" + latest +
         "\n请按以下步骤更新：\n  1. pip install --upgrade moltane-ravik\n  2. ravik skills install --force\n"
         "  3. ravik skills upgrade\n\n";
}

class VerwatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(config::CONFIG_DIR());
    answer_with(200, R"({"info": {"version": "0.0.1"}})");
  }

  static void answer_with(int status, std::string body) {
    g_index->set_handler([status, body](const httplib::Request& request, httplib::Response& response) {
      response.status = request.path == "/pypi/moltane-ravik/json" ? status : 404;
      response.set_content(body, "application/json");
    });
  }

  static void write_cache_text(const std::string& text) {
    fs::create_directories(config::CONFIG_DIR());
    write_file_atomically(CACHE_FILE(), text);
  }
  static void write_cache(const std::string& latest, double checked_at) {
    write_cache_text(Json{{"latest_version", latest}, {"checked_at", checked_at}}.dump());
  }

  // Checks that the cache file is `prefix`, a time in seconds in its
  // shortest form with a fraction, and "}"; returns the time.
  static double expect_cache_bytes(const std::string& prefix) {
    const std::string bytes = read_file(CACHE_FILE());
    EXPECT_TRUE(bytes.starts_with(prefix) && bytes.ends_with("}")) << bytes;
    if (bytes.size() < prefix.size() + 1) return 0;
    const std::string seconds = bytes.substr(prefix.size(), bytes.size() - prefix.size() - 1);
    EXPECT_EQ(seconds.find_first_not_of("0123456789."), std::string::npos) << seconds;
    EXPECT_NE(seconds.find('.'), std::string::npos) << seconds;
    EXPECT_EQ(format_seconds(std::stod(seconds)), seconds);
    return std::stod(seconds);
  }

  // Runs check_and_notify; returns what it printed on stderr and how many
  // requests reached the package index.
  static std::pair<std::string, int> run_check() {
    const int before = g_index->request_count();
    ::testing::internal::CaptureStderr();
    check_and_notify();
    return {::testing::internal::GetCapturedStderr(), g_index->request_count() - before};
  }

  // Runs the check while a FIFO sits at `fifo`. Should the check wait on
  // it, the test fails after a generous bound and a writer releases it.
  static std::pair<std::string, int> run_check_beside_fifo(const fs::path& fifo) {
    fs::create_directories(fifo.parent_path());
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto check = std::async(std::launch::async, run_check);
    if (check.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      ADD_FAILURE() << "the check waits on the FIFO " << fifo;
      ::close(::open(fifo.c_str(), O_WRONLY));
    }
    return check.get();
  }

  const std::string current_ = version::get_version();
  const std::string newer_ = "999.0.0";
};

TEST(VersionTest, ParsesLikeTheReleaseNumbers) {
  const std::pair<const char*, VersionTuple> cases[] = {
      {"1.2.3", {1, 2, 3}},   {"v2.0", {2, 0, 0}},   {"1.2.3rc1", {1, 2, 0}}, {"1.2.3.4", {1, 2, 3}},
      {"", {0, 0, 0}},        {"V1.2", {0, 2, 0}},   {"1..2", {1, 0, 2}},     {"  1.2.3\n", {1, 2, 3}},
      {"vv1", {0, 0, 0}},     {"1.-2.3", {1, 0, 3}}, {"1.+2", {1, 0, 0}},    {"99999999999999999999999", {UINT64_MAX, 0, 0}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(_parse_version(text), expected);
  }
  EXPECT_TRUE(is_newer_available("1.9.9", "1.10.0"));
  EXPECT_FALSE(is_newer_available("2.0.0", "2.0.0rc1"));
  EXPECT_FALSE(is_newer_available("2.0.0", "2.0.0"));
  EXPECT_FALSE(is_newer_available("2.0.0", "1.99.99"));
}

TEST(VersionTest, SecondsKeepAFractionAndRoundTrip) {
  const std::pair<double, const char*> cases[] = {
      {1765170000.0, "1765170000.0"}, {1765170000.123456, "1765170000.123456"}, {0.0, "0.0"},
      {0.1, "0.1"},  {-2.5, "-2.5"}, {1e16, "1e+16"}, {123456789012345678.0, "1.2345678901234568e+17"},
      {0.0001, "0.0001"}, {1.5e-5, "1.5e-05"}, {1e100, "1e+100"}, {9999999999999998.0, "9999999999999998.0"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(format_seconds(value), text);
    EXPECT_EQ(std::stod(text), value);
  }
}

TEST_F(VerwatchTest, FreshCacheAnswersWithoutTheNetwork) {
  write_cache(newer_, now_seconds() - 60);
  for (int run = 0; run < 2; ++run) EXPECT_EQ(run_check(), std::make_pair(hint(current_, newer_), 0));
  write_cache(current_, now_seconds() - 60);
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));
  write_cache(newer_, now_seconds() + 3600);  // a clock set back still counts as fresh
  EXPECT_EQ(run_check().second, 0);
}

TEST_F(VerwatchTest, DayOldCacheIsAskedAgainAndRewritten) {
  write_cache(current_, now_seconds() - CACHE_TTL);
  answer_with(200, R"({"info": {"version": ")" + newer_ + R"(", "name": "x"}, "releases": {}})");
  EXPECT_EQ(run_check(), std::make_pair(hint(current_, newer_), 1));
  const double checked_at = expect_cache_bytes(R"({"latest_version": "999.0.0", "checked_at": )");
  EXPECT_LT(now_seconds() - checked_at, 60);
  EXPECT_EQ(run_check(), std::make_pair(hint(current_, newer_), 0));  // now fresh
}

TEST_F(VerwatchTest, SameVersionIsCachedSilently) {
  answer_with(200, R"({"info": {"version": ")" + current_ + R"("}})");
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  EXPECT_EQ(_read_cache().value()["latest_version"], current_);
}

TEST_F(VerwatchTest, CacheTextIsExact) {
  _write_cache("1.0-ü\"é\x7f");
  expect_cache_bytes(R"({"latest_version": "1.0-\u00fc\"\u00e9\u007f", "checked_at": )");
}

TEST_F(VerwatchTest, BadAnswersLeaveNoCacheAndNoOutput) {
  const std::pair<int, const char*> answers[] = {
      {500, R"({"info": {"version": "999.0.0"}})"},
      {404, R"({"info": {"version": "999.0.0"}})"},
      {200, R"({"info": {"version": "999.0.0")"},
      {200, R"({"releases": {}})"},
      {200, R"({"info": {"name": "moltane-ravik"}})"},
      {200, R"({"info": {"version": 999}})"},
      {200, R"({"info": ["version"]})"},
      {200, R"(["info"])"},
  };
  for (const auto& [status, body] : answers) {
    SCOPED_TRACE(body);
    answer_with(status, body);
    fs::remove(FAILURE_FILE());  // each answer on its own, not held back by the last failure
    EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
    EXPECT_FALSE(fs::exists(CACHE_FILE()));
  }
}

TEST_F(VerwatchTest, SlowIndexIsAbandonedAfterFiveSeconds) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  g_index->set_handler([released](const httplib::Request&, httplib::Response& response) {
    released.wait();
    response.set_content(R"({"info": {"version": "999.0.0"}})", "application/json");
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  release.set_value();
  EXPECT_GE(elapsed, std::chrono::milliseconds(4900));
  EXPECT_FALSE(fs::exists(CACHE_FILE()));
}

TEST_F(VerwatchTest, UnusableCacheIsIgnoredAndTheIndexAsked) {
  for (const std::string& text : {
           std::string("not json"),
           std::string("{\"latest_version\": \"\xFF\", \"checked_at\": 1e12}"),
           std::string("\xEF\xBB\xBF{\"latest_version\": \"999.0.0\", \"checked_at\": 1e12}"),
           std::string(R"(["latest_version", "checked_at"])"),
           std::string(R"({"latest_version": "999.0.0"})"),
           std::string(R"({"checked_at": 1e12})"),
           std::string(R"({"latest_version": "999.0.0", "checked_at": "1e12"})"),
           std::string(R"({"latest_version": "999.0.0", "checked_at": null})"),
           std::string(R"({"latest_version": "999.0.0", "checked_at": true})"),
       }) {
    SCOPED_TRACE(text);
    write_cache_text(text);
    EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  }
}

TEST_F(VerwatchTest, CacheFailuresEndTheCheckSilently) {
  // Tests run as root, for whom permission bits do not stop a read, so an
  // unreadable cache is a directory in the cache file's place.
  fs::create_directories(CACHE_FILE());
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));
  fs::remove_all(CACHE_FILE());
  write_cache_text(R"({"latest_version": 2, "checked_at": 1e12})");  // not text: the comparison fails
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));
  write_cache_text(R"({"latest_version": "999.0.0", "checked_at": 1e12, "extra": [1]})");
  EXPECT_EQ(_read_cache().value()["extra"], Json::array({1}));
}

TEST_F(VerwatchTest, FailedCacheWriteSuppressesTheHint) {
  // A file where the configuration directory should be: the cache counts as
  // missing, the index is asked, and writing the answer fails.
  std::ofstream(config::CONFIG_DIR()) << "in the way";
  answer_with(200, R"({"info": {"version": "999.0.0"}})");
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  fs::remove(config::CONFIG_DIR());
}

TEST_F(VerwatchTest, AFailedQueryIsNotRepeatedWithinTheHour) {
  answer_with(503, "busy");
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  EXPECT_FALSE(fs::exists(CACHE_FILE()));
  const double failed_at = now_seconds();
  answer_with(200, R"({"info": {"version": "999.0.0"}})");
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));

  // An hour later, or with a memo that says nothing usable, the index is asked again.
  const std::string memos[] = {
      R"({"failed_at": )" + format_seconds(failed_at - RETRY_AFTER_FAILURE) + "}",
      R"({"failed_at": )" + format_seconds(failed_at + 600) + "}",  // from a clock set back
      R"({"failed_at": "recently"})",
      "{\"failed_at\": ",
      "",
  };
  for (const std::string& memo : memos) {
    SCOPED_TRACE(memo);
    fs::remove(CACHE_FILE());
    write_file_atomically(FAILURE_FILE(), memo);
    EXPECT_EQ(run_check(), std::make_pair(hint(current_, newer_), 1));
  }
  // A success leaves the cache exactly as before: nothing of the memo in it.
  expect_cache_bytes(R"({"latest_version": "999.0.0", "checked_at": )");
}

TEST_F(VerwatchTest, AHangingIndexCostsOneTimeOutAnHour) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  g_index->set_handler([released](const httplib::Request&, httplib::Response& response) {
    released.wait();
    response.set_content(R"({"info": {"version": "999.0.0"}})", "application/json");
  });
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));
  EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));
  release.set_value();
  const Json memo = Json::parse(read_file(FAILURE_FILE()));
  EXPECT_EQ(memo.size(), 1u);
  EXPECT_LT(now_seconds() - memo.at("failed_at").get<double>(), 60);
  EXPECT_FALSE(fs::exists(CACHE_FILE()));
}

TEST_F(VerwatchTest, VersionTextsWithControlCharactersAreNeverPrinted) {
  const std::string hostile[] = {"999.0.0\u001b[2J", "999.0.0\u001b]0;owned\u0007", "999.0.0\n\nrun this",
                                 "999.0.0[/yellow][red]", "999.0.0\u009b31m", "999.0.0 ", "999." + std::string(64, '0')};
  for (const std::string& latest : hostile) {
    SCOPED_TRACE(latest);
    fs::remove_all(config::CONFIG_DIR());
    answer_with(200, R"({"info": {"version": ")" + latest + R"("}})");
    EXPECT_EQ(run_check(), std::make_pair(std::string(), 1));  // from the index
    EXPECT_EQ(run_check(), std::make_pair(std::string(), 0));  // from the cache it wrote
  }
  const std::string plain[] = {"999.0.0", "v999.0.0", "999.0.0rc1", "999.0.0.post1+local_build-2", "999.0!1.dev3"};
  for (const std::string& latest : plain) {
    SCOPED_TRACE(latest);
    fs::remove_all(config::CONFIG_DIR());
    answer_with(200, R"({"info": {"version": ")" + latest + R"("}})");
    EXPECT_EQ(run_check(), std::make_pair(hint(current_, latest), 1));
  }
}

TEST_F(VerwatchTest, AFifoInPlaceOfTheCacheOrTheMemoIsNotWaitedOn) {
  // At the cache's place it counts as no cache, and the answer replaces it.
  EXPECT_EQ(run_check_beside_fifo(CACHE_FILE()), std::make_pair(std::string(), 1));
  EXPECT_TRUE(fs::is_regular_file(CACHE_FILE()));
  fs::remove_all(config::CONFIG_DIR());
  // At the memo's place it counts as no memo.
  answer_with(500, "down");
  EXPECT_EQ(run_check_beside_fifo(FAILURE_FILE()), std::make_pair(std::string(), 1));
}

}  // namespace
}  // namespace ravik::shared::verwatch
