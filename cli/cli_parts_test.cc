// The command's building blocks that need no browser: parameter words,
// blocked-result detection, failure text, JSON text and run directories.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "cli/error_report.h"
#include "cli/json_output.h"
#include "cli/result_summary.h"
#include "cli/run_dir.h"
#include "cli/scenario_commands.h"

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

TEST(SummarizeResult, NamesOutcomeFilesAndMissingSections) {
  const Json result = Json::parse(
      R"({"files":{"collect_html":"/r/collect/page.html","trend":{"a":"/r/a.json","b":"/r/b.json"}},"captcha_required":false,
          "missing_sections":["frequency"],"errors":[{"code":"SELLER_SPRITE_RESPONSE_MISSING","message":"frequency 响应未捕获"}]})");
  EXPECT_EQ(summarize_result("collect", result, "/r"),
            "collect：已完成\n  文件：3 个，位于 /r\n  缺失数据：frequency\n  frequency 响应未捕获\n");
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

}  // namespace
}  // namespace ravik::cli
