// The trend drawer walk end to end on the stand-in site, and the row keyword
// read from a page, in headless Chromium.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"
#include "ravik/seller_sprite_legacy/scraping/testing/flow_checks.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using ::testing::ElementsAre;
using testing::CollectorTest;
using testing::keys_of;
using testing::read_json_file;
using testing::site;

class TrendDetailsTest : public CollectorTest {};

TEST_F(TrendDetailsTest, RowsBeyondThePayloadKeywordsAreNamedFromThePageAndRepeatedTabsReplaceTheirFiles) {
  testing::ensure_logged_in();
  site().update_switches([](standin::Switches& s) {
    s.result_rows = 3;
    s.payload_keywords = 1;
  });
  const SellerSpriteCollectOptions options{.keyword = "yoga mat", .trend_limit = 5, .trend_tabs = "aba,aba"};

  const Json result =
      testing::headless_scraper().collect_keyword_mining({.options = options, .run_id = "r", .run_dir = run_dir});

  // Only the first item names its keyword; the others carry it as "term".
  const Json& items = result["keyword_mining"]["data"]["items"];
  ASSERT_EQ(items.size(), 3u);
  const Json& trend = result["trend_details"];
  ASSERT_EQ(trend.size(), 3u);  // fewer rows than the limit
  EXPECT_EQ(trend[0]["keyword"], items[0]["keyword"]);
  for (std::size_t row = 1; row < 3; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(trend[row]["keyword"], items[row]["term"]);
  }

  const Json& tabs = trend[2]["tabs"];
  ASSERT_EQ(tabs.size(), 2u);
  const std::string section = "trend_03_" + SellerSpriteScraper::_slug(items[2]["term"].get<std::string>()) + "_aba";
  EXPECT_EQ(tabs[0]["section"], section);
  EXPECT_EQ(tabs[1]["section"], section);
  EXPECT_EQ(tabs[0]["response_count"], 2);  // the drawer's opening plus the tab
  EXPECT_EQ(tabs[1]["response_count"], 1);
  // The second visit's files took the place of the first's.
  EXPECT_EQ(result["files"][section + "_responses"], tabs[1]["response_path"]);
  const Json saved = read_json_file(tabs[1]["response_path"]);
  EXPECT_EQ(saved["tab"], "ABA集中度");
  EXPECT_EQ(saved["responses"].size(), 1u);
  std::size_t response_entries = 0;
  for (const auto& entry : result["files"].items()) {
    if (entry.key().starts_with(section) && entry.key().ends_with("_responses")) ++response_entries;
  }
  EXPECT_EQ(response_entries, 1u);
}

// A page with two result rows and an icon outside any table.
constexpr const char* kRowsPage =
    "data:text/html;charset=utf-8,"
    "<table><tr><td><div>3</div><div>AC</div><div> wireless earbuds </div><i class='trend'></i></td></tr>"
    "<tr><td><div>12</div><div>AC</div><div>%E2%80%83</div><i class='trend'></i></td></tr></table>"
    "<p><i class='trend'></i></p>";

TEST_F(TrendDetailsTest, RowKeywordSkipsRankAndBadgeLinesAndFallsBackToTheRowNumber) {
  const Json keywords = testing::run_on_page([](const SellerSpriteScraper& scraper,
                                                playwright::Page page) -> asio::awaitable<Json> {
    const playwright::GotoOptions navigation{.wait_until = "domcontentloaded", .timeout = 10000};
    co_await page.goto_(kRowsPage, navigation);
    const playwright::Locator icons = page.locator(".trend");
    Json found = Json::array();
    for (int index = 0; index < 3; ++index) found.push_back(co_await scraper._keyword_from_trend_icon(icons.nth(index), index));
    co_return found;
  });
  EXPECT_EQ(keywords, (Json{"wireless earbuds", "keyword_2", "keyword_3"}));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
