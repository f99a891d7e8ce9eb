// The `ravik seller-sprite` browser commands end to end: the built program
// drives Chromium against the stand-in site served by this test.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/account_prompt.h"
#include "cli/cli_test_support.h"
#include "cli/exit_codes.h"
#include "standin/site.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::Environment;
using testing_support::run_ravik;
using testing_support::stdout_json;
using testing_support::TempDir;

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

TEST_F(CliEndToEndTest, CollectLogsInWithTheAccountAndCompletes) {
  const fs::path run_dir = temp_.path() / "run";
  const ProcessResult collect = ravik({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--trend-limit",
                                       "1", "--trend-tabs", "search,aba", "--run-dir", run_dir.string()},
                                      demo_account());
  ASSERT_EQ(collect.exit_code, kExitCompleted) << collect.err;
  const Json result = stdout_json(collect);
  EXPECT_FALSE(is_empty_entry(result, "frequency"));
  EXPECT_FALSE(is_empty_entry(result, "keyword_mining"));
  EXPECT_EQ(result.at("trend_details").size(), 1u);
  EXPECT_EQ(result.at("missing_sections"), Json::array());
  EXPECT_GT(file_count(run_dir), 0u);
  EXPECT_NE(collect.err.find("collect：已完成"), std::string::npos) << collect.err;

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
  const ProcessResult collect =
      ravik({"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--run-dir", (temp_.path() / "run").string()});
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

TEST_F(CliEndToEndTest, LoginHandOverPromptsOnStandardError) {
  site_.update_switches([](standin::Switches& switches) { switches.captcha_at_login = true; });
  const ProcessResult collect = ravik(
      {"seller-sprite", "collect", "--keyword", "yoga mat", "--headless", "--run-dir", (temp_.path() / "run").string()},
      demo_account(), "\n");
  // The captcha keeps the login from completing; the Enter only resumes the flow.
  EXPECT_EQ(collect.exit_code, kExitBlocked) << collect.err;
  EXPECT_EQ(stdout_json(collect).at("errors").at(0).at("code"), "SELLER_SPRITE_LOGIN_REQUIRED");
  EXPECT_NE(collect.err.find("已自动填写卖家精灵账号密码"), std::string::npos) << collect.err;
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
  const ProcessResult archive = ravik({"seller-sprite", "archive", "--url", origin_ + "/gone", "--headless",
                                       "--timeout-ms", "5000", "--run-dir", (temp_.path() / "run").string()});
  EXPECT_EQ(archive.exit_code, kExitError);
  EXPECT_EQ(archive.out, "");
  EXPECT_EQ(archive.err.rfind("错误：", 0), 0u) << archive.err;
}

}  // namespace
}  // namespace ravik::cli
