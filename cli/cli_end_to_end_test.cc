// The `ravik seller-sprite` browser commands end to end: the built program
// drives Chromium against the stand-in site served by this test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "cli/account_prompt.h"
#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"
#include "ravik/shared/file_io.h"
#include "standin/site.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::Environment;
using testing_support::run_ravik;
using testing_support::stdout_json;
using testing_support::TempDir;

// The processes below `pid` at this moment (its children, theirs, ...).
std::vector<pid_t> descendants(pid_t pid) {
  std::vector<pid_t> found;
  std::error_code ignored;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream children(task.path() / "children");
    for (pid_t child; children >> child;) {
      found.push_back(child);
      for (pid_t below : descendants(child)) found.push_back(below);
    }
  }
  return found;
}

// Process handles (pidfds) of every process seen below a running command;
// a handle stays with its process even after the command is gone.
class ProcessTree {
 public:
  ~ProcessTree() {
    for (const auto& [pid, handle] : handles_) ::close(handle);
  }
  void note_descendants(pid_t root) {
    for (pid_t pid : descendants(root)) {
      if (handles_.contains(pid)) continue;
      const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
      if (handle >= 0) handles_.emplace(pid, handle);
    }
  }
  std::size_t size() const { return handles_.size(); }
  // The processes still running after `grace`.
  std::vector<pid_t> still_running(std::chrono::milliseconds grace) const {
    std::vector<pid_t> running;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (const auto& [pid, handle] : handles_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd exited{handle, POLLIN, 0};
      if (::poll(&exited, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) running.push_back(pid);
    }
    return running;
  }
 private:
  std::map<pid_t, int> handles_;
};

class CliEndToEndTest : public testing::Test {
 protected:
  void SetUp() override { origin_ = site_.start(); }

  ProcessResult ravik(const std::vector<std::string>& args, Environment extra = {}, const std::string& input = "") {
    extra["RAVIK_SELLERSPRITE_ORIGIN"] = origin_;
    return run_ravik(args, temp_.path() / "config", temp_.path(), extra, input);
  }

  static Environment demo_account() {
    return {{kUsernameVariable, std::string(standin::kDemoUsername)},
            {kPasswordVariable, std::string(standin::kDemoPassword)}};
  }

  // Every file below `dir`.
  static std::size_t file_count(const fs::path& dir) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) count += entry.is_regular_file();
    return count;
  }

  standin::Site site_;
  std::string origin_;
  TempDir temp_;
};

// The steps' own lines, in order, without their timestamps ("[HH:MM:SS.mmm
// +Ns] "); the wait for responses, a line at each arrival, counts once.
std::vector<std::string> step_lines(const std::string& err) {
  static const std::regex timestamped(R"(^\[[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} \+[0-9hms]+\] (.*)$)");
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    std::smatch step;
    if (!std::regex_match(line, step, timestamped)) continue;
    const bool waiting = step[1].str().starts_with("等待响应 ");
    if (waiting && !lines.empty() && lines.back().starts_with("等待响应 ")) lines.pop_back();
    lines.push_back(step[1]);
  }
  return lines;
}

TEST_F(CliEndToEndTest, CollectLogsInWithTheAccountAndCompletes) {
  const fs::path run_dir = temp_.path() / "run";
  const ProcessResult collect = ravik({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--trend-limit",
                                       "1", "--trend-tabs", "search,aba", "--run-dir", run_dir.string(), "--verbose"},
                                      demo_account());
  ASSERT_EQ(collect.exit_code, kExitCompleted) << collect.err;
  const Json result = stdout_json(collect);
  EXPECT_FALSE(is_empty_entry(result, "frequency"));
  EXPECT_FALSE(is_empty_entry(result, "keyword_mining"));
  EXPECT_EQ(result.at("trend_details").size(), 1u);
  EXPECT_EQ(result.at("missing_sections"), Json::array());
  EXPECT_GT(file_count(run_dir), 0u);
  EXPECT_EQ(Json::parse(ravik::shared::read_file(run_dir / "result.json")), result) << "the printed result is kept";
  EXPECT_NE(collect.err.find("collect：已完成"), std::string::npos) << collect.err;

  // --verbose: each step on a line of its own on standard error (no
  // terminal there, so no progress line), standard output the JSON alone.
  const std::string keyword = result.at("trend_details").at(0).at("keyword");
  EXPECT_THAT(step_lines(collect.err),
              testing::ElementsAre("启动浏览器", "打开页面 · " + origin_ + "/v3/keyword-miner", "检查登录状态", "自动登录",
                                   "打开页面 · " + origin_ + "/v3/keyword-miner", "检查登录状态", "填写搜索表单",
                                   "等待响应 2/2 · 已收到 frequency、keyword_mining", "保存页面存档 · collect",
                                   "趋势详情 1/1 · " + keyword, "趋势详情 1/1 · 搜索趋势 · 标签 1/2 · " + keyword,
                                   "趋势详情 1/1 · ABA集中度 · 标签 2/2 · " + keyword, "关闭浏览器"))
      << collect.err;
  EXPECT_EQ(collect.err.find("\x1b[K"), std::string::npos);

  // The login is kept in the profile: the status needs no account, and its
  // files go to a new directory under ./runs.
  const ProcessResult status = ravik({"seller-sprite", "login-status", "--headless"});
  ASSERT_EQ(status.exit_code, kExitCompleted) << status.err;
  EXPECT_EQ(stdout_json(status).at("logged_in"), true);
  ASSERT_TRUE(fs::is_directory(temp_.path() / "runs"));
  const fs::directory_iterator run = fs::directory_iterator(temp_.path() / "runs");
  ASSERT_NE(run, fs::directory_iterator());
  EXPECT_GT(file_count(run->path()), 0u);
}

