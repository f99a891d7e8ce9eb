// The `ravik` command without a browser: scenario and Rufus subcommands,
// exit statuses and error reporting, run through the built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"
#include "tests/support/loopback_server.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::Environment;
using testing_support::ravik_request;
using testing_support::run_ravik;
using testing_support::stdout_json;
using testing_support::TempDir;

class CliCommandsTest : public testing::Test {
 protected:
  ProcessResult ravik(const std::vector<std::string>& args, const Environment& extra = {}) {
    return run_ravik(args, temp_.path() / "config", temp_.path(), extra);
  }
  ProcessResult ravik_with_output(const std::vector<std::string>& args, OutputTarget stdout_target,
                                  OutputTarget stderr_target = OutputTarget::captured, const Environment& extra = {}) {
    ProcessRequest request = ravik_request(args, temp_.path() / "config", temp_.path(), extra);
    request.stdout_target = stdout_target;
    request.stderr_target = stderr_target;
    return run_process(request);
  }
  TempDir temp_;
};

TEST_F(CliCommandsTest, ScenariosListShowAndPayload) {
  const ProcessResult list = ravik({"seller-sprite", "scenarios"});
  ASSERT_EQ(list.exit_code, kExitCompleted) << list.err;
  std::vector<std::string> ids;
  for (const Json& scenario : stdout_json(list)) ids.push_back(scenario.at("scenario_id"));
  EXPECT_EQ(ids, (std::vector<std::string>{"competitor-lookup", "product-research", "keyword-miner", "keyword-reverse"}));
  // Chinese titles come out as UTF-8 text, not \u escapes.
  EXPECT_NE(list.out.find("关键词挖掘"), std::string::npos);

  const ProcessResult show = ravik({"seller-sprite", "scenarios", "show", "keyword-miner"});
  ASSERT_EQ(show.exit_code, kExitCompleted) << show.err;
  EXPECT_EQ(stdout_json(show).at("high_frequency_endpoint"), "/v3/api/keyword-miner/high/frequency-new");

  const ProcessResult payload = ravik({"seller-sprite", "scenarios", "payload", "keyword-reverse", "asin=b0test", "size:=20",
                                       "--site", "de", "--period", "7d", "--page-size", "100"});
  ASSERT_EQ(payload.exit_code, kExitCompleted) << payload.err;
  const Json request = stdout_json(payload);
  EXPECT_EQ(request.at("endpoint"), "/v3/api/relation/reversing?market=DE");
  EXPECT_EQ(request.at("high_frequency_endpoint"), "/v3/api/relation/ta/high-frequency-words-new?market=DE");
  EXPECT_EQ(request.at("payload").at("asin"), "B0TEST");
  EXPECT_EQ(request.at("payload").at("size"), 20);
  EXPECT_EQ(request.at("payload").at("month"), "7d");
}

TEST_F(CliCommandsTest, ScenarioFailuresShowTheirMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"seller-sprite", "scenarios", "show", "Keyword-Miner"}, "错误：未知卖家精灵场景：Keyword-Miner\n"},
      {{"seller-sprite", "scenarios", "payload", "keyword-miner", "keyword="}, "错误：场景 keyword-miner 缺少参数：keyword\n"},
      {{"seller-sprite", "scenarios", "payload", "keyword-miner", "keyword"}, "错误：参数 keyword 不是 key=value 或 key:=json 形式\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ProcessResult result = ravik(c.args);
    EXPECT_EQ(result.exit_code, kExitError);
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(result.out, "");
  }
}

TEST_F(CliCommandsTest, RufusQuestionsFromTheExampleBankAndNotReady) {
  const ProcessResult loaded = ravik({"rufus", "questions", "--skills-dir", RAVIK_SOURCE_DIR "/examples/skills"});
  ASSERT_EQ(loaded.exit_code, kExitCompleted) << loaded.err;
  const Json templates = stdout_json(loaded);
  ASSERT_TRUE(templates.is_array());
  ASSERT_FALSE(templates.empty());
  const Json& questions = templates.at(0).at("questions");
  ASSERT_FALSE(questions.empty());
  for (std::size_t i = 1; i < questions.size(); ++i) {
    EXPECT_LE(questions[i - 1].at("position"), questions[i].at("position"));
  }

  // No skills directory at all: the default path under the working
  // directory does not exist either.
  const ProcessResult missing = ravik({"rufus", "questions"});
  EXPECT_EQ(missing.exit_code, kExitError);
  EXPECT_EQ(missing.err.rfind("错误：题库未就绪，请先执行 `ravik skills install ravik-amazon-rufus`", 0), 0u) << missing.err;

  fs::create_directories(temp_.path() / "skills" / "ravik-amazon-rufus" / "data");
  std::ofstream(temp_.path() / "skills" / "ravik-amazon-rufus" / "data" / "question_templates.json") << "{\"items\": [}";
  const ProcessResult broken = ravik({"rufus", "questions", "--skills-dir", (temp_.path() / "skills").string()});
  EXPECT_EQ(broken.exit_code, kExitError);
  EXPECT_EQ(broken.err.rfind("错误：题库 JSON 格式错误: ", 0), 0u) << broken.err;
}

