// End-to-end runs of the keyword-reverse flow against the stand-in site in
// headless Chromium: required and optional sections, the 10-second payload
// budget, and the blocked result.
#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"
#include "ravik/seller_sprite_legacy/scraping/testing/flow_checks.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::CollectorTest;
using testing::ensure_logged_in;
using testing::headless_scraper;
using testing::keys_of;
using testing::site;

SellerSpriteCollectOptions reverse_options(int trend_limit = 0) {
  return {.site = "us", .period = "30d", .asin = "B0TESTASIN", .trend_limit = trend_limit, .trend_tabs = "google"};
}

void answer_never(std::string_view api_path) {
  site().update_switches([api_path](standin::Switches& s) { s.api_modes[std::string(api_path)] = standin::AnswerMode::never; });
}

class KeywordReverseTest : public CollectorTest {};

TEST_F(KeywordReverseTest, OptionalSectionsMayStayAbsentAndTrendKeywordsComeFromTheReversePayload) {
  ensure_logged_in();
  answer_never(standin::kReverseMonthlyApi);
  answer_never(standin::kReverseStatsApi);

  const Json result =
      headless_scraper().collect_keyword_reverse({.options = reverse_options(1), .run_id = "r", .run_dir = run_dir});

  EXPECT_THAT(keys_of(result), ElementsAre("keyword_reverse", "reverse_frequency", "reverse_monthly", "reverse_stats",
                                           "trend_details", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_FALSE(is_empty_value(result["keyword_reverse"]));
  EXPECT_FALSE(is_empty_value(result["reverse_frequency"]));
  EXPECT_EQ(result["reverse_monthly"], nullptr);
  EXPECT_EQ(result["reverse_stats"], nullptr);
  EXPECT_THAT(result["missing_sections"], IsEmpty());
  EXPECT_THAT(result["errors"], IsEmpty());
  EXPECT_EQ(std::filesystem::path(result["files"]["keyword_reverse"].get<std::string>()).parent_path(),
            run_dir / "keyword_reverse");

  // The reverse list names its rows under "keywords".
  const auto keywords = SellerSpriteScraper::_keywords_from_payload(result["keyword_reverse"]);
  ASSERT_FALSE(keywords.empty());
  ASSERT_EQ(result["trend_details"].size(), 1u);
  EXPECT_EQ(result["trend_details"][0]["keyword"], keywords[0]);
  EXPECT_EQ(result["trend_details"][0]["tabs"][0]["tab"], "Google Trends");

  const auto calls = site().requests_to(standin::kReversingApi);
  ASSERT_FALSE(calls.empty());
  ASSERT_TRUE(calls.back().form.has_value());
  EXPECT_EQ(calls.back().form->asin, "B0TESTASIN");
}

TEST_F(KeywordReverseTest, WaitsTheWholeBudgetForARequiredSectionThenReportsIt) {
  ensure_logged_in();
  answer_never(standin::kReverseFrequencyApi);

  const auto started = std::chrono::steady_clock::now();
  const Json result =
      headless_scraper().collect_keyword_reverse({.options = reverse_options(), .run_id = "r", .run_dir = run_dir});
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_GE(elapsed, std::chrono::seconds(10));
  EXPECT_FALSE(is_empty_value(result["keyword_reverse"]));
  EXPECT_EQ(result["reverse_frequency"], nullptr);
  EXPECT_EQ(result["missing_sections"], Json{"reverse_frequency"});
  EXPECT_EQ(result["errors"],
            (Json::array({{{"code", "SELLER_SPRITE_RESPONSE_MISSING"}, {"message", "reverse_frequency 响应未捕获"}}})));
}

TEST_F(KeywordReverseTest, BlockedResultListsOnlyTheRequiredSections) {
  site().update_switches([](standin::Switches& s) { s.captcha = true; });
  const Json result = headless_scraper().collect_keyword_reverse(
      {.options = reverse_options(2), .run_id = "r", .run_dir = run_dir, .account = testing::demo_account()});

  EXPECT_THAT(keys_of(result), ElementsAre("keyword_reverse", "reverse_frequency", "reverse_monthly", "reverse_stats",
                                           "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_EQ(result["captcha_required"], true);
  EXPECT_EQ(result["missing_sections"], (Json{"keyword_reverse", "reverse_frequency"}));
  EXPECT_EQ(result["errors"].size(), 1u);
  EXPECT_EQ(result["errors"][0]["code"], "SELLER_SPRITE_CAPTCHA_REQUIRED");
  EXPECT_TRUE(std::filesystem::exists(result["files"].begin()->get<std::string>()));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
