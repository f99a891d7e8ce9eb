// The command's building blocks that need no browser: parameter words,
// blocked-result detection, exit statuses, flag checks, failure text, JSON
// text, run directories and the progress indicator on a terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "cli/command_console.h"
#include "cli/error_report.h"
#include "cli/flag_checks.h"
#include "cli/interrupt_watch.h"
#include "cli/json_output.h"
#include "cli/progress_indicator.h"
#include "cli/result_summary.h"
#include "cli/run_dir.h"
#include "cli/scenario_commands.h"
#include "ravik/run_sync.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

TEST(ParseParameters, TextAndJsonValues) {
  const Json parameters = parse_parameters(
      {"keyword=yoga mat", "size:=100", "exact:=true", "query=a=b", "asins:=[\"B01\",\"B02\"]", "keyword=mat", "empty="});
  EXPECT_EQ(parameters.dump(),
            R"({"keyword":"mat","size":100,"exact":true,"query":"a=b","asins":["B01","B02"],"empty":""})");
}

TEST(ParseParameters, RejectsMalformedWords) {
  for (const char* word : {"keyword", "=value", ":=1", "size:=12abc"}) {
    SCOPED_TRACE(word);
    EXPECT_THROW(parse_parameters({word}), std::invalid_argument);
  }
}

