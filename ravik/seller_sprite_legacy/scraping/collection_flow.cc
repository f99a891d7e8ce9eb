#include "ravik/seller_sprite_legacy/scraping/internal/collection_flow.h"

#include <chrono>
#include <memory>

#include "ravik/seller_sprite_legacy/domain/exceptions.h"
#include "ravik/seller_sprite_legacy/scraping/api_recorder.h"
#include "ravik/seller_sprite_legacy/scraping/archiver.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::string_view kCaptchaMessage = "页面出现验证码";
constexpr std::string_view kLoginMessage = "卖家精灵未登录，请先执行 `ravik seller-sprite login`";
constexpr std::chrono::milliseconds kSettleAfterWait{1000};

// What the checks after a navigation found.
struct PageAccess {
  bool captcha_required = false;
  bool logged_in = false;

  bool blocked() const { return captcha_required || !logged_in; }
};

// Opens `url` (document loaded, the collector's navigation time-out), pauses
// DEFAULT_WAIT_MS and asks the captcha detector, then the login test.
asio::awaitable<PageAccess> open_and_check(const SellerSpriteScraper& scraper, playwright::Page page,
                                           const std::string& url) {
  const playwright::GotoOptions navigation = document_loaded(scraper.timeout_ms);
  scraper._report_progress({.stage = ProgressStage::opening_page, .detail = url});
  co_await page.goto_(url, navigation);
  co_await page.wait_for_timeout(std::chrono::milliseconds(SellerSpriteScraper::DEFAULT_WAIT_MS));
  PageAccess access;
  scraper._report_progress({.stage = ProgressStage::checking_login});
  access.captcha_required = co_await scraper.captcha_detector.detect(page);
  access.logged_in = co_await scraper._detect_logged_in(page);
  co_return access;
}

// The error record of a blocked page: the captcha kind when
// `captcha_required`, else the login kind.
Json access_error(bool captcha_required) {
  Json record = Json::object();
  if (captcha_required) {
    record["code"] = std::string(domain::SellerSpriteCaptchaRequiredError::code);
    record["message"] = std::string(kCaptchaMessage);
  } else {
    record["code"] = std::string(domain::SellerSpriteLoginRequiredError::code);
    record["message"] = std::string(kLoginMessage);
  }
  return record;
}

// True for an account worth one automatic login: a non-empty dictionary.
bool is_usable_account(const std::optional<Json>& account) {
  return account && account->is_object() && !account->empty();
}

asio::awaitable<void> fill_search_form(const SellerSpriteScraper& scraper, playwright::Page page,
                                       const CollectionPlan& plan,
                                       const domain::SellerSpriteCollectOptions& options) {
  scraper._report_progress({.stage = ProgressStage::filling_form});
  if (plan.form == SearchForm::keyword_reverse) {
    co_await scraper._fill_keyword_reverse_form(page, options);
  } else {
    co_await scraper._fill_keyword_form(page, options);
  }
  if (plan.set_phrase_count) co_await scraper._set_frequency_phrase_count(page, options.frequency_phrase_count);
}

// Payload entries null, then "files", "captcha_required", the required
// sections as missing and the access error.
Json blocked_result(const CollectionPlan& plan, Json files, bool captcha_required) {
  Json result = Json::object();
  for (const std::string& section : plan.returned) result[section] = nullptr;
  result["files"] = std::move(files);
  result["captcha_required"] = captcha_required;
  result["missing_sections"] = plan.required;
  result["errors"] = Json::array({access_error(captcha_required)});
  return result;
}

// Payload entries as captured, "trend_details", "files", and the required
// sections whose payload is empty, with one error record each.
Json completed_result(const CollectionPlan& plan, const SellerSpriteApiRecorder& recorder, Json files,
                      Json trend_details) {
  Json result = Json::object();
  for (const std::string& section : plan.returned) result[section] = recorder.get_payload(section);
  result["trend_details"] = std::move(trend_details);
  result["files"] = std::move(files);
  result["captcha_required"] = false;
  Json missing = missing_sections(recorder, plan.required);
  Json errors = missing_section_errors(missing);
  result["missing_sections"] = std::move(missing);
  result["errors"] = std::move(errors);
  return result;
}

}  // namespace

asio::awaitable<Json> run_collection(const SellerSpriteScraper& scraper, playwright::Page page,
                                     CollectionPlan plan, domain::SellerSpriteCollectOptions options,
                                     std::filesystem::path run_dir, std::optional<Json> account) {
  auto recorder = std::make_shared<SellerSpriteApiRecorder>();
  const SellerSpriteArchiver archiver(run_dir);
  playwright::ScopedResponseListener capturing(page, make_section_listener(recorder, plan.pairs));

  PageAccess access = co_await open_and_check(scraper, page, plan.page_url);
  if (!access.captcha_required && !access.logged_in && is_usable_account(account)) {
    scraper._report_progress({.stage = ProgressStage::logging_in});
    co_await scraper._login_with_account(page, *account);
    access = co_await open_and_check(scraper, page, plan.page_url);
  }
  const SellerSpriteArchiver::SectionArgs archive_section{.section = plan.archive_section};
  if (access.blocked()) {
    capturing.remove();
    scraper._report_progress({.stage = ProgressStage::archiving, .detail = plan.archive_section});
    Json files = co_await archiver.archive_page(page, archive_section);
    co_return blocked_result(plan, std::move(files), access.captcha_required);
  }

  co_await fill_search_form(scraper, page, plan, options);
  co_await scraper._wait_for_payloads(*recorder, plan.required, plan.wait_timeout_ms);
  co_await page.wait_for_timeout(kSettleAfterWait);
  capturing.remove();

  scraper._report_progress({.stage = ProgressStage::archiving, .detail = plan.archive_section});
  Json files = co_await archiver.archive_page(page, archive_section);
  files.update(recorder->save_all(archiver.section_dir(plan.archive_section)));

  Json trend_details = Json::array();
  if (plan.trend_source && options.trend_limit != 0) {
    TrendDetailsArgs trend_args{
        .options = options,
        .run_dir = run_dir,
        .keywords = SellerSpriteScraper::_keywords_from_payload(recorder->get_payload(*plan.trend_source))};
    Json trend = co_await scraper._collect_trend_details(page, std::move(trend_args));
    trend_details = std::move(trend["trend_details"]);
    files.update(trend["files"]);
  }
  co_return completed_result(plan, *recorder, std::move(files), std::move(trend_details));
}

}  // namespace ravik::seller_sprite_legacy::scraping
