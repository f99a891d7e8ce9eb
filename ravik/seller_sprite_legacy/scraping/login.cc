// Login: the manual login hand-over, the login status report, the automatic
// login with an account and the test whether anybody is logged in.
#include <chrono>
#include <exception>
#include <string>

#include "ravik/seller_sprite_legacy/scraping/archiver.h"
#include "ravik/seller_sprite_legacy/scraping/internal/arguments.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::string_view kAccountFieldSelector =
    "input[placeholder*='手机号']:visible:not([readonly]):not([disabled]), "
    "input[placeholder*='邮箱']:visible:not([readonly]):not([disabled]), "
    "input[placeholder*='账号']:visible:not([readonly]):not([disabled]), "
    "input[placeholder*='用户名']:visible:not([readonly]):not([disabled]), "
    "input[type='email']:visible:not([readonly]):not([disabled]), "
    "input[type='text']:visible:not([readonly]):not([disabled])";
constexpr std::string_view kPasswordFieldSelector = "input[type='password']:visible";
constexpr std::string_view kLoginButtonSelector =
    "button:visible:has-text('登录'), button:visible:has-text('登 录'), button:visible:has-text('立即登录')";
constexpr std::string_view kLoginPath = "/w/user/login";

const std::string kManualLoginPrompt = "请在打开的浏览器中完成卖家精灵登录，完成后回到终端按回车继续...";
const std::string kAutomaticLoginPrompt =
    "已自动填写卖家精灵账号密码。如页面需要验证码或二次确认，请在浏览器中完成后回到终端按回车继续...";

constexpr std::chrono::milliseconds kPasswordFieldTimeout{10000};
constexpr std::chrono::milliseconds kNetworkIdleTimeout{10000};
constexpr std::chrono::milliseconds kAfterNetworkIdlePause{1000};
constexpr std::chrono::milliseconds kVisibilityTimeout{1000};

// The account's entry `key` as text; "" when it is missing or empty.
std::string account_text(const Json& account, std::string_view key) {
  return text_form(non_empty_or(account, key, ""));
}

}  // namespace

asio::awaitable<Json> SellerSpriteScraper::login_async() const {
  co_return co_await _run_in_page_context([this](playwright::Page page) -> asio::awaitable<Json> {
    const playwright::GotoOptions loaded = document_loaded(timeout_ms);
    _report_progress({.stage = ProgressStage::opening_page, .detail = LOGIN_URL()});
    co_await page.goto_(LOGIN_URL(), loaded);
    co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
    co_await console->prompt_and_wait_for_enter(kManualLoginPrompt);
    _report_progress({.stage = ProgressStage::opening_page, .detail = KEYWORD_MINING_URL()});
    co_await page.goto_(KEYWORD_MINING_URL(), loaded);
    co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
    _report_progress({.stage = ProgressStage::checking_login});
    Json result = Json::object();
    result["profile_dir"] = profile_dir.string();
    result["current_url"] = page.url();
    result["logged_in"] = co_await _detect_logged_in(page);
    co_return result;
  });
}

asio::awaitable<Json> SellerSpriteScraper::login_status_async(RunArgs args) const {
  co_return co_await _run_in_page_context([this, &args](playwright::Page page) -> asio::awaitable<Json> {
    const SellerSpriteArchiver archiver(args.run_dir.get());
    _report_progress({.stage = ProgressStage::opening_page, .detail = KEYWORD_MINING_URL()});
    co_await page.goto_(KEYWORD_MINING_URL(), document_loaded(timeout_ms));
    co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
    _report_progress({.stage = ProgressStage::checking_login});
    const bool captcha_required = co_await captcha_detector.detect(page);
    const SellerSpriteArchiver::SectionArgs archive_section{.section = "login_status"};
    _report_progress({.stage = ProgressStage::archiving, .detail = "login_status"});
    Json files = co_await archiver.archive_page(page, archive_section);
    Json result = Json::object();
    result["profile_dir"] = profile_dir.string();
    result["current_url"] = page.url();
    result["logged_in"] = co_await _detect_logged_in(page);
    result["files"] = std::move(files);
    result["captcha_required"] = captcha_required;
    co_return result;
  }, args.run_dir.get());
}

asio::awaitable<void> SellerSpriteScraper::_login_with_account(playwright::Page page, Json account) const {
  check_account(account);
  co_await page.goto_(LOGIN_URL(), document_loaded(timeout_ms));
  co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
  if (co_await _detect_logged_in(page)) co_return;
  co_await _fill_login_form(page, account);
  co_await page.wait_for_timeout(std::chrono::milliseconds(DEFAULT_WAIT_MS));
  // Nobody can act in a browser without a window: the caller's own checks
  // will find the page still blocked.
  if (headless) co_return;
  // A captcha always needs the user; otherwise only a login that did not take.
  const bool needs_user = co_await captcha_detector.detect(page) || !co_await _detect_logged_in(page);
  if (needs_user) co_await console->prompt_and_wait_for_enter(kAutomaticLoginPrompt);
}

asio::awaitable<void> SellerSpriteScraper::_fill_login_form(playwright::Page page, Json account) const {
  check_account(account);
  const std::string username = account_text(account, "username");
  const std::string password = account_text(account, "password");
  const playwright::Locator password_field = page.locator(kPasswordFieldSelector).first();
  const playwright::WaitForOptions until_visible{.state = "visible", .timeout = kPasswordFieldTimeout};
  co_await password_field.wait_for(until_visible);
  co_await page.locator(kAccountFieldSelector).first().fill(username);
  co_await password_field.fill(password);
  co_await page.locator(kLoginButtonSelector).first().click();
}

asio::awaitable<bool> SellerSpriteScraper::_detect_logged_in(playwright::Page page) const {
  try {
    co_await page.wait_for_load_state("networkidle", {.timeout = kNetworkIdleTimeout});
  } catch (const std::exception&) {
    // A page that never goes quiet is judged as it stands.
  }
  co_await page.wait_for_timeout(kAfterNetworkIdlePause);
  if (page.url().find(kLoginPath) != std::string::npos) co_return false;
  if (co_await _has_visible_text(page, "未登录")) co_return false;
  if (co_await _has_visible_text(page, "游客")) co_return false;
  co_return true;
}

asio::awaitable<bool> SellerSpriteScraper::_has_visible_text(playwright::Page page, std::string text) const {
  const playwright::Locator element = page.get_by_text(text).first();
  try {
    co_return co_await element.is_visible({.timeout = kVisibilityTimeout});
  } catch (const std::exception&) {
    co_return false;
  }
}

}  // namespace ravik::seller_sprite_legacy::scraping