TEST_F(CliCommandsTest, UsageErrorsAndVersion) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"seller-sprite"},
           {"seller-sprite", "collect"},  // --keyword is required
           {"seller-sprite", "collect", "--keyword", "x", "--site", "zz"},
           {"seller-sprite", "collect", "--keyword", "x", "--password", "secret"},
       }) {
    SCOPED_TRACE(testing::PrintToString(args));
    const ProcessResult result = ravik(args);
    EXPECT_EQ(result.exit_code, kExitUsage) << result.err;
    EXPECT_EQ(result.out, "");
  }
  const ProcessResult version = ravik({"--version"});
  EXPECT_EQ(version.exit_code, kExitCompleted);
  EXPECT_EQ(version.out.rfind("ravik ", 0), 0u) << version.out;
}

TEST_F(CliCommandsTest, LostStandardOutputIsAnError) {
  const std::vector<std::vector<std::string>> commands = {
      {"seller-sprite", "scenarios"},
      {"seller-sprite", "scenarios", "show", "keyword-miner"},
      {"seller-sprite", "scenarios", "payload", "keyword-miner", "keyword=yoga"},
      {"rufus", "questions", "--skills-dir", RAVIK_SOURCE_DIR "/examples/skills"},
      {"--version"},
      {"--help"},
      {"seller-sprite", "collect", "--help"},
  };
  const struct {
    OutputTarget target;
    const char* reason;
  } targets[] = {
      {OutputTarget::full_device, "No space left on device"},
      {OutputTarget::broken_pipe, "Broken pipe"},
      {OutputTarget::closed, "Bad file descriptor"},
  };
  for (const auto& target : targets) {
    for (const std::vector<std::string>& args : commands) {
      SCOPED_TRACE(testing::PrintToString(args) + " " + target.reason);
      const ProcessResult result = ravik_with_output(args, target.target);
      EXPECT_EQ(result.exit_code, kExitError);
      EXPECT_EQ(result.err, std::string("错误：无法写入标准输出：") + target.reason + "\n");
    }
  }
}

TEST_F(CliCommandsTest, ClosedStandardOutputIsRefusedBeforeABrowserStarts) {
  // Nothing could receive the result, so no browser starts and no run
  // directory is made (the origin would refuse any connection anyway).
  const ProcessResult collect =
      ravik_with_output({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless"}, OutputTarget::closed,
                        OutputTarget::captured, {{"RAVIK_SELLERSPRITE_ORIGIN", "http://127.0.0.1:9"}});
  EXPECT_EQ(collect.exit_code, kExitError);
  EXPECT_EQ(collect.err, "错误：无法写入标准输出：Bad file descriptor\n");
  EXPECT_FALSE(fs::exists(temp_.path() / "runs"));
}

TEST_F(CliCommandsTest, TraceShowRunsThePinnedViewerOnAnExistingFileOnly) {
  // A stand-in node that prints the command line it was given and exits
  // with a status of its own, so that no viewer opens.
  const fs::path node = temp_.path() / "node";
  std::ofstream(node) << "#!/bin/sh\nprintf '%s\\n' \"$@\"\nexit 7\n";
  fs::permissions(node, fs::perms::owner_all);
  const fs::path trace = temp_.path() / "trace.zip";
  std::ofstream(trace) << "zip";
  const Environment environment = {{"RAVIK_NODE", node.string()}};

  const ProcessResult shown = ravik({"trace", "show", trace.string()}, environment);
  EXPECT_EQ(shown.exit_code, 7) << shown.err;
  const std::string cli_js = (fs::path(RAVIK_SOURCE_DIR) / "node_modules/playwright-core/cli.js").lexically_normal();
  EXPECT_EQ(shown.out, cli_js + "\nshow-trace\n" + trace.string() + "\n");

  const ProcessResult missing = ravik({"trace", "show", (temp_.path() / "none.zip").string()}, environment);
  EXPECT_EQ(missing.exit_code, kExitError);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "错误：找不到追踪文件 " + (temp_.path() / "none.zip").string() + "\n");
}

