// The doctor's table and JSON, without a browser.
#include <gtest/gtest.h>

#include <stdexcept>

#include "cli/doctor_report.h"
#include "cli/utf8_text.h"
#include "ravik/shared/console.h"

namespace ravik::cli {
namespace {

std::vector<CheckLine> sample_lines() {
  return {
      CheckLine{.group = "环境", .name = "Node.js", .status = CheckStatus::ok, .detail = "v20",
                .facts = Json{{"path", "/usr/bin/node"}}},
      CheckLine{.group = "环境", .name = "无头浏览器启动", .status = CheckStatus::ok, .detail = "启动并关闭成功",
                .elapsed = std::chrono::milliseconds(1500)},
      CheckLine{.group = "页面元素", .name = "关键词挖掘 · 查询按钮", .status = CheckStatus::failed,
                .detail = "页面上没有可见的匹配元素"},
      CheckLine{.group = "站点", .name = "登录状态", .status = CheckStatus::not_checked, .detail = "浏览器无法启动"},
  };
}

TEST(DoctorReportTest, DisplayWidthCountsWideCharactersTwice) {
  const struct {
    std::string_view text;
    std::size_t width;
  } cases[] = {{"", 0}, {"abc", 3}, {"环境", 4}, {"✓ ok", 4}, {"Ａ1", 3}, {"关键词挖掘 · 查询按钮", 21}, {"\xF0\xA0\x80\x80", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(display_width(c.text), c.width);
  }
}

TEST(DoctorReportTest, TableMarksEachLineAndAlignsItsColumns) {
  const std::vector<std::string> table = table_markup(sample_lines());
  ASSERT_EQ(table.size(), 5u);
  std::vector<std::string> plain;
  for (const std::string& row : table) plain.push_back(shared::render_markup(row, false));
  EXPECT_TRUE(plain[0].starts_with("✓ 环境"));
  EXPECT_TRUE(plain[2].starts_with("✗ 页面元素"));
  EXPECT_TRUE(plain[3].starts_with("– 站点"));
  // The detail column starts at the same terminal column on every line.
  const std::string_view shown_details[] = {"v20", "启动并关闭成功", "页面上没有可见的匹配元素", "未检查：浏览器无法启动"};
  const std::size_t detail_column = display_width("✓ 页面元素  关键词挖掘 · 查询按钮  ");
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(plain[i]);
    const std::size_t at = plain[i].find(shown_details[i]);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(display_width(std::string_view(plain[i]).substr(0, at)), detail_column);
  }
  EXPECT_NE(plain[1].find("（用时 1500 毫秒）"), std::string::npos);
  EXPECT_NE(plain[3].find("未检查：浏览器无法启动"), std::string::npos);
  EXPECT_EQ(plain[4], "共 4 项：2 项正常，1 项失败，1 项未检查");
  // Failed lines stand out and lines not checked are dimmed on a terminal.
  EXPECT_NE(shared::render_markup(table[2], true), plain[2]);
  EXPECT_NE(shared::render_markup(table[3], true), plain[3]);
}

TEST(DoctorReportTest, JsonCarriesEveryLineWithItsFacts) {
  const Json report = report_json(sample_lines());
  EXPECT_FALSE(report["ok"].get<bool>());
  const Json& checks = report["checks"];
  ASSERT_EQ(checks.size(), 4u);
  EXPECT_EQ(checks[0], (Json{{"group", "环境"}, {"name", "Node.js"}, {"status", "ok"}, {"detail", "v20"},
                             {"needed", true}, {"path", "/usr/bin/node"}}));
  EXPECT_EQ(checks[1]["elapsed_ms"], 1500);
  EXPECT_FALSE(checks[0].contains("elapsed_ms"));
  EXPECT_EQ(checks[2]["status"], "fail");
  EXPECT_EQ(checks[3]["status"], "not_checked");
}

TEST(DoctorReportTest, OnlyAFailedNeededCheckFailsTheReport) {
  const struct {
    const char* name;
    CheckStatus status;
    bool needed;
    bool passes;
  } cases[] = {
      {"ok", CheckStatus::ok, true, true},
      {"not checked", CheckStatus::not_checked, true, true},
      {"failed, not needed", CheckStatus::failed, false, true},
      {"failed, needed", CheckStatus::failed, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<CheckLine> lines{CheckLine{.name = "a", .status = CheckStatus::ok},
                                       CheckLine{.name = "b", .status = c.status, .needed = c.needed}};
    EXPECT_EQ(passes(lines), c.passes);
    EXPECT_EQ(report_json(lines)["ok"].get<bool>(), c.passes);
  }
  const std::vector<std::string> table =
      table_markup({CheckLine{.name = "字体", .status = CheckStatus::failed, .detail = "没有", .needed = false}});
  EXPECT_NE(table[0].find("没有（不影响采集）"), std::string::npos);
}

TEST(DoctorReportTest, FailureDetailJoinsTheCauses) {
  std::exception_ptr failure;
  try {
    try {
      throw std::runtime_error("连接被拒绝");
    } catch (...) {
      std::throw_with_nested(std::runtime_error("无法访问"));
    }
  } catch (...) {
    failure = std::current_exception();
  }
  EXPECT_EQ(failure_detail(failure), "无法访问：连接被拒绝");
  EXPECT_EQ(failure_detail(std::make_exception_ptr(42)), "未知错误");
}

}  // namespace
}  // namespace ravik::cli
