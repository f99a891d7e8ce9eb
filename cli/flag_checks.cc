#include "cli/flag_checks.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "cli/utf8_text.h"
#include "ravik/seller_sprite_legacy/scraping/internal/unicode_text.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {
namespace {

using ravik::seller_sprite_legacy::scraping::SellerSpriteScraper;
namespace unicode_text = ravik::seller_sprite_legacy::scraping::unicode_text;

std::string blank_problem(const std::string& value) {
  return unicode_text::trim(value).empty() ? "不能为空" : "";
}

bool is_trend_tab(std::string_view key) {
  const auto& tabs = SellerSpriteScraper::TREND_TABS;
  return std::any_of(tabs.begin(), tabs.end(), [key](const auto& entry) { return entry.key == key; });
}

std::string known_trend_tabs() {
  std::string keys;
  for (const auto& entry : SellerSpriteScraper::TREND_TABS) keys += (keys.empty() ? "" : ",") + std::string(entry.key);
  return keys;
}

}  // namespace

CLI::Validator non_blank_text() { return CLI::Validator(blank_problem, "非空文本"); }

CLI::Validator keyword_text() {
  const auto check = [](const std::string& value) -> std::string {
    if (std::string problem = blank_problem(value); !problem.empty()) return problem;
    const std::size_t count = character_count(value);
    if (count <= kMaxKeywordCharacters) return "";
    return "最长 " + std::to_string(kMaxKeywordCharacters) + " 个字符，收到 " + std::to_string(count) + " 个";
  };
  return CLI::Validator(check, "不超过 " + std::to_string(kMaxKeywordCharacters) + " 个字符的非空文本");
}

CLI::Validator integer_in_range(std::int64_t min, std::int64_t max) {
  const std::string range = std::to_string(min) + " 到 " + std::to_string(max) + " 之间的整数";
  const auto check = [min, max, range](const std::string& value) -> std::string {
    std::int64_t number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (error == std::errc() && stop == end && number >= min && number <= max) return "";
    return "须为 " + range + "，收到 " + value;
  };
  return CLI::Validator(check, range);
}

CLI::Validator trend_tab_list() {
  const auto check = [](const std::string& value) -> std::string {
    if (unicode_text::trim(value) == "all") return "";
    std::string unknown;
    std::size_t start = 0;
    while (start <= value.size()) {
      std::size_t comma = value.find(',', start);
      if (comma == std::string::npos) comma = value.size();
      const std::string key = unicode_text::trim(std::string_view(value).substr(start, comma - start));
      if (!is_trend_tab(key)) unknown += (unknown.empty() ? "" : "、") + (key.empty() ? std::string("（空）") : key);
      start = comma + 1;
    }
    if (unknown.empty()) return "";
    return "未知的趋势标签：" + unknown + "；可用 all，或以逗号分隔的 " + known_trend_tabs() + " 中的若干个";
  };
  return CLI::Validator(check, "all 或 " + known_trend_tabs());
}

}  // namespace ravik::cli