TEST_F(CliCommandsTest, BrowserFlagsAreCheckedBeforeABrowserStarts) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string long_keyword = [] {
    std::string text;
    for (int i = 0; i < 201; ++i) text += "垫";
    return text;
  }();
  const Case cases[] = {
      {{"collect", "--keyword", ""}, "--keyword: 不能为空"},
      {{"collect", "--keyword", " \t\u3000"}, "--keyword: 不能为空"},
      {{"frequency", "--keyword", long_keyword}, "--keyword: 最长 200 个字符，收到 201 个"},
      {{"keyword-reverse", "--asin", " "}, "--asin: 不能为空"},
      {{"archive", "--url", ""}, "--url: 不能为空"},
      {{"collect", "--keyword", "x", "--trend-tabs", "foo"},
       "--trend-tabs: 未知的趋势标签：foo；可用 all，或以逗号分隔的 search,google,aba,ppc,market 中的若干个"},
      {{"keyword-mining", "--keyword", "x", "--trend-tabs", "search,foo,,aba"}, "--trend-tabs: 未知的趋势标签：foo、（空）"},
      {{"login-status", "--timeout-ms", "0"}, "--timeout-ms: 须为 1 到 2147483647 之间的整数，收到 0"},
      {{"login", "--timeout-ms", "2147483648"}, "--timeout-ms: 须为 1 到 2147483647 之间的整数，收到 2147483648"},
      {{"collect", "--keyword", "x", "--trend-limit", "-1"}, "--trend-limit: 须为 0 到 2147483647 之间的整数，收到 -1"},
      {{"collect", "--keyword", "x", "--phrase-count", "1.5"}, "--phrase-count: 须为 1 到 2147483647 之间的整数，收到 1.5"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"seller-sprite"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--headless", "--run-dir", (temp_.path() / "run").string()});
    SCOPED_TRACE(testing::PrintToString(c.args));
    // Should a check be missing, the origin refuses at once: no traffic
    // leaves the machine.
    const ProcessResult result = ravik(args, {{"RAVIK_SELLERSPRITE_ORIGIN", "http://127.0.0.1:9"}});
    EXPECT_EQ(result.exit_code, kExitUsage) << result.err;
    EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(temp_.path() / "run"));
  }
}

// The command against a package index on loopback that announces a newer
// release, with the version check turned on.
class CliUpdateCheckTest : public CliCommandsTest {
 protected:
  void SetUp() override {
    index_.set_handler([](const httplib::Request&, httplib::Response& response) {
      response.set_content(R"({"info": {"version": "999.0.0"}})", "application/json");
    });
  }
  Environment check_on() const {
    return {{"RAVIK_NO_UPDATE_CHECK", std::nullopt}, {"RAVIK_PACKAGE_INDEX_ORIGIN", index_.origin()}};
  }
  test_support::LoopbackServer index_;
};

constexpr const char* kUpdateHint = "ravik 有新版本可用";

TEST_F(CliUpdateCheckTest, OnlyARealCommandChecks) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"--version"}, {"seller-sprite", "collect"}, {"seller-sprite", "scenarios", "--help"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    const ProcessResult result = ravik(args, check_on());
    EXPECT_NE(result.exit_code, kExitError);
    EXPECT_EQ(result.err.find(kUpdateHint), std::string::npos) << result.err;
  }
  EXPECT_EQ(index_.request_count(), 0);

  const ProcessResult scenarios = ravik({"seller-sprite", "scenarios"}, check_on());
  EXPECT_EQ(scenarios.exit_code, kExitCompleted);
  EXPECT_NE(scenarios.err.find(kUpdateHint), std::string::npos) << scenarios.err;
  EXPECT_EQ(index_.request_count(), 1);
}

TEST_F(CliUpdateCheckTest, ClosedPipesDoNotKillTheCommand) {
  // The hint goes to a standard error nobody reads: the command still does its job.
  const ProcessResult hint_lost =
      ravik_with_output({"seller-sprite", "scenarios"}, OutputTarget::captured, OutputTarget::broken_pipe, check_on());
  EXPECT_EQ(hint_lost.exit_code, kExitCompleted);
  EXPECT_TRUE(stdout_json(hint_lost).is_array());

  // Both ends gone: a failure, not death by SIGPIPE (the cached answer makes
  // the hint come first again).
  const ProcessResult all_lost =
      ravik_with_output({"seller-sprite", "scenarios"}, OutputTarget::broken_pipe, OutputTarget::broken_pipe, check_on());
  EXPECT_EQ(all_lost.exit_code, kExitError);
}

}  // namespace
}  // namespace ravik::cli
