// The progress line's words: each collector step, the time elapsed, and the
// estimate of the time left during the trend rows, at given times.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/progress_steps.h"

namespace ravik::cli {
namespace {

using seller_sprite_legacy::scraping::ProgressStage;
using std::chrono::seconds;
using Clock = ProgressLine::Clock;

ProgressStep trend_tab(int row, int row_count, std::string label = "PPC竞价") {
  return {.stage = ProgressStage::trend_tab, .detail = "yoga mat", .row = row, .row_count = row_count,
          .tab = 4, .tab_count = 5, .tab_label = std::move(label)};
}

ProgressStep trend_row(int row, int row_count) {
  return {.stage = ProgressStage::trend_row, .detail = "yoga mat", .row = row, .row_count = row_count};
}

TEST(StepText, NamesEachStepShortOnTheLineAndInFullOnItsOwnLine) {
  struct Case {
    ProgressStep step;
    const char* line;
    const char* full;
  };
  const Case cases[] = {
      {{.stage = ProgressStage::starting_browser}, "启动浏览器", "启动浏览器"},
      {{.stage = ProgressStage::opening_page, .detail = "http://127.0.0.1:1/v3/keyword-miner"}, "打开页面",
       "打开页面 · http://127.0.0.1:1/v3/keyword-miner"},
      {{.stage = ProgressStage::checking_login}, "检查登录状态", "检查登录状态"},
      {{.stage = ProgressStage::logging_in}, "自动登录", "自动登录"},
      {{.stage = ProgressStage::filling_form}, "填写搜索表单", "填写搜索表单"},
      {{.stage = ProgressStage::waiting_for_responses, .sections_awaited = {"frequency", "keyword_mining"}},
       "等待响应 0/2", "等待响应 0/2"},
      {{.stage = ProgressStage::waiting_for_responses,
        .sections_arrived = {"frequency", "keyword_mining"},
        .sections_awaited = {"frequency", "keyword_mining"}},
       "等待响应 2/2 · 已收到 frequency、keyword_mining", "等待响应 2/2 · 已收到 frequency、keyword_mining"},
      {{.stage = ProgressStage::archiving, .detail = "collect"}, "保存页面存档", "保存页面存档 · collect"},
      {trend_row(3, 20), "趋势详情 3/20 · yoga mat", "趋势详情 3/20 · yoga mat"},
      {trend_tab(3, 20), "趋势详情 3/20 · PPC竞价", "趋势详情 3/20 · PPC竞价 · 标签 4/5 · yoga mat"},
      {{.stage = ProgressStage::closing_browser}, "关闭浏览器", "关闭浏览器"},
      // A long keyword is cut on the line by characters, never inside one.
      {{.stage = ProgressStage::trend_row, .detail = "瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫", .row = 1, .row_count = 2},
       "趋势详情 1/2 · 瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽…",
       "趋势详情 1/2 · 瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫瑜伽垫"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    EXPECT_EQ(step_text(c.step), c.line);
    EXPECT_EQ(full_step_text(c.step), c.full);
  }
}

TEST(StepText, DurationsAndTheTimestampedLine) {
  const std::pair<long, const char*> durations[] = {
      {0, "0s"}, {59, "59s"}, {60, "1m00s"}, {605, "10m05s"}, {3725, "1h02m05s"}};
  for (const auto& [total, text] : durations) EXPECT_EQ(duration_text(seconds(total)), text);
  EXPECT_THAT(step_log_line(trend_tab(3, 20), std::chrono::system_clock::now(), seconds(45)),
              ::testing::MatchesRegex(R"(\[[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9] \+45s\] )"
                                      "趋势详情 3/20 · PPC竞价 · 标签 4/5 · yoga mat"));
}

TEST(ProgressLine, ShowsTheLatestStepAndTheTimeLeftOnceATrendRowFinished) {
  const Clock::time_point start{};
  ProgressLine line("collect", start);
  EXPECT_EQ(line.text(start + seconds(15)), "collect ... 15s");

  line.note({.stage = ProgressStage::waiting_for_responses, .sections_arrived = {"frequency"},
             .sections_awaited = {"frequency", "keyword_mining"}},
            start + seconds(8));
  EXPECT_EQ(line.text(start + seconds(9)), "等待响应 1/2 · 已收到 frequency · 9s");

  // Row 1 of 20 starts at 5s: no row has finished, so no estimate.
  line.note(trend_row(1, 20), start + seconds(5));
  line.note(trend_tab(1, 20), start + seconds(7));
  EXPECT_EQ(line.text(start + seconds(12)), "趋势详情 1/20 · PPC竞价 · 12s");
  EXPECT_EQ(line.time_left(start + seconds(12)), std::nullopt);

  // Rows 1 and 2 took 30s together; row 3 began at 35s and has run 10s:
  // 18 rows at 15s, less those 10s.
  line.note(trend_row(2, 20), start + seconds(20));
  line.note(trend_row(3, 20), start + seconds(35));
  line.note(trend_tab(3, 20), start + seconds(40));
  EXPECT_EQ(line.text(start + seconds(45)), "趋势详情 3/20 · PPC竞价 · 45s · 预计还需 4m20s");
  EXPECT_EQ(line.time_left(start + std::chrono::milliseconds(45500)), seconds(260));  // rounded up
  // A row slower than the rest: never below zero.
  EXPECT_EQ(line.time_left(start + seconds(1000)), seconds(0));

  // After the rows, the estimate goes.
  line.note({.stage = ProgressStage::closing_browser}, start + seconds(300));
  EXPECT_EQ(line.text(start + seconds(301)), "关闭浏览器 · 5m01s");

  line.restart(start + seconds(400));
  EXPECT_EQ(line.elapsed(start + seconds(402)), seconds(2));
}

}  // namespace
}  // namespace ravik::cli
