#include "cli/doctor_report.h"

#include <algorithm>
#include <string_view>

#include "cli/utf8_text.h"

namespace ravik::cli {
namespace {

// `text` followed by spaces up to `width` columns.
std::string padded(const std::string& text, std::size_t width) {
  const std::size_t used = display_width(text);
  return text + std::string(used < width ? width - used : 0, ' ');
}

std::string_view status_word(CheckStatus status) {
  switch (status) {
    case CheckStatus::ok:
      return "ok";
    case CheckStatus::failed:
      return "fail";
    case CheckStatus::not_checked:
      return "not_checked";
  }
  return "not_checked";
}

std::string detail_text(const CheckLine& line) {
  std::string text = line.status == CheckStatus::not_checked ? "未检查：" + line.detail : line.detail;
  if (line.elapsed) text += "（用时 " + std::to_string(line.elapsed->count()) + " 毫秒）";
  if (line.status == CheckStatus::failed && !line.needed) text += "（不影响采集）";
  return text;
}

}  // namespace

std::vector<std::string> table_markup(const std::vector<CheckLine>& lines) {
  std::size_t group_width = 0;
  std::size_t name_width = 0;
  for (const CheckLine& line : lines) {
    group_width = std::max(group_width, display_width(line.group));
    name_width = std::max(name_width, display_width(line.name));
  }
  std::vector<std::string> table;
  int ok = 0;
  int failed = 0;
  int not_checked = 0;
  for (const CheckLine& line : lines) {
    const std::string columns =
        padded(line.group, group_width) + "  " + padded(line.name, name_width) + "  " + detail_text(line);
    switch (line.status) {
      case CheckStatus::ok:
        ++ok;
        table.push_back("[cyan]✓[/] " + columns);
        break;
      case CheckStatus::failed:
        ++failed;
        table.push_back("[yellow]✗ " + columns + "[/]");
        break;
      case CheckStatus::not_checked:
        ++not_checked;
        table.push_back("[dim]– " + columns + "[/]");
        break;
    }
  }
  table.push_back("共 " + std::to_string(lines.size()) + " 项：" + std::to_string(ok) + " 项正常，" +
                  std::to_string(failed) + " 项失败，" + std::to_string(not_checked) + " 项未检查");
  return table;
}

Json report_json(const std::vector<CheckLine>& lines) {
  Json checks = Json::array();
  for (const CheckLine& line : lines) {
    Json check = Json{{"group", line.group},
                      {"name", line.name},
                      {"status", status_word(line.status)},
                      {"detail", line.detail},
                      {"needed", line.needed}};
    if (line.elapsed) check["elapsed_ms"] = line.elapsed->count();
    for (const auto& [key, value] : line.facts.items()) check[key] = value;
    checks.push_back(std::move(check));
  }
  return Json{{"ok", passes(lines)}, {"checks", std::move(checks)}};
}

std::string failure_detail(std::exception_ptr failure) {
  std::string text;
  while (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      text += (text.empty() ? "" : "：") + std::string(error.what());
      try {
        std::rethrow_if_nested(error);
        failure = nullptr;
      } catch (...) {
        failure = std::current_exception();
      }
    } catch (...) {
      text += text.empty() ? "未知错误" : "";
      failure = nullptr;
    }
  }
  return text;
}

std::chrono::milliseconds elapsed_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

bool passes(const std::vector<CheckLine>& lines) {
  return std::none_of(lines.begin(), lines.end(),
                      [](const CheckLine& line) { return line.needed && line.status == CheckStatus::failed; });
}

}  // namespace ravik::cli
