// The pure routines of the trend details flow: slugs, tab choice, payload
// keywords, and the Unicode line and white-space rules behind row keywords.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/internal/unicode_text.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SlugTest, MapsLettersAndNumbersAndCollapsesTheRest) {
  std::string chinese_45, chinese_40;
  for (int i = 0; i < 45; ++i) (i < 40 ? chinese_40 : chinese_45) += "垫";
  const std::pair<std::string, std::string> cases[] = {
      {"Yoga Mat", "yoga_mat"},
      {"  --Hello World!! ", "hello_world"},
      {"!!!", "keyword"},
      {"", "keyword"},
      {"瑜伽垫 ÄRGER-Straße", "瑜伽垫_ärger_straße"},
      {"x²½ under_score", "x²½_under_score"},  // other digits and numeric characters count as numbers
      {std::string(60, 'Q'), std::string(40, 'q')},
      {std::string(39, 'a') + " b", std::string(39, 'a') + "_"},  // the cut may expose a "_"
      {chinese_40 + chinese_45, chinese_40},                      // characters, not bytes
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(SellerSpriteScraper::_slug(value), expected);
  }
}

TEST(SelectedTrendTabsTest, KeepsListedKeysInOrderElseAllTabs) {
  const std::vector<std::string> all = {"search", "google", "aba", "ppc", "market"};
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"all", all}, {"", all}, {"xyz", all}, {"ALL", all}, {" all", all},
      {"ppc, search", {"ppc", "search"}},
      {"aba,aba", {"aba", "aba"}},
      {" google ,,Market,market", {"google", "market"}},
      {"\u3000aba\t", {"aba"}},  // Unicode white space is trimmed
  };
  for (const auto& [trend_tabs, expected] : cases) {
    SCOPED_TRACE(trend_tabs);
    std::vector<std::string> keys;
    for (const LabelEntry& entry : SellerSpriteScraper::_selected_trend_tabs(trend_tabs)) keys.emplace_back(entry.key);
    EXPECT_EQ(keys, expected);
  }
  EXPECT_EQ(SellerSpriteScraper::_selected_trend_tabs("ppc").at(0).label, "PPC竞价");
}

TEST(KeywordsFromPayloadTest, TakesKeywordThenKeywordsAndIgnoresWrongShapes) {
  for (const char* payload : {"null", "[1]", "{}", R"({"data": [{"keyword": "a"}]})",
                              R"({"data": {"items": {"keyword": "a"}}})"}) {
    SCOPED_TRACE(payload);
    EXPECT_THAT(SellerSpriteScraper::_keywords_from_payload(Json::parse(payload)), IsEmpty());
  }
  const Json payload = Json::parse(R"({"data": {"items": [
      1, "loose", {"keyword": "yoga mat"}, {"keyword": "", "keywords": "fallback"},
      {"keyword": 0, "keywords": null}, {"keyword": 42}, {"keyword": false, "keywords": 7},
      {"keyword": [], "keywords": "after empty list"}, {"term": "neither"}]}})");
  EXPECT_THAT(SellerSpriteScraper::_keywords_from_payload(payload),
              ElementsAre("yoga mat", "fallback", "42", "7", "after empty list"));
}

TEST(UnicodeTextTest, SplitsAtEveryLineBoundaryAndTrimsWhiteSpace) {
  for (const char* boundary : {"\n", "\r", "\r\n", "\v", "\f", "\x1c", "\x1d", "\x1e", "\u0085", "\u2028", "\u2029"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(boundary)));
    EXPECT_THAT(unicode_text::split_lines(std::string("3") + boundary + "AC"), ElementsAre("3", "AC"));
  }
  EXPECT_THAT(unicode_text::split_lines("a\r\r\nb\n"), ElementsAre("a", "", "b"));
  EXPECT_THAT(unicode_text::split_lines("a\tb\x1f"), ElementsAre("a\tb\x1f"));
  EXPECT_EQ(unicode_text::trim(" \t\u3000wireless earbuds\u00a0\u2003"), "wireless earbuds");
  EXPECT_TRUE(unicode_text::is_all_digits("\u0661\u0662\u00b2"));  // Arabic-Indic digits, superscript two
  EXPECT_FALSE(unicode_text::is_all_digits("\u00bd"));               // a numeric character, not a digit
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
