// The `ravik` command without a browser: scenario and Rufus subcommands,
// exit statuses and error reporting, run through the built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::run_ravik;
using testing_support::stdout_json;
using testing_support::TempDir;

class CliCommandsTest : public testing::Test {
 protected:
  ProcessResult ravik(const std::vector<std::string>& args) {
    return run_ravik(args, temp_.path() / "config", temp_.path());
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

}  // namespace
}  // namespace ravik::cli