TEST(IsBlocked, ReadsCaptchaLoginAndErrorCodes) {
  struct Case {
    const char* name;
    const char* result;
    bool blocked;
  };
  const Case cases[] = {
      {"completed", R"({"frequency":{"a":1},"trend_details":[],"files":{},"captcha_required":false,"missing_sections":[],"errors":[]})", false},
      {"missing section only", R"({"captcha_required":false,"missing_sections":["frequency"],"errors":[{"code":"SELLER_SPRITE_RESPONSE_MISSING","message":"frequency 响应未捕获"}]})", false},
      {"login record", R"({"captcha_required":false,"errors":[{"code":"SELLER_SPRITE_LOGIN_REQUIRED","message":"x"}]})", true},
      {"captcha answer", R"({"captcha_required":true,"errors":[]})", true},
      {"logged out status", R"({"profile_dir":"p","current_url":"u","logged_in":false,"files":{},"captcha_required":false})", true},
      {"logged in status", R"({"profile_dir":"p","current_url":"u","logged_in":true})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_blocked(Json::parse(c.result)), c.blocked);
  }
}

TEST(ResultExitCode, BlockedBeforeMissingBeforeCompleted) {
  struct Case {
    const char* name;
    const char* result;
    ExitCode status;
  };
  const Case cases[] = {
      {"completed", R"({"frequency":{"a":1},"captcha_required":false,"missing_sections":[],"errors":[]})", kExitCompleted},
      {"login status", R"({"profile_dir":"p","current_url":"u","logged_in":true})", kExitCompleted},
      {"one section missing", R"({"captcha_required":false,"missing_sections":["frequency"],"errors":[]})", kExitIncomplete},
      {"blocked with sections missing",
       R"({"captcha_required":true,"missing_sections":["frequency","keyword_mining"],"errors":[]})", kExitBlocked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(result_exit_code(Json::parse(c.result)), c.status);
  }
}

TEST(SummarizeResult, NamesOutcomeFilesAndMissingSections) {
  const Json result = Json::parse(
      R"({"files":{"collect_html":"/r/collect/page.html","trend":{"a":"/r/a.json","b":"/r/b.json"}},"captcha_required":false,
          "missing_sections":["frequency","keyword_mining"],"errors":[{"code":"SELLER_SPRITE_RESPONSE_MISSING","message":"frequency 响应未捕获"}]})");
  EXPECT_EQ(summarize_result("collect", result, "/r", false),
            "collect：部分完成\n  文件：3 个，位于 /r\n  缺失数据：frequency, keyword_mining\n  frequency 响应未捕获\n");
  const Json completed = Json::parse(R"({"files":{},"captcha_required":false,"missing_sections":[],"errors":[]})");
  EXPECT_EQ(summarize_result("collect", completed, "/r", true), "collect：已完成\n  文件：0 个，位于 /r\n");
}

TEST(SummarizeResult, BlockedWithoutAWindowSaysHowToGoOn) {
  const Json blocked = Json::parse(
      R"({"captcha_required":true,"missing_sections":[],"errors":[{"code":"SELLER_SPRITE_CAPTCHA_REQUIRED","message":"验证码"}]})");
  const std::string hint =
      "  无窗口运行时无法在浏览器中完成登录或验证：请先执行 ravik seller-sprite login，或去掉 --headless 重新运行\n";
  EXPECT_EQ(summarize_result("collect", blocked, "", true), "collect：受阻，页面出现验证码\n  验证码\n" + hint);
  EXPECT_EQ(summarize_result("collect", blocked, "", false), "collect：受阻，页面出现验证码\n  验证码\n");
}

TEST(FlagChecks, AcceptTheEdgesAndNameWhatIsAllowed) {
  struct Case {
    const char* name;
    CLI::Validator check;
    std::string value;
    std::string problem;  // empty: accepted
  };
  std::string at_limit;
  for (int i = 0; i < 200; ++i) at_limit += "垫";
  const std::string over_limit = at_limit + "a";
  const Case cases[] = {
      {"keyword", keyword_text(), "yoga mat", ""},
      {"keyword at the limit in characters, not bytes", keyword_text(), at_limit, ""},
      {"keyword over the limit", keyword_text(), over_limit, "最长 200 个字符，收到 201 个"},
      {"empty keyword", keyword_text(), "", "不能为空"},
      {"blank keyword with an ideographic space", keyword_text(), " \u3000\t", "不能为空"},
      {"text", non_blank_text(), " B0TEST ", ""},
      {"blank text", non_blank_text(), "\n", "不能为空"},
      {"lowest", integer_in_range(1, 2147483647), "1", ""},
      {"highest", integer_in_range(1, 2147483647), "2147483647", ""},
      {"below", integer_in_range(1, 2147483647), "0", "须为 1 到 2147483647 之间的整数，收到 0"},
      {"above", integer_in_range(0, 10), "11", "须为 0 到 10 之间的整数，收到 11"},
      {"beyond 64 bits", integer_in_range(0, 10), "99999999999999999999", "须为 0 到 10 之间的整数，收到 99999999999999999999"},
      {"fraction", integer_in_range(0, 10), "1.5", "须为 0 到 10 之间的整数，收到 1.5"},
      {"not a number", integer_in_range(0, 10), "ten", "须为 0 到 10 之间的整数，收到 ten"},
      {"all tabs", trend_tab_list(), "all", ""},
      {"listed tabs with blanks", trend_tab_list(), "search, aba ,market", ""},
      {"unknown tab", trend_tab_list(), "search,foo",
       "未知的趋势标签：foo；可用 all，或以逗号分隔的 search,google,aba,ppc,market 中的若干个"},
      {"empty list", trend_tab_list(), "", "未知的趋势标签：（空）；可用 all，或以逗号分隔的 search,google,aba,ppc,market 中的若干个"},
      {"all among tabs", trend_tab_list(), "all,search",
       "未知的趋势标签：all；可用 all，或以逗号分隔的 search,google,aba,ppc,market 中的若干个"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string value = c.value;
    EXPECT_EQ(c.check(value), c.problem);
  }
}

TEST(DescribeFailure, ListsNestedCausesOutermostFirst) {
  std::exception_ptr failure;
  try {
    try {
      try {
        throw std::runtime_error("socket closed");
      } catch (...) {
        std::throw_with_nested(std::runtime_error("driver stopped"));
      }
    } catch (...) {
      std::throw_with_nested(std::runtime_error("collect failed"));
    }
  } catch (...) {
    failure = std::current_exception();
  }
  EXPECT_EQ(describe_failure(failure), "错误：collect failed\n  原因：driver stopped\n  原因：socket closed\n");
  EXPECT_EQ(describe_failure(std::make_exception_ptr(42)), "错误：未知错误\n");
}

TEST(PrettyJson, KeepsNonAsciiAndSurvivesInvalidUtf8) {
  EXPECT_EQ(to_pretty_json(Json{{"message", "卖家精灵"}}), "{\n  \"message\": \"卖家精灵\"\n}");
  EXPECT_EQ(to_pretty_json(Json("a\xff")), "\"a\xEF\xBF\xBD\"");
}

class RunDirTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ravik-cli-run-dir-" + make_run_id());
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(RunDirTest, DefaultIsAFreshDirectoryNamedByTheRunId) {
  const RunLocation first = prepare_run_dir(std::nullopt, root_ / "runs");
  const RunLocation second = prepare_run_dir(std::nullopt, root_ / "runs");
  EXPECT_EQ(first.run_dir, root_ / "runs" / first.run_id);
  EXPECT_TRUE(fs::is_directory(first.run_dir));
  EXPECT_NE(first.run_dir, second.run_dir);
}

TEST_F(RunDirTest, RequestedDirectoryIsCreatedOrReused) {
  const RunLocation nested = prepare_run_dir(root_ / "a" / "b", root_ / "runs");
  EXPECT_TRUE(fs::is_directory(root_ / "a" / "b"));
  EXPECT_FALSE(nested.run_id.empty());
  EXPECT_NO_THROW(prepare_run_dir(root_ / "a" / "b", root_ / "runs"));
  EXPECT_FALSE(fs::exists(root_ / "runs"));
}

TEST_F(RunDirTest, RequestedPathBelowAFileFails) {
  std::ofstream(root_ / "file") << "x";
  EXPECT_THROW(prepare_run_dir(root_ / "file" / "run", root_ / "runs"), std::runtime_error);
}

// Standard error on the follower side of a pseudo-terminal for the object's
// lifetime, as when the command runs in a terminal; what was written there
// is read back from the leader side.
class TerminalStderr {
 public:
  TerminalStderr() {
    if (openpty(&leader_, &follower_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    ::fcntl(leader_, F_SETFL, O_NONBLOCK);
    saved_stderr_ = ::dup(STDERR_FILENO);
    ::dup2(follower_, STDERR_FILENO);
  }
  ~TerminalStderr() {
    ::dup2(saved_stderr_, STDERR_FILENO);
    ::close(saved_stderr_);
    ::close(follower_);
    ::close(leader_);
  }
  TerminalStderr(const TerminalStderr&) = delete;
  TerminalStderr& operator=(const TerminalStderr&) = delete;

  // Everything written since the last call.
  std::string take() {
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(leader_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(count));
    return text;
  }

 private:
  int leader_ = -1;
  int follower_ = -1;
  int saved_stderr_ = -1;
};

TEST(ProgressIndicator, DrawsPausesAndClearsOnATerminal) {
  TerminalStderr terminal;
  asio::io_context loop;
  ProgressIndicator indicator(loop, "collect");
  indicator.start();
  EXPECT_EQ(terminal.take(), "\r\x1b[Kcollect ... 0s");
  indicator.pause();
  indicator.resume();
  EXPECT_EQ(terminal.take(), "\r\x1b[K\r\x1b[Kcollect ... 0s");
  indicator.stop();
  EXPECT_EQ(terminal.take(), "\r\x1b[K");
  loop.run();  // the cancelled tick ends without drawing
  EXPECT_EQ(terminal.take(), "");
}

// A step replaces the operation's name on the line; with step lines on, it
// is first written on a line of its own, the progress line cleared before
// and drawn again after it.
TEST(ProgressIndicator, ShowsStepsOnTheLineAndAsLinesOfTheirOwnWhenAsked) {
  using seller_sprite_legacy::scraping::ProgressStage;
  TerminalStderr terminal;
  asio::io_context loop;
  ProgressIndicator quiet(loop, "collect", std::chrono::hours(1));
  quiet.start();
  quiet.show_step({.stage = ProgressStage::filling_form});
  EXPECT_EQ(terminal.take(), "\r\x1b[Kcollect ... 0s\r\x1b[K填写搜索表单 · 0s");
  quiet.stop();
  terminal.take();

  ProgressIndicator verbose(loop, "collect", std::chrono::hours(1), true);
  verbose.start();
  verbose.show_step({.stage = ProgressStage::archiving, .detail = "collect"});
  EXPECT_THAT(terminal.take(),
              ::testing::MatchesRegex("\r\x1b\\[Kcollect \\.\\.\\. 0s\r\x1b\\[K"
                                      "\\[[0-9:.]+ \\+0s\\] 保存页面存档 · collect\r?\n"
                                      "\r\x1b\\[K保存页面存档 · 0s"));
  verbose.stop();
}

// The operation's last step and a tick come due in the same pass of the
// loop, the step first: the indicator is stopped and gone before the tick's
// handler runs, which must then leave it alone (the sanitizer build reports
// any touch of the freed indicator).
TEST(ProgressIndicator, TickDueAfterTheIndicatorWentDoesNothing) {
  TerminalStderr terminal;
  ravik::run_sync([](asio::io_context& loop) -> asio::awaitable<void> {
    auto indicator = std::make_unique<ProgressIndicator>(loop, "collect", std::chrono::milliseconds(0));
    indicator->start();  // the first tick is due at once
    asio::steady_timer last_step(loop, asio::steady_timer::time_point{});  // due long ago: ahead of the tick
    co_await last_step.async_wait(asio::use_awaitable);
    indicator->stop();
    indicator.reset();
  });
  EXPECT_EQ(terminal.take(), "\r\x1b[Kcollect ... 0s\r\x1b[K");
}

// Standard input on the reading end of a pipe for the object's lifetime;
// the test writes the other end.
class PipedStdin {
 public:
  PipedStdin() {
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
    read_end_ = ends[0];
    write_end_ = ends[1];
    saved_stdin_ = ::dup(STDIN_FILENO);
    ::dup2(read_end_, STDIN_FILENO);
  }
  ~PipedStdin() {
    ::dup2(saved_stdin_, STDIN_FILENO);
    ::close(saved_stdin_);
    ::close(read_end_);
    ::close(write_end_);
    std::cin.clear();
    std::clearerr(stdin);
  }
  PipedStdin(const PipedStdin&) = delete;
  PipedStdin& operator=(const PipedStdin&) = delete;

  void write(std::string_view text) { ASSERT_EQ(::write(write_end_, text.data(), text.size()), static_cast<ssize_t>(text.size())); }

 private:
  int read_end_ = -1;
  int write_end_ = -1;
  int saved_stdin_ = -1;
};

// The prompt goes to standard error with the indicator held off the line
// until the answer was read; an Enter counts, and an interrupt ends a wait
// for a line that never comes as end of input.
TEST(CommandConsole, PromptsOnStandardErrorAndInterruptEndsTheWaitForEnter) {
  using ravik::seller_sprite_legacy::scraping::ConsoleInputClosedError;
  TerminalStderr terminal;
  PipedStdin input;
  int caught = 0;
  bool input_ended = false;
  std::string answered_prompt;
  std::string ended_prompt;
  ravik::run_sync([&](asio::io_context& loop) -> asio::awaitable<void> {
    const InterruptWatch interrupts;
    ProgressIndicator indicator(loop, "login", std::chrono::hours(1));  // no tick comes between the checks
    CommandConsole console(indicator, interrupts.notice_fd());
    indicator.start();
    terminal.take();
    input.write("\n");
    co_await console.prompt_and_wait_for_enter("answered: ");  // an Enter without interrupt still counts
    answered_prompt = terminal.take();
    // The signal comes while the prompt waits for a line that never comes.
    asio::post(loop, [] { std::raise(SIGINT); });
    try {
      co_await console.prompt_and_wait_for_enter("waiting: ");
    } catch (const ConsoleInputClosedError&) {
      input_ended = true;
    }
    ended_prompt = terminal.take();
    caught = interrupts.signal_number();
  });
  EXPECT_TRUE(input_ended);
  EXPECT_EQ(caught, SIGINT);
  // Cleared, the prompt, and the line drawn again only after the answer.
  for (const auto& [prompt, written] : {std::pair{"answered: ", answered_prompt}, std::pair{"waiting: ", ended_prompt}}) {
    SCOPED_TRACE(prompt);
    const std::string expected_start = std::string("\r\x1b[K") + prompt + "\r\x1b[Klogin ... ";
    EXPECT_EQ(written.substr(0, expected_start.size()), expected_start);
    EXPECT_TRUE(written.ends_with("s")) << written;
  }
}

TEST(InterruptWatchDeathTest, FirstSignalIsNotedSecondExitsAtOnce) {
  EXPECT_EXIT(
      {
        const InterruptWatch watch;
        std::raise(SIGTERM);
        if (watch.signal_number() == SIGTERM) std::raise(SIGINT);
        std::_Exit(0);
      },
      testing::ExitedWithCode(130), "已中断");
}

}  // namespace
}  // namespace ravik::cli
