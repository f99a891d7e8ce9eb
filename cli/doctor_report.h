// The findings of `ravik seller-sprite doctor`: one line per check, shown
// as a table on standard error and written as JSON on standard output.
#pragma once

#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravik/json.h"

namespace ravik::cli {

enum class CheckStatus { ok, failed, not_checked };

// One check and what it found.
struct CheckLine {
  std::string group{};  // "环境", "配置", "站点", "页面元素"
  std::string name{};
  CheckStatus status = CheckStatus::not_checked;
  std::string detail{};  // what was found; for a line not checked, why not
  std::optional<std::chrono::milliseconds> elapsed = std::nullopt;
  bool needed = true;  // a failure of this check fails the command
  Json facts = Json::object();  // values for scripts: path, version, selector, visible_count, ...
};

// The table as console markup (ravik::shared::Console), one text per line:
// a mark (✓, ✗, or – for not checked), group, name and detail in aligned
// columns, then a closing count. Failed lines are highlighted, lines not
// checked dimmed.
std::vector<std::string> table_markup(const std::vector<CheckLine>& lines);

// {"ok": passes(lines), "checks": [{"group", "name", "status" ("ok", "fail"
// or "not_checked"), "detail", "needed"[, "elapsed_ms"], facts...}, ...]}.
Json report_json(const std::vector<CheckLine>& lines);

// True when no needed check failed (lines not checked do not count).
bool passes(const std::vector<CheckLine>& lines);

// The failure's message followed by those of its nested causes, joined by
// "：" on one line, for a check's detail.
std::string failure_detail(std::exception_ptr failure);

// The time from `start` until now, for a check's `elapsed`.
std::chrono::milliseconds elapsed_since(std::chrono::steady_clock::time_point start);

}  // namespace ravik::cli
