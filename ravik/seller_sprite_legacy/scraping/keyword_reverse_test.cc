// End-to-end runs of the keyword-reverse flow against the stand-in site in
// headless Chromium: required and optional sections, the 10-second payload
// budget, and a trend tab visited twice.
#include <chrono>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"
#include "ravik/seller_sprite_legacy/scraping/testing/flow_checks.h"

namespace ravik::seller_sprite_legacy::scraping::testing {
namespace {

using ::testing::ElementsAre;

SellerSpriteCollectOptions reverse_options(int trend_limit = 0) {
  return {.asin = "B0TESTASIN", .trend_limit = trend_limit, .trend_tabs = "aba,aba"};
}

void answer_never(std::string_view path) {
  site().update_switches([path](standin::Switches& s) { s.api_modes[std::string(path)] = standin::AnswerMode::never; });
}

class KeywordReverseTest : public CollectorTest {};

TEST_F(KeywordReverseTest, OptionalSectionsMayStayAbsentAndRepeatedTrendTabsReplaceTheirFiles) {
  ensure_logged_in();
  answer_never(standin::kReverseMonthlyApi);
  answer_never(standin::kReverseStatsApi);
  const Json result =
      headless_scraper().collect_keyword_reverse({.options = reverse_options(1), .run_id = "r", .run_dir = run_dir});

  EXPECT_THAT(keys_of(result), ElementsAre("keyword_reverse", "reverse_frequency", "reverse_monthly", "reverse_stats",
                                           "trend_details", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_FALSE(is_empty_value(result["reverse_frequency"]));
  EXPECT_EQ(result["reverse_monthly"], nullptr);
  expect_missing(result, {});
  EXPECT_EQ(std::filesystem::path(result["files"]["keyword_reverse"].get<std::string>()).parent_path(),
            run_dir / "keyword_reverse");
  EXPECT_EQ(last_form(standin::kReversingApi).asin, "B0TESTASIN");

  // The reverse list names its rows under "keywords"; the second aba visit
  // takes the place of the first in "files".
  const std::string keyword = result["keyword_reverse"]["data"]["items"][0]["keywords"];
  const Json& tabs = result["trend_details"][0]["tabs"];
  const std::string section = "trend_01_" + SellerSpriteScraper::_slug(keyword) + "_aba";
  EXPECT_EQ(result["trend_details"][0]["keyword"], keyword);
  ASSERT_EQ(tabs.size(), 2u);
  EXPECT_EQ(tabs[1]["section"], section);
  EXPECT_EQ(tabs[1]["response_count"], 1);
  EXPECT_EQ(result["files"][section + "_responses"], tabs[1]["response_path"]);
  EXPECT_EQ(read_json_file(tabs[1]["response_path"])["responses"].size(), 1u);
}

TEST_F(KeywordReverseTest, WaitsTheWholeBudgetForARequiredSectionThenReportsIt) {
  ensure_logged_in();
  answer_never(standin::kReverseFrequencyApi);
  const auto started = std::chrono::steady_clock::now();
  const Json result =
      headless_scraper().collect_keyword_reverse({.options = reverse_options(), .run_id = "r", .run_dir = run_dir});

  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_FALSE(is_empty_value(result["keyword_reverse"]));
  expect_missing(result, {"reverse_frequency"});
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping::testing