TEST_F(CliEndToEndTest, CollectWithoutLoginIsBlocked) {
  const fs::path run_dir = temp_.path() / "run";
  const ProcessResult collect =
      ravik({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--trace", "--run-dir", run_dir.string()});
  EXPECT_EQ(collect.exit_code, kExitBlocked) << collect.err;
  const Json result = stdout_json(collect);
  EXPECT_FALSE(result.contains("trend_details"));
  EXPECT_EQ(result.at("errors").at(0).at("code"), "SELLER_SPRITE_LOGIN_REQUIRED");
  // The message is printed as UTF-8 text, and repeated in the summary.
  EXPECT_NE(collect.out.find("卖家精灵未登录"), std::string::npos);
  EXPECT_NE(collect.err.find("collect：受阻"), std::string::npos) << collect.err;
  // Nobody could act in a browser without a window: the summary says what to do.
  EXPECT_NE(collect.err.find("请先执行 ravik seller-sprite login，或去掉 --headless 重新运行"), std::string::npos)
      << collect.err;
  // The trace is kept, owner-only, and the user is told what it holds.
  const fs::path trace = run_dir / "trace.zip";
  EXPECT_EQ(fs::status(trace).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(collect.err.find("Playwright 追踪已保存：" + trace.string()), std::string::npos) << collect.err;
  EXPECT_NE(collect.err.find("追踪文件包含本次会话的 Cookie 与页面内容，请勿随意分享"), std::string::npos) << collect.err;
}

TEST_F(CliEndToEndTest, CollectWithASectionMissingHasItsOwnStatus) {
  site_.update_switches([](standin::Switches& switches) {
    switches.api_modes[std::string(standin::kKeywordMinerFrequencyApi)] = standin::AnswerMode::empty;
  });
  const ProcessResult collect = ravik(
      {"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--run-dir", (temp_.path() / "run").string()},
      demo_account());
  EXPECT_EQ(collect.exit_code, kExitIncomplete) << collect.err;
  EXPECT_EQ(stdout_json(collect).at("missing_sections"), Json::array({"frequency"}));
  EXPECT_NE(collect.err.find("collect：部分完成"), std::string::npos) << collect.err;
  EXPECT_NE(collect.err.find("缺失数据：frequency\n"), std::string::npos) << collect.err;
}

TEST_F(CliEndToEndTest, ResultLostOnAFullDiskIsAnErrorThatPointsAtTheFiles) {
  const fs::path run_dir = temp_.path() / "run";
  ProcessRequest request = testing_support::ravik_request(
      {"seller-sprite", "login-status", "--headless", "--run-dir", run_dir.string()}, temp_.path() / "config",
      temp_.path(), {{"RAVIK_SELLERSPRITE_ORIGIN", origin_}});
  request.stdout_target = OutputTarget::full_device;
  const ProcessResult status = run_process(request);
  EXPECT_EQ(status.exit_code, kExitError);
  EXPECT_EQ(status.err, "错误：login-status 的结果未能输出，本次运行的文件仍在 " + run_dir.string() +
                            "\n  原因：无法写入标准输出：No space left on device\n");
  EXPECT_GT(file_count(run_dir), 0u);
}

TEST_F(CliEndToEndTest, LoginHandOverPromptsOnStandardErrorOnlyWithAWindow) {
  site_.update_switches([](standin::Switches& switches) { switches.captcha_at_login = true; });
  // This machine has no display: the "window" is a new-style headless
  // Chromium that the command believes to be visible.
  const fs::path windowless = temp_.path() / "windowless-chromium";
  std::ofstream(windowless) << "#!/bin/sh\nexec /usr/bin/chromium --headless=new \"$@\"\n";
  fs::permissions(windowless, fs::perms::owner_all);
  Environment with_window = demo_account();
  with_window["RAVIK_CHROMIUM_PATH"] = windowless.string();
  const ProcessResult windowed = ravik(
      {"seller-sprite", "collect", "--keyword", "yoga mat", "--run-dir", (temp_.path() / "windowed").string()},
      with_window, "\n");
  // The captcha keeps the login from completing; the Enter only resumes the flow.
  EXPECT_EQ(windowed.exit_code, kExitBlocked) << windowed.err;
  EXPECT_EQ(stdout_json(windowed).at("errors").at(0).at("code"), "SELLER_SPRITE_LOGIN_REQUIRED");
  EXPECT_NE(windowed.err.find("已自动填写卖家精灵账号密码"), std::string::npos) << windowed.err;

  // Without a window nobody could act in the browser: no prompt, no wait
  // (standard input stays open and silent), and a hint how to go on.
  const ProcessResult headless = ravik(
      {"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--run-dir",
       (temp_.path() / "headless").string()},
      demo_account());
  EXPECT_EQ(headless.exit_code, kExitBlocked) << headless.err;
  EXPECT_EQ(headless.err.find("已自动填写卖家精灵账号密码"), std::string::npos) << headless.err;
  EXPECT_NE(headless.err.find("--headless"), std::string::npos) << headless.err;
}

TEST_F(CliEndToEndTest, CaptchaBlocksEvenWithAnAccount) {
  site_.update_switches([](standin::Switches& switches) { switches.captcha = true; });
  const ProcessResult collect = ravik(
      {"seller-sprite", "frequency", "--keyword", "yoga mat", "--headless", "--run-dir", (temp_.path() / "run").string()});
  EXPECT_EQ(collect.exit_code, kExitBlocked) << collect.err;
  EXPECT_EQ(stdout_json(collect).at("captcha_required"), true);
}

TEST_F(CliEndToEndTest, BrowserFailureIsReportedAsAnError) {
  site_.stop();
  const fs::path run_dir = temp_.path() / "run";
  const ProcessResult archive = ravik({"seller-sprite", "archive", "--url", origin_ + "/gone", "--headless",
                                       "--timeout-ms", "5000", "--run-dir", run_dir.string()});
  EXPECT_EQ(archive.exit_code, kExitError);
  EXPECT_EQ(archive.out, "");
  EXPECT_EQ(archive.err.rfind("错误：", 0), 0u) << archive.err;
  // The page as the browser showed it is kept, and the message says where.
  const std::string folder_line = "页面现场已保存在 " + (run_dir / "failure").string() + "\n";
  EXPECT_TRUE(archive.err.ends_with(folder_line)) << archive.err;
  EXPECT_TRUE(fs::exists(run_dir / "failure" / "error.txt"));
}

TEST_F(CliEndToEndTest, SignalsCloseTheBrowserInOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    Environment environment;
    std::string_view busy_path;  // the site holds this request; the signal comes once it arrived
    int signal;
    bool to_group;  // as a terminal's Ctrl-C does
  };
  const Case cases[] = {
      // After the automatic login, while the search waits for its answers.
      {"SIGTERM during a collect", {"seller-sprite", "collect", "--keyword", "yoga mat"}, demo_account(),
       standin::kKeywordMinerApi, SIGTERM, false},
      // While a page load waits.
      {"Ctrl-C during an archive", {"seller-sprite", "archive", "--url", origin_ + std::string(standin::kHeartbeatApi)},
       {}, standin::kHeartbeatApi, SIGINT, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    site_.update_switches([&c](standin::Switches& switches) {
      switches.api_modes = {{std::string(c.busy_path), standin::AnswerMode::never}};
    });
    site_.clear_requests();
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--headless", "--run-dir", (temp_.path() / c.name).string()});
    Environment environment = c.environment;
    environment["RAVIK_SELLERSPRITE_ORIGIN"] = origin_;
    ProcessRequest request = testing_support::ravik_request(args, temp_.path() / "config", temp_.path(), environment);
    ProcessTree tree;
    bool signalled = false;
    request.on_progress = [&](pid_t pid, const std::string&) {
      if (signalled) return;
      tree.note_descendants(pid);
      if (site_.requests_to(c.busy_path).empty()) return;
      ::kill(c.to_group ? -pid : pid, c.signal);
      signalled = true;
    };
    const ProcessResult interrupted = run_process(request);
    ASSERT_TRUE(signalled) << interrupted.err;
    EXPECT_EQ(interrupted.exit_code, 128 + c.signal) << interrupted.err;
    EXPECT_NE(interrupted.err.find("已中断\n"), std::string::npos) << interrupted.err;
    EXPECT_EQ(interrupted.out, "");
    EXPECT_GT(tree.size(), 1u);  // the driver and Chromium were seen
    EXPECT_EQ(tree.still_running(std::chrono::seconds(10)), std::vector<pid_t>{});
  }

  // The login that the collect made before the signal was kept in the profile.
  site_.update_switches([](standin::Switches& switches) { switches.api_modes.clear(); });
  const ProcessResult status = ravik({"seller-sprite", "login-status", "--headless"});
  EXPECT_EQ(status.exit_code, kExitCompleted) << status.err;
  EXPECT_EQ(stdout_json(status).at("logged_in"), true);
}

}  // namespace
}  // namespace ravik::cli
