#include "cli/progress_steps.h"

#include <time.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/utf8_text.h"

namespace ravik::cli {
namespace {

using seller_sprite_legacy::scraping::ProgressStage;

// A keyword longer than this many characters is cut on the progress line,
// so that the line does not wrap on a narrow terminal.
constexpr std::size_t kKeywordChars = 20;

// `text` cut to `max_chars` characters (UTF-8), "…" marking a cut.
std::string shortened(const std::string& text, std::size_t max_chars) {
  const std::string_view kept = utf8_prefix(text, max_chars);
  return kept.size() == text.size() ? text : std::string(kept) + "…";
}

std::string joined(const std::vector<std::string>& texts, std::string_view separator) {
  std::string result;
  for (const std::string& text : texts) {
    if (!result.empty()) result += separator;
    result += text;
  }
  return result;
}

std::string counted(int number, int count) { return std::to_string(number) + "/" + std::to_string(count); }

std::string trend_row_text(const ProgressStep& step) { return "趋势详情 " + counted(step.row, step.row_count); }

}  // namespace

std::string step_text(const ProgressStep& step) {
  switch (step.stage) {
    case ProgressStage::starting_browser:
      return "启动浏览器";
    case ProgressStage::opening_page:
      return "打开页面";
    case ProgressStage::checking_login:
      return "检查登录状态";
    case ProgressStage::logging_in:
      return "自动登录";
    case ProgressStage::filling_form:
      return "填写搜索表单";
    case ProgressStage::waiting_for_responses: {
      std::string text = "等待响应 " + counted(static_cast<int>(step.sections_arrived.size()),
                                                 static_cast<int>(step.sections_awaited.size()));
      if (!step.sections_arrived.empty()) text += " · 已收到 " + joined(step.sections_arrived, "、");
      return text;
    }
    case ProgressStage::archiving:
      return "保存页面存档";
    case ProgressStage::trend_row:
      return trend_row_text(step) + " · " + shortened(step.detail, kKeywordChars);
    case ProgressStage::trend_tab:
      return trend_row_text(step) + " · " + step.tab_label;
    case ProgressStage::closing_browser:
      return "关闭浏览器";
  }
  return {};
}

std::string full_step_text(const ProgressStep& step) {
  switch (step.stage) {
    case ProgressStage::opening_page:
    case ProgressStage::archiving:
      return step_text(step) + " · " + step.detail;
    case ProgressStage::trend_row:
      return trend_row_text(step) + " · " + step.detail;
    case ProgressStage::trend_tab:
      return step_text(step) + " · 标签 " + counted(step.tab, step.tab_count) + " · " + step.detail;
    default:
      return step_text(step);
  }
}

std::string duration_text(std::chrono::seconds duration) {
  const long long total = duration.count();
  char text[32];
  if (total < 60) {
    std::snprintf(text, sizeof text, "%llds", total);
  } else if (total < 3600) {
    std::snprintf(text, sizeof text, "%lldm%02llds", total / 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lldh%02lldm%02llds", total / 3600, total / 60 % 60, total % 60);
  }
  return text;
}

std::string step_log_line(const ProgressStep& step, std::chrono::system_clock::time_point at,
                          std::chrono::seconds elapsed) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d.%03lld +", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long long>(millis));
  return stamp + duration_text(elapsed) + "] " + full_step_text(step);
}

ProgressLine::ProgressLine(std::string label, Clock::time_point started)
    : label_(std::move(label)), started_(started) {}

void ProgressLine::restart(Clock::time_point started) { started_ = started; }

void ProgressLine::set_label(std::string label) {
  label_ = std::move(label);
  label_before_steps_ = true;
  current_.reset();
  first_row_started_.reset();
}

void ProgressLine::note(const ProgressStep& step, Clock::time_point at) {
  if (step.stage == ProgressStage::trend_row) {
    if (step.row == 1) first_row_started_ = at;
    row_started_ = at;
  }
  current_ = step;
}

std::chrono::seconds ProgressLine::elapsed(Clock::time_point now) const {
  return std::chrono::duration_cast<std::chrono::seconds>(now - started_);
}

std::optional<std::chrono::seconds> ProgressLine::time_left(Clock::time_point now) const {
  if (!current_ || (current_->stage != ProgressStage::trend_row && current_->stage != ProgressStage::trend_tab)) {
    return std::nullopt;
  }
  const int finished = current_->row - 1;
  if (finished < 1 || !first_row_started_) return std::nullopt;
  const Clock::duration per_row = (row_started_ - *first_row_started_) / finished;
  const Clock::duration left = per_row * (current_->row_count - finished) - (now - row_started_);
  if (left <= Clock::duration::zero()) return std::chrono::seconds(0);
  return std::chrono::ceil<std::chrono::seconds>(left);
}

std::string ProgressLine::text(Clock::time_point now) const {
  if (!current_) return label_ + " ... " + duration_text(elapsed(now));
  std::string text = (label_before_steps_ ? label_ + " · " : "") + step_text(*current_) + " · " + duration_text(elapsed(now));
  if (const auto left = time_left(now)) text += " · 预计还需 " + duration_text(*left);
  return text;
}

}  // namespace ravik::cli
