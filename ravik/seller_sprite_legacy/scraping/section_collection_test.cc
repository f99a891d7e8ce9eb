// End-to-end runs of the keyword-mining flows against the stand-in site in
// headless Chromium: completed, blocked and partly captured collections.
#include <algorithm>
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
using testing::ConsoleRedirect;
using testing::demo_account;
using testing::ensure_logged_in;
using testing::headless_scraper;
using testing::keys_of;
using testing::read_json_file;
using testing::site;

constexpr const char* kLoginRequiredCode = "SELLER_SPRITE_LOGIN_REQUIRED";
constexpr const char* kLoginMessage = "卖家精灵未登录，请先执行 `ravik seller-sprite login`";

SellerSpriteCollectOptions mining_options(int trend_limit = 0, std::string trend_tabs = "all") {
  return {.site = "us",
          .period = "30d",
          .keyword = "yoga mat",
          .frequency_phrase_count = 1,
          .trend_limit = trend_limit,
          .trend_tabs = std::move(trend_tabs)};
}

std::size_t login_posts() {
  const auto requests = site().requests_to(standin::kLoginPath);
  return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                [](const standin::RecordedRequest& r) { return r.method == "POST"; }));
}

// Every saved file exists and lies below `run_dir`.
void expect_files_in(const Json& files, const std::filesystem::path& run_dir) {
  ASSERT_TRUE(files.is_object());
  EXPECT_FALSE(files.empty());
  for (const auto& [key, path] : files.items()) {
    SCOPED_TRACE(key);
    const auto relative = std::filesystem::path(path.get<std::string>()).lexically_relative(run_dir);
    EXPECT_FALSE(relative.empty() || *relative.begin() == "..") << path;
    EXPECT_TRUE(std::filesystem::exists(path.get<std::string>())) << path;
  }
}

class SectionCollectionTest : public CollectorTest {};

TEST_F(SectionCollectionTest, LogsInAutomaticallyThenCollectsBothSectionsWithTrendDetails) {
  testing::forget_profile();
  ConsoleRedirect console;
  console.end_input();  // the login must go through without asking

  const Json result = headless_scraper().collect(
      {.options = mining_options(2, "ppc, search"), .run_id = "run-1", .run_dir = run_dir, .account = demo_account()});

  EXPECT_THAT(keys_of(result), ElementsAre("frequency", "keyword_mining", "trend_details", "files", "captcha_required",
                                           "missing_sections", "errors"));
  EXPECT_EQ(login_posts(), 1u);
  EXPECT_EQ(console.output(), "");
  EXPECT_FALSE(is_empty_value(result["frequency"]));
  EXPECT_FALSE(is_empty_value(result["keyword_mining"]));
  EXPECT_EQ(result["captcha_required"], false);
  EXPECT_THAT(result["missing_sections"], IsEmpty());
  EXPECT_THAT(result["errors"], IsEmpty());
  expect_files_in(result["files"], run_dir);
  // The captures are saved under run_dir/collect and hold what was returned.
  ASSERT_TRUE(result["files"].contains("keyword_mining"));
  const std::string saved_mining = result["files"]["keyword_mining"];
  EXPECT_EQ(std::filesystem::path(saved_mining).parent_path(), run_dir / "collect");
  EXPECT_EQ(read_json_file(saved_mining), result["keyword_mining"]);

  // Trend details of the first two rows, ppc first; the drawer's opening
  // response (the search tab's chart) is counted with ppc only.
  const auto keywords = SellerSpriteScraper::_keywords_from_payload(result["keyword_mining"]);
  const Json& trend = result["trend_details"];
  ASSERT_EQ(trend.size(), 2u);
  for (std::size_t row = 0; row < 2; ++row) {
    SCOPED_TRACE(row);
    EXPECT_THAT(keys_of(trend[row]), ElementsAre("keyword", "tabs"));
    EXPECT_EQ(trend[row]["keyword"], keywords[row]);
    const Json& tabs = trend[row]["tabs"];
    ASSERT_EQ(tabs.size(), 2u);
    const std::string prefix = "trend_0" + std::to_string(row + 1) + "_" + SellerSpriteScraper::_slug(keywords[row]);
    EXPECT_EQ(tabs[0], (Json{{"tab", "PPC竞价"},
                             {"section", prefix + "_ppc"},
                             {"response_count", 2},
                             {"response_path", tabs[0]["response_path"]}}));
    EXPECT_EQ(tabs[1]["tab"], "搜索趋势");
    EXPECT_EQ(tabs[1]["section"], prefix + "_search");
    EXPECT_EQ(tabs[1]["response_count"], 1);
    EXPECT_EQ(result["files"][prefix + "_ppc_responses"], tabs[0]["response_path"]);

    const Json saved = read_json_file(tabs[0]["response_path"]);
    EXPECT_THAT(keys_of(saved), ElementsAre("keyword", "tab", "responses"));
    EXPECT_EQ(saved["keyword"], keywords[row]);
    ASSERT_EQ(saved["responses"].size(), 2u);
    EXPECT_THAT(keys_of(saved["responses"][0]), ElementsAre("url", "status", "payload"));
    EXPECT_THAT(saved["responses"][0]["url"].get<std::string>(), ::testing::HasSubstr("/v3/api/trends/search"));
    EXPECT_THAT(saved["responses"][1]["url"].get<std::string>(), ::testing::HasSubstr("/v3/api/trends/ppc"));
  }
}

