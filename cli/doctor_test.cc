// `ravik seller-sprite doctor` end to end: the built program checks this
// machine, a private configuration and the stand-in site served by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

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

class DoctorTest : public testing::Test {
 protected:
  void SetUp() override { origin_ = site_.start(); }

  ProcessResult ravik(const std::vector<std::string>& args, Environment extra = {}) {
    extra["RAVIK_SELLERSPRITE_ORIGIN"] = origin_;
    return run_ravik(args, temp_.path() / "config", temp_.path(), extra);
  }

  // Logs the profile in with the demo account, as a user's collect would.
  void log_in() {
    const ProcessResult collect = ravik({"seller-sprite", "collect", "--headless", "--keyword", "yoga mat",
                                         "--trend-limit", "0"},
                                        {{kUsernameVariable, std::string(standin::kDemoUsername)},
                                         {kPasswordVariable, std::string(standin::kDemoPassword)}});
    ASSERT_EQ(collect.exit_code, kExitCompleted) << collect.err;
  }

  // The checks of the doctor's JSON whose status is `status`, as
  // "group/name" texts.
  static std::set<std::string> checks_with(const Json& report, std::string_view status) {
    std::set<std::string> names;
    for (const Json& check : report["checks"]) {
      if (check["status"] == status) names.insert(check["group"].get<std::string>() + "/" + check["name"].get<std::string>());
    }
    return names;
  }

  static const Json* check_named(const Json& report, std::string_view name) {
    for (const Json& check : report["checks"]) {
      if (check["name"] == name) return &check;
    }
    return nullptr;
  }

  standin::Site site_;
  std::string origin_;
  TempDir temp_;
};

TEST_F(DoctorTest, EveryCheckPassesOnTheStandInSite) {
  log_in();
  const ProcessResult doctor = ravik({"seller-sprite", "doctor"});
  EXPECT_EQ(doctor.exit_code, kExitCompleted) << doctor.err;
  const Json report = stdout_json(doctor);
  ASSERT_TRUE(report.is_object()) << doctor.out;
  EXPECT_TRUE(report["ok"].get<bool>());
  EXPECT_EQ(checks_with(report, "fail"), std::set<std::string>{});
  EXPECT_EQ(checks_with(report, "not_checked"), std::set<std::string>{});

  // Every element the collector relies on was found on its page.
  const std::set<std::string> found = checks_with(report, "ok");
  for (const char* element :
       {"关键词挖掘 · 关键词输入框", "关键词挖掘 · 查询按钮", "关键词挖掘 · 站点下拉框", "关键词挖掘 · 时间范围下拉框",
        "关键词挖掘 · 站点选项「美国站」", "关键词挖掘 · 时间范围选项「最近30天」", "关键词挖掘 · 词组长度「一个词」",
        "关键词挖掘 · 词组长度「两个词」", "关键词挖掘 · 词组长度「自定义」", "关键词挖掘 · 自定义词组长度输入框",
        "关键词挖掘 · 趋势图标", "关键词挖掘 · 结果行", "关键词挖掘 · 趋势抽屉", "关键词挖掘 · 趋势标签「搜索趋势」",
        "关键词挖掘 · 趋势标签「Google Trends」", "关键词挖掘 · 趋势标签「ABA集中度」", "关键词挖掘 · 趋势标签「PPC竞价」",
        "关键词挖掘 · 趋势标签「市场分析」", "关键词挖掘 · 趋势抽屉关闭按钮", "关键词反查 · ASIN 输入框",
        "关键词反查 · 查询按钮", "关键词反查 · 站点下拉框", "关键词反查 · 时间范围下拉框"}) {
    EXPECT_TRUE(found.contains("页面元素/" + std::string(element))) << element;
  }
  const Json* icons = check_named(report, "关键词挖掘 · 趋势图标");
  ASSERT_NE(icons, nullptr);
  EXPECT_EQ((*icons)["visible_count"], 20);  // the stand-in's result rows
  EXPECT_EQ((*icons)["selector"], ".icon-historical-trend:visible");
  const Json* origin = check_named(report, "站点地址");
  ASSERT_NE(origin, nullptr);
  EXPECT_EQ((*origin)["origin"], origin_);
  EXPECT_TRUE((*origin)["overridden"].get<bool>());

  // The table on standard error: one ✓ line per check, no ✗, colourless
  // off a terminal.
  std::size_t ticks = 0;
  for (std::size_t at = doctor.err.find("✓ "); at != std::string::npos; at = doctor.err.find("✓ ", at + 1)) ++ticks;
  EXPECT_EQ(ticks, report["checks"].size());
  EXPECT_EQ(doctor.err.find("✗"), std::string::npos);
  EXPECT_EQ(doctor.err.find("\x1b["), std::string::npos);
}

TEST_F(DoctorTest, ARenamedElementFailsExactlyItsLine) {
  log_in();
  site_.update_switches([](standin::Switches& switches) { switches.rename_drawer_close_button = true; });
  const ProcessResult doctor = ravik({"seller-sprite", "doctor"});
  EXPECT_EQ(doctor.exit_code, kExitError) << doctor.err;
  const Json report = stdout_json(doctor);
  ASSERT_TRUE(report.is_object()) << doctor.out;
  EXPECT_FALSE(report["ok"].get<bool>());
  EXPECT_EQ(checks_with(report, "fail"), std::set<std::string>{"页面元素/关键词挖掘 · 趋势抽屉关闭按钮"});
  EXPECT_EQ(checks_with(report, "not_checked"), std::set<std::string>{});
  const Json* close_button = check_named(report, "关键词挖掘 · 趋势抽屉关闭按钮");
  ASSERT_NE(close_button, nullptr);
  EXPECT_EQ((*close_button)["selector"], ".close-btn");
  EXPECT_EQ((*close_button)["visible_count"], 0);
  EXPECT_NE(doctor.err.find("✗ 页面元素"), std::string::npos) << doctor.err;
}

TEST_F(DoctorTest, MissingChromiumIsAClearFailure) {
  const fs::path missing = temp_.path() / "no-such-chromium";
  const ProcessResult doctor = ravik({"seller-sprite", "doctor"}, {{"RAVIK_CHROMIUM_PATH", missing.string()}});
  EXPECT_EQ(doctor.exit_code, kExitError) << doctor.err;
  const Json report = stdout_json(doctor);
  ASSERT_TRUE(report.is_object()) << doctor.out;
  const Json* chromium = check_named(report, "Chromium");
  ASSERT_NE(chromium, nullptr);
  EXPECT_EQ((*chromium)["status"], "fail");
  EXPECT_NE((*chromium)["detail"].get<std::string>().find(missing.string()), std::string::npos);
  EXPECT_NE((*chromium)["detail"].get<std::string>().find("RAVIK_CHROMIUM_PATH"), std::string::npos);
  // What needs a browser is not checked, and says why.
  for (const char* name : {"无头浏览器启动", "登录状态", "页面元素检查"}) {
    SCOPED_TRACE(name);
    const Json* check = check_named(report, name);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ((*check)["status"], "not_checked");
  }
  EXPECT_NE(doctor.err.find("✗ 环境"), std::string::npos) << doctor.err;
  EXPECT_NE(doctor.err.find("找不到可执行的 Chromium"), std::string::npos) << doctor.err;
}

}  // namespace
}  // namespace ravik::cli
