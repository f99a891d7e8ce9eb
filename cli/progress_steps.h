// The collector's progress steps in the command's words: the text of a step
// on the progress line and on a --verbose line, and the progress line of an
// operation with its time elapsed and, once a trend row has finished, an
// estimate of the time left. No terminal and no clock of its own: the
// caller passes the times, so the texts can be checked without a browser.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "ravik/seller_sprite_legacy/scraping/progress.h"

namespace ravik::cli {

using seller_sprite_legacy::scraping::ProgressStep;

// What the progress line shows of `step`, e.g. "趋势详情 3/20 · PPC竞价".
std::string step_text(const ProgressStep& step);

// step_text with what the line leaves out for room (the page's address, the
// tab's number, the row's keyword), e.g. "趋势详情 3/20 · PPC竞价 · 标签 4/5 · yoga mat".
std::string full_step_text(const ProgressStep& step);

// "45s", "2m05s", "1h02m05s".
std::string duration_text(std::chrono::seconds duration);

// The --verbose line of `step`: "[HH:MM:SS.mmm +45s] " (local time of `at`,
// time since the operation started) and full_step_text.
std::string step_log_line(const ProgressStep& step, std::chrono::system_clock::time_point at,
                          std::chrono::seconds elapsed);

// The progress line of one operation.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // `label` names the operation, e.g. "collect"; the clock starts at `started`.
  ProgressLine(std::string label, Clock::time_point started);

  // Restarts the clock at `started`.
  void restart(Clock::time_point started);
  // `step` began at `at`.
  void note(const ProgressStep& step, Clock::time_point at);

  std::chrono::seconds elapsed(Clock::time_point now) const;
  // While trend rows are walked and at least one has finished: the rows
  // left (the current one's time so far deducted) at the pace of the
  // finished ones, rounded up to seconds; never below zero.
  std::optional<std::chrono::seconds> time_left(Clock::time_point now) const;
  // "collect ... 15s" before the first step; then the latest step's text
  // and the time elapsed, "趋势详情 3/20 · PPC竞价 · 45s", with
  // " · 预计还需 2m10s" once time_left is known.
  std::string text(Clock::time_point now) const;

 private:
  const std::string label_;
  Clock::time_point started_;
  std::optional<ProgressStep> current_;
  std::optional<Clock::time_point> first_row_started_;
  Clock::time_point row_started_{};
};

}  // namespace ravik::cli