TEST_F(SectionCollectionTest, CaptchaWinsOverTheMissingLogin) {
  site().update_switches([](standin::Switches& s) {
    s.captcha = true;
    s.logged_out = true;
  });
  const Json result = headless_scraper().collect(
      {.options = mining_options(3), .run_id = "", .run_dir = run_dir, .account = demo_account()});

  EXPECT_THAT(keys_of(result),
              ElementsAre("frequency", "keyword_mining", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_EQ(result["frequency"], nullptr);
  EXPECT_EQ(result["keyword_mining"], nullptr);
  EXPECT_EQ(result["captcha_required"], true);
  EXPECT_EQ(result["missing_sections"], (Json{"frequency", "keyword_mining"}));
  EXPECT_EQ(result["errors"], (Json::array({{{"code", "SELLER_SPRITE_CAPTCHA_REQUIRED"}, {"message", "页面出现验证码"}}})));
  EXPECT_EQ(login_posts(), 0u);
  expect_files_in(result["files"], run_dir);
  EXPECT_TRUE(site().requests_to(standin::kKeywordMinerApi).empty());
}

TEST_F(SectionCollectionTest, MissingLoginIsReportedAfterAtMostOneAttempt) {
  ensure_logged_in();
  site().update_switches([](standin::Switches& s) { s.logged_out = true; });
  const Json login_error = Json::array({{{"code", kLoginRequiredCode}, {"message", kLoginMessage}}});

  // Without an account nothing is tried.
  const Json without = headless_scraper().collect({.options = mining_options(), .run_id = "r", .run_dir = run_dir});
  EXPECT_EQ(without["captcha_required"], false);
  EXPECT_EQ(without["errors"], login_error);
  EXPECT_FALSE(without.contains("trend_details"));
  EXPECT_EQ(login_posts(), 0u);

  // With an account the form is posted once; the page still says nobody is
  // logged in, so the user is asked once; no second attempt follows.
  ConsoleRedirect console;
  console.type("\n");
  const Json with = headless_scraper().collect(
      {.options = mining_options(), .run_id = "r", .run_dir = run_dir, .account = demo_account()});
  EXPECT_EQ(with["errors"], login_error);
  EXPECT_EQ(with["missing_sections"], (Json{"frequency", "keyword_mining"}));
  EXPECT_EQ(login_posts(), 1u);
  EXPECT_THAT(console.output(), ::testing::HasSubstr("已自动填写卖家精灵账号密码"));
  EXPECT_TRUE(site().requests_to(standin::kKeywordMinerApi).empty());
}

TEST_F(SectionCollectionTest, ReportsTheSectionThatNeverArrived) {
  ensure_logged_in();
  site().update_switches(
      [](standin::Switches& s) { s.api_modes[std::string(standin::kKeywordMinerFrequencyApi)] = standin::AnswerMode::never; });

  const Json result = headless_scraper().collect({.options = mining_options(), .run_id = "r", .run_dir = run_dir});

  EXPECT_EQ(result["frequency"], nullptr);
  EXPECT_FALSE(is_empty_value(result["keyword_mining"]));
  EXPECT_EQ(result["trend_details"], Json::array());
  EXPECT_EQ(result["missing_sections"], Json{"frequency"});
  EXPECT_EQ(result["errors"],
            (Json::array({{{"code", "SELLER_SPRITE_RESPONSE_MISSING"}, {"message", "frequency 响应未捕获"}}})));
  EXPECT_TRUE(result["files"].contains("keyword_mining"));
  EXPECT_FALSE(result["files"].contains("frequency"));
}

TEST_F(SectionCollectionTest, OneSectionFlowsSetThePhraseLengthOnlyForFrequencyAndCountEmptyPayloadsMissing) {
  ensure_logged_in();
  SellerSpriteCollectOptions options = mining_options(2);
  options.frequency_phrase_count = 3;

  // Frequency: phrase length set, never trend details whatever trend_limit says.
  const Json frequency = headless_scraper().collect_frequency({.options = options, .run_id = "r", .run_dir = run_dir});
  EXPECT_THAT(keys_of(frequency),
              ElementsAre("frequency", "trend_details", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_FALSE(is_empty_value(frequency["frequency"]));
  EXPECT_EQ(frequency["trend_details"], Json::array());
  EXPECT_THAT(frequency["errors"], IsEmpty());
  const auto frequency_calls = site().requests_to(standin::kKeywordMinerFrequencyApi);
  ASSERT_FALSE(frequency_calls.empty());
  ASSERT_TRUE(frequency_calls.back().form.has_value());
  EXPECT_EQ(frequency_calls.back().form->phrase_count, 3);
  EXPECT_EQ(std::filesystem::path(frequency["files"]["frequency"].get<std::string>()).parent_path(),
            run_dir / "frequency");

  // Keyword mining answered with "{}": captured but empty, so missing; the
  // page shows no rows, so there is no trend to walk.
  site().clear_requests();
  site().update_switches([](standin::Switches& s) { s.api_modes[std::string(standin::kKeywordMinerApi)] = standin::AnswerMode::empty; });
  options.trend_limit = 1;
  options.trend_tabs = "aba";
  const Json mining = headless_scraper().collect_keyword_mining({.options = options, .run_id = "r", .run_dir = run_dir});
  EXPECT_THAT(keys_of(mining),
              ElementsAre("keyword_mining", "trend_details", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_EQ(mining["keyword_mining"], Json::object());
  EXPECT_EQ(mining["trend_details"], Json::array());
  EXPECT_EQ(mining["missing_sections"], Json{"keyword_mining"});
  EXPECT_EQ(mining["errors"],
            (Json::array({{{"code", "SELLER_SPRITE_RESPONSE_MISSING"}, {"message", "keyword_mining 响应未捕获"}}})));
  EXPECT_FALSE(site().requests_to(standin::kKeywordMinerFrequencyApi).empty());
  for (const auto& call : site().requests_to(standin::kKeywordMinerFrequencyApi)) {
    ASSERT_TRUE(call.form.has_value());
    EXPECT_NE(call.form->phrase_count, 3);  // the phrase length is left alone
  }
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
