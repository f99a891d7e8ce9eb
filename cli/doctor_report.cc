#include "cli/doctor_report.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace ravik::cli {
namespace {

// Code point ranges that terminals show two columns wide.
constexpr std::array<std::pair<char32_t, char32_t>, 8> kWideRanges{{
    {0x1100, 0x115F},    // Hangul Jamo
    {0x2E80, 0x303E},    // CJK radicals, punctuation
    {0x3041, 0x33FF},    // kana, CJK symbols
    {0x3400, 0x4DBF},    // CJK extension A
    {0x4E00, 0x9FFF},    // CJK unified ideographs
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xF900, 0xFAFF},    // CJK compatibility ideographs
    {0xFF00, 0xFF60},    // full-width forms
}};

bool is_wide(char32_t code_point) {
  if (code_point >= 0xFFE0 && code_point <= 0xFFE6) return true;
  if (code_point >= 0x20000 && code_point <= 0x3FFFD) return true;
  return std::any_of(kWideRanges.begin(), kWideRanges.end(),
                     [code_point](const auto& range) { return code_point >= range.first && code_point <= range.second; });
}

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

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
      code_point = (code_point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    width += is_wide(code_point) ? 2 : 1;
    i += length;
  }
  return width;
}

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
