// Search forms and response capture against the stand-in site: what the
// forms make the page send, which payload each section gets, and which
// responses _capture_sellersprite_json records.
#include <fstream>

#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/internal/response_capture.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"
#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using testing::CollectorTest;
using testing::run_on_page;

class FormsCaptureTest : public CollectorTest {
 protected:
  static void SetUpTestSuite() {
    testing::site();
    testing::log_profile_in();
  }
};

constexpr int kNavigationTimeoutMs = 30000;

TEST_F(FormsCaptureTest, KeywordFormSendsTheChosenMarketplacePeriodKeywordAndPhraseCount) {
  const struct {
    const char* name;
    SellerSpriteCollectOptions options;
    std::string site, keyword;
    int phrase_count;
  } cases[] = {
      {"codes in capitals", {.site = "US", .period = "30D", .keyword = "yoga mat", .frequency_phrase_count = 2},
       "us", "yoga mat", 2},
      {"label given as the code", {.site = "德国站", .keyword = "desk lamp", .frequency_phrase_count = 1},
       "de", "desk lamp", 1},
      {"custom phrase count", {.site = "jp", .keyword = "yoga mat", .frequency_phrase_count = 5}, "jp", "yoga mat", 5},
      {"empty keyword leaves the box as typed", {.site = "ae", .keyword = "", .frequency_phrase_count = 0},
       "ae", "typed by hand", 0},
  };
  // One browser for all cases, each on the page loaded afresh; the site's
  // requests of each case are kept for the checks below.
  std::vector<std::vector<standin::RecordedRequest>> searches, frequencies;
  run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    for (const auto& c : cases) {
      testing::site().clear_requests();
      co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(kNavigationTimeoutMs));
      co_await page.locator("input[placeholder*='输入关键词']").fill("typed by hand");
      co_await scraper._fill_keyword_form(page, c.options);
      co_await scraper._set_frequency_phrase_count(page, c.options.frequency_phrase_count);
      co_await page.wait_for_load_state("networkidle", {.timeout = std::chrono::milliseconds(10000)});
      searches.push_back(testing::site().requests_to(standin::kKeywordMinerApi));
      frequencies.push_back(testing::site().requests_to(standin::kKeywordMinerFrequencyApi));
    }
    co_return Json();
  });
  ASSERT_EQ(searches.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    ASSERT_EQ(searches[i].size(), 1u);
    EXPECT_EQ(searches[i][0].form->site, c.site);
    EXPECT_EQ(searches[i][0].form->period, "30d");
    EXPECT_EQ(searches[i][0].form->keyword, c.keyword);
    ASSERT_FALSE(frequencies[i].empty());
    EXPECT_EQ(frequencies[i].back().form->phrase_count, c.phrase_count);
  }
}

TEST_F(FormsCaptureTest, KeywordReverseFormClearsTheBoxWhenNoAsinIsGiven) {
  run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    co_await page.goto_(SellerSpriteScraper::KEYWORD_REVERSE_URL(), document_loaded(kNavigationTimeoutMs));
    co_await page.locator("input[placeholder*='ASIN']").fill("B0TYPED000");
    const SellerSpriteCollectOptions no_asin{.site = "uk", .asin = ""};
    co_await scraper._fill_keyword_reverse_form(page, no_asin);
    co_await page.wait_for_load_state("networkidle", {.timeout = std::chrono::milliseconds(10000)});
    co_return Json();
  });
  const auto searches = testing::site().requests_to(standin::kReversingApi);
  ASSERT_EQ(searches.size(), 1u);
  EXPECT_EQ(searches[0].form->site, "uk");
  EXPECT_EQ(searches[0].form->asin, "");
}

// The recorder's payloads after one search on the keyword-mining page, with
// a listener for `pairs`.
Json payloads_after_search(std::vector<SectionKeyword> pairs, const std::filesystem::path& save_dir) {
  return run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    auto recorder = std::make_shared<SellerSpriteApiRecorder>();
    std::vector<std::string> sections;
    for (const SectionKeyword& pair : pairs) sections.push_back(pair.section);
    {
      const playwright::ScopedResponseListener capturing(page, make_section_listener(recorder, pairs));
      co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(kNavigationTimeoutMs));
      const SellerSpriteCollectOptions search{.keyword = "yoga mat"};
      co_await scraper._fill_keyword_form(page, search);
      co_await scraper._wait_for_payloads(*recorder, sections, 10000);
    }
    Json seen = Json::object();
    for (const std::string& section : sections) seen[section] = recorder->get_payload(section);
    seen["files"] = recorder->save_all(save_dir);
    co_return seen;
  });
}

TEST_F(FormsCaptureTest, EachSectionGetsItsOwnCallsPayload) {
  const Json both = payloads_after_search({{"frequency", "frequency"}, {"keyword_mining", "keyword"}}, run_dir / "collect");
  EXPECT_TRUE(both["frequency"]["data"].contains("phraseCount")) << both["frequency"].dump();
  EXPECT_FALSE(both["keyword_mining"]["data"].contains("phraseCount")) << "the frequency call contains \"keyword\" too";
  EXPECT_FALSE(both["keyword_mining"]["data"]["items"].empty());
  EXPECT_EQ(both["files"].size(), 2u);
  for (const auto& [section, path] : both["files"].items()) {
    SCOPED_TRACE(section);
    EXPECT_EQ(path, (run_dir / "collect" / (section + ".json")).string());
    std::ifstream saved(path.get<std::string>());
    EXPECT_EQ(Json::parse(saved), both[section]);
  }

  const Json alone = payloads_after_search({{"keyword_mining", "keyword"}}, run_dir / "keyword_mining");
  EXPECT_FALSE(alone["keyword_mining"]["data"].contains("phraseCount"))
      << "without a frequency listener the frequency call still is not keyword mining's";
}

TEST_F(FormsCaptureTest, CaptureRecordsSellerSpriteJsonOnly) {
  standin::Site other_site;
  const std::string other_origin = other_site.start();
  testing::site().update_switches(
      [](standin::Switches& s) { s.api_modes["/v3/api/trends/aba"] = standin::AnswerMode::non_json; });
  const Json records = run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    auto responses = std::make_shared<Json>(Json::array());
    for (const std::string& url : {sellersprite_origin() + "/v3/api/trends/search?keyword=Yoga%20Mat",
                                  sellersprite_origin() + "/v3/api/trends/aba?keyword=x",
                                  other_origin + "/v3/api/trends/search?keyword=x"}) {
      const std::optional<playwright::Response> response = co_await page.goto_(url, document_loaded(kNavigationTimeoutMs));
      co_await scraper._capture_sellersprite_json(*response, responses);
    }
    co_return *responses;
  });
  ASSERT_EQ(records.size(), 1u) << records.dump();
  EXPECT_EQ(records[0]["url"], sellersprite_origin() + "/v3/api/trends/search?keyword=Yoga%20Mat");
  EXPECT_EQ(records[0]["status"], 200);
  EXPECT_TRUE(records[0]["payload"].is_object());
  std::vector<std::string> keys;
  for (const auto& [key, value] : records[0].items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"url", "status", "payload"}));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
