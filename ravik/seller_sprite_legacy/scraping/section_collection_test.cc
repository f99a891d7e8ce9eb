// End-to-end runs of the keyword-mining flows against the stand-in site in
// headless Chromium: completed, blocked and partly captured collections.
#include <algorithm>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"
#include "ravik/seller_sprite_legacy/scraping/testing/flow_checks.h"

namespace ravik::seller_sprite_legacy::scraping::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

SellerSpriteCollectOptions mining_options(int trend_limit = 0, std::string trend_tabs = "all") {
  return {.keyword = "yoga mat", .trend_limit = trend_limit, .trend_tabs = std::move(trend_tabs)};
}

long login_posts() {
  const auto requests = site().requests_to(standin::kLoginPath);
  return std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.method == "POST"; });
}

// The steps an observer heard, one text each: the stage, then what a user
// would be shown of it. The waits for responses, reported again at each
// arrival, count once, with the arrivals of the last report.
std::vector<std::string> step_texts(const std::vector<ProgressStep>& steps) {
  std::vector<std::string> texts;
  for (const ProgressStep& step : steps) {
    std::string text;
    switch (step.stage) {
      case ProgressStage::starting_browser: text = "starting_browser"; break;
      case ProgressStage::opening_page: text = "opening_page " + step.detail.substr(step.detail.rfind('/')); break;
      case ProgressStage::checking_login: text = "checking_login"; break;
      case ProgressStage::logging_in: text = "logging_in"; break;
      case ProgressStage::filling_form: text = "filling_form"; break;
      case ProgressStage::waiting_for_responses:
        text = "waiting " + ::testing::PrintToString(step.sections_arrived) + " of " +
               ::testing::PrintToString(step.sections_awaited);
        if (!texts.empty() && texts.back().starts_with("waiting")) texts.pop_back();
        break;
      case ProgressStage::archiving: text = "archiving " + step.detail; break;
      case ProgressStage::trend_row: text = "row " + std::to_string(step.row) + "/" + std::to_string(step.row_count); break;
      case ProgressStage::trend_tab:
        text = "row " + std::to_string(step.row) + "/" + std::to_string(step.row_count) + " tab " +
               std::to_string(step.tab) + "/" + std::to_string(step.tab_count) + " " + step.tab_label;
        break;
      case ProgressStage::closing_browser: text = "closing_browser"; break;
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

class SectionCollectionTest : public CollectorTest {};

TEST_F(SectionCollectionTest, LogsInAutomaticallyThenCollectsBothSectionsWithTrendDetails) {
  forget_profile();
  site().update_switches([](standin::Switches& s) { s.payload_keywords = 1; });  // row 2 is named by the page
  const auto console = std::make_shared<ScriptedConsole>();
  console->end_input();  // the login must go through without asking
  std::vector<ProgressStep> steps;
  // An observer that fails every time changes nothing of the collection.
  const ProgressObserver throwing_observer = [&steps](const ProgressStep& step) {
    steps.push_back(step);
    throw std::runtime_error("observer failed");
  };
  const Json result = headless_scraper(console, throwing_observer).collect(
      {.options = mining_options(2, "ppc, search"), .run_id = "run-1", .run_dir = run_dir, .account = demo_account()});

  EXPECT_THAT(keys_of(result), ElementsAre("frequency", "keyword_mining", "trend_details", "files", "captcha_required",
                                           "missing_sections", "errors"));
  EXPECT_EQ(login_posts(), 1);
  EXPECT_FALSE(is_empty_value(result["frequency"]));
  EXPECT_EQ(result["captcha_required"], false);
  expect_missing(result, {});
  const std::string saved_mining = result["files"]["keyword_mining"];
  EXPECT_EQ(std::filesystem::path(saved_mining).parent_path(), run_dir / "collect");
  EXPECT_EQ(read_json_file(saved_mining), result["keyword_mining"]);

  // Two rows, ppc first; the drawer's opening response (the search chart) counts with ppc only.
  const Json& items = result["keyword_mining"]["data"]["items"];
  const std::string keywords[] = {items[0]["keyword"], items[1]["term"]};
  const Json& trend = result["trend_details"];
  ASSERT_EQ(trend.size(), 2u);
  for (std::size_t row = 0; row < 2; ++row) {
    SCOPED_TRACE(row);
    const Json& tabs = trend[row]["tabs"];
    const std::string prefix = "trend_0" + std::to_string(row + 1) + "_" + SellerSpriteScraper::_slug(keywords[row]);
    EXPECT_EQ(trend[row]["keyword"], keywords[row]);
    EXPECT_EQ(tabs[0], (Json{{"tab", "PPC竞价"}, {"section", prefix + "_ppc"}, {"response_count", 2},
                             {"response_path", result["files"][prefix + "_ppc_responses"]}}));
    EXPECT_EQ(tabs[1]["section"], prefix + "_search");
    EXPECT_EQ(tabs[1]["response_count"], 1);
  }
  const Json saved = read_json_file(trend[0]["tabs"][0]["response_path"]);
  EXPECT_THAT(keys_of(saved), ElementsAre("keyword", "tab", "responses"));
  ASSERT_EQ(saved["responses"].size(), 2u);
  EXPECT_THAT(saved["responses"][0]["url"].get<std::string>(), HasSubstr("/v3/api/trends/search"));
  EXPECT_THAT(saved["responses"][1]["url"].get<std::string>(), HasSubstr("/v3/api/trends/ppc"));

  // Every step was heard, in order, with rows and tabs counted.
  EXPECT_THAT(step_texts(steps),
              ElementsAre("starting_browser", "opening_page /keyword-miner", "checking_login", "logging_in",
                          "opening_page /keyword-miner", "checking_login", "filling_form",
                          R"(waiting { "frequency", "keyword_mining" } of { "frequency", "keyword_mining" })",
                          "archiving collect", "row 1/2", "row 1/2 tab 1/2 PPC竞价", "row 1/2 tab 2/2 搜索趋势",
                          "row 2/2", "row 2/2 tab 1/2 PPC竞价", "row 2/2 tab 2/2 搜索趋势", "closing_browser"));
  for (const ProgressStep& step : steps) {
    if (step.stage == ProgressStage::trend_row) {
      EXPECT_EQ(step.detail, keywords[step.row - 1]);
    }
  }
}

TEST_F(SectionCollectionTest, CaptchaWinsOverTheMissingLogin) {
  site().update_switches([](standin::Switches& s) { s.captcha = s.logged_out = true; });
  const Json result = headless_scraper().collect(
      {.options = mining_options(3), .run_id = "", .run_dir = run_dir, .account = demo_account()});

  EXPECT_THAT(keys_of(result),
              ElementsAre("frequency", "keyword_mining", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_EQ(result["captcha_required"], true);
  EXPECT_EQ(result["missing_sections"], (Json{"frequency", "keyword_mining"}));
  EXPECT_EQ(result["errors"], (Json::array({{{"code", "SELLER_SPRITE_CAPTCHA_REQUIRED"}, {"message", "页面出现验证码"}}})));
  EXPECT_EQ(login_posts(), 0);
}

TEST_F(SectionCollectionTest, MissingLoginIsReportedAfterAtMostOneAttempt) {
  ensure_logged_in();
  site().update_switches([](standin::Switches& s) { s.logged_out = true; });
  const Json login_error = Json::array(
      {{{"code", "SELLER_SPRITE_LOGIN_REQUIRED"}, {"message", "卖家精灵未登录，请先执行 `ravik seller-sprite login`"}}});

  const Json without = headless_scraper().collect({.options = mining_options(), .run_id = "r", .run_dir = run_dir});
  EXPECT_EQ(without["errors"], login_error);
  EXPECT_EQ(login_posts(), 0);

  // The form is posted once; the page still says nobody is logged in, so the
  // user (who sees the browser window) is asked once, and no second attempt
  // follows.
  const auto console = std::make_shared<ScriptedConsole>();
  console->type("\n");
  const WindowlessBrowsers windowless;
  const Json with = windowed_scraper(console).collect(
      {.options = mining_options(), .run_id = "r", .run_dir = run_dir, .account = demo_account()});
  EXPECT_EQ(with["errors"], login_error);
  EXPECT_FALSE(with.contains("trend_details"));
  EXPECT_EQ(login_posts(), 1);
  EXPECT_THAT(console->output(), HasSubstr("已自动填写卖家精灵账号密码"));
}

TEST_F(SectionCollectionTest, ReportsTheSectionThatNeverArrived) {
  ensure_logged_in();
  site().update_switches([](standin::Switches& s) {
    s.api_modes[std::string(standin::kKeywordMinerFrequencyApi)] = standin::AnswerMode::never;
  });
  const Json result = headless_scraper().collect({.options = mining_options(), .run_id = "r", .run_dir = run_dir});

  EXPECT_EQ(result["frequency"], nullptr);
  EXPECT_FALSE(is_empty_value(result["keyword_mining"]));
  expect_missing(result, {"frequency"});
  EXPECT_TRUE(result["files"].contains("keyword_mining"));
}

TEST_F(SectionCollectionTest, OneSectionFlowsSetThePhraseLengthOnlyForFrequencyAndCountEmptyPayloadsMissing) {
  ensure_logged_in();
  SellerSpriteCollectOptions options = mining_options(2);
  options.frequency_phrase_count = 3;
  const Json frequency = headless_scraper().collect_frequency({.options = options, .run_id = "r", .run_dir = run_dir});
  EXPECT_THAT(keys_of(frequency),
              ElementsAre("frequency", "trend_details", "files", "captcha_required", "missing_sections", "errors"));
  EXPECT_EQ(frequency["trend_details"], Json::array());  // never for frequency
  expect_missing(frequency, {});
  EXPECT_EQ(last_form(standin::kKeywordMinerFrequencyApi).phrase_count, 3);

  site().clear_requests();
  site().update_switches(
      [](standin::Switches& s) { s.api_modes[std::string(standin::kKeywordMinerApi)] = standin::AnswerMode::empty; });
  const Json mining = headless_scraper().collect_keyword_mining({.options = options, .run_id = "r", .run_dir = run_dir});
  EXPECT_EQ(mining["keyword_mining"], Json::object());
  expect_missing(mining, {"keyword_mining"});
  EXPECT_NE(last_form(standin::kKeywordMinerFrequencyApi).phrase_count, 3);
}

TEST_F(SectionCollectionTest, RowKeywordSkipsRankAndBadgeLinesAndFallsBackToTheRowNumber) {
  const Json keywords = run_on_page([](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    const playwright::GotoOptions navigation{.wait_until = "domcontentloaded", .timeout = std::chrono::milliseconds(10000)};
    co_await page.goto_(  // two result rows, then an icon outside any table
        "data:text/html;charset=utf-8,<table>"
        "<tr><td><div>3</div><div>AC</div><div> wireless earbuds </div><i class='trend'></i></td></tr>"
        "<tr><td><div>12</div><div>AC</div><div>%E2%80%83</div><i class='trend'></i></td></tr>"
        "</table><p><i class='trend'></i></p>",
        navigation);
    Json found = Json::array();
    for (int index = 0; index < 3; ++index) {
      found.push_back(co_await scraper._keyword_from_trend_icon(page.locator(".trend").nth(index), index));
    }
    co_return found;
  });
  EXPECT_EQ(keywords, (Json{"wireless earbuds", "keyword_2", "keyword_3"}));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping::testing
