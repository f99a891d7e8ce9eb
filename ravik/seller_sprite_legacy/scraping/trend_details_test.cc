// The pure routines of the trend details flow: slugs, tab choice, payload
// keywords, and the Unicode line and white-space rules behind row keywords.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"
#include "ravik/seller_sprite_legacy/scraping/unicode_text.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SlugTest, MapsLettersAndNumbersAndCollapsesTheRest) {
  const std::string sixty(60, 'Q');
  const struct {
    std::string value;
    std::string expected;
  } cases[] = {
      {"Yoga Mat", "yoga_mat"},
      {"  --Hello World!! ", "hello_world"},
      {"!!!", "keyword"},
      {"", "keyword"},
      {"瑜伽垫 Yoga-Mat", "瑜伽垫_yoga_mat"},
      {"ÄRGER Straße", "ärger_straße"},
      {"x²½ under_score", "x²½_under_score"},  // other digits and numeric characters are kept
      {sixty, std::string(40, 'q')},
      {std::string(39, 'a') + " b", std::string(39, 'a') + "_"},  // the cut may expose a "_"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(SellerSpriteScraper::_slug(c.value), c.expected);
  }
}

TEST(SlugTest, CutsAtFortyCharactersNotBytes) {
  std::string chinese;
  for (int i = 0; i < 45; ++i) chinese += "垫";
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "垫";
  EXPECT_EQ(SellerSpriteScraper::_slug(chinese), forty);
}

std::vector<std::string> tab_keys(std::string_view trend_tabs) {
  std::vector<std::string> keys;
  for (const LabelEntry& entry : SellerSpriteScraper::_selected_trend_tabs(trend_tabs)) keys.emplace_back(entry.key);
  return keys;
}

TEST(SelectedTrendTabsTest, FallsBackToAllTabsWhenNothingMatches) {
  for (const char* trend_tabs : {"all", "", "xyz", "ALL", " all", ",,", "Search"}) {
    SCOPED_TRACE(trend_tabs);
    EXPECT_THAT(tab_keys(trend_tabs), ElementsAre("search", "google", "aba", "ppc", "market"));
  }
}

TEST(SelectedTrendTabsTest, KeepsListedOrderAndRepeats) {
  EXPECT_THAT(tab_keys("ppc, search"), ElementsAre("ppc", "search"));
  EXPECT_THAT(tab_keys("aba,aba"), ElementsAre("aba", "aba"));
  EXPECT_THAT(tab_keys(" google ,,nope,market"), ElementsAre("google", "market"));
  EXPECT_THAT(tab_keys("\u3000aba\t"), ElementsAre("aba"));  // Unicode white space is trimmed

  const auto pairs = SellerSpriteScraper::_selected_trend_tabs("ppc");
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].label, "PPC竞价");
}

TEST(KeywordsFromPayloadTest, WrongShapesGiveNothing) {
  const Json cases[] = {
      nullptr,
      Json::array({1, 2}),
      "text",
      Json::object(),
      {{"data", Json::array({{{"keyword", "a"}}})}},
      {{"data", {{"items", {{"keyword", "a"}}}}}},
      {{"data", {{"rows", Json::array({{{"keyword", "a"}}})}}}},
  };
  for (const Json& payload : cases) {
    SCOPED_TRACE(payload.dump());
    EXPECT_THAT(SellerSpriteScraper::_keywords_from_payload(payload), IsEmpty());
  }
}

TEST(KeywordsFromPayloadTest, TakesKeywordThenKeywordsAndSkipsTheRest) {
  const Json payload = Json::parse(R"({"data": {"items": [
      1, "loose", null,
      {"keyword": "yoga mat"},
      {"keyword": "", "keywords": "fallback"},
      {"keyword": 0, "keywords": null},
      {"keyword": 42},
      {"keywords": "only plural"},
      {"keyword": false, "keywords": 7},
      {"keyword": [], "keywords": "after empty list"},
      {"term": "neither"}
  ]}})");
  EXPECT_THAT(SellerSpriteScraper::_keywords_from_payload(payload),
              ElementsAre("yoga mat", "fallback", "42", "only plural", "7", "after empty list"));
}

TEST(UnicodeTextTest, SplitsAtEveryLineBoundary) {
  const char* boundaries[] = {"\n", "\r", "\r\n", "\v", "\f", "\x1c", "\x1d", "\x1e", "\u0085", "\u2028", "\u2029"};
  for (const char* boundary : boundaries) {
    SCOPED_TRACE(::testing::PrintToString(std::string(boundary)));
    EXPECT_THAT(unicode_text::split_lines(std::string("3") + boundary + "wireless earbuds"),
                ElementsAre("3", "wireless earbuds"));
  }
  EXPECT_THAT(unicode_text::split_lines("a\n\nb\n"), ElementsAre("a", "", "b"));
  EXPECT_THAT(unicode_text::split_lines("a\r\r\nb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(unicode_text::split_lines("a\tb\x1f" "c"), ElementsAre("a\tb\x1f" "c"));
  EXPECT_THAT(unicode_text::split_lines(""), IsEmpty());
}

TEST(UnicodeTextTest, TrimsUnicodeWhiteSpaceAndRecognisesDigits) {
  EXPECT_EQ(unicode_text::trim(" \t\u3000wireless earbuds\u00a0\u2003"), "wireless earbuds");
  EXPECT_EQ(unicode_text::trim(" \u3000 "), "");

  const struct {
    const char* text;
    bool digits;
  } cases[] = {
      {"3", true}, {"120", true}, {"\u0661\u0662", true}, {"\u00b2", true},
      {"\u00bd", false}, {"", false}, {"3a", false}, {"AC", false}, {"1 2", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(unicode_text::is_all_digits(c.text), c.digits);
  }
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
