// Login flows against the stand-in site: the login test, the automatic login
// with its console hand-overs, the manual login, the login status and the
// page archive.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/this_coro.hpp>
#include <chrono>
#include <fstream>

#include <gtest/gtest.h>

#include "playwright/error.h"
#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"
#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using testing::CollectorTest;
using testing::ScriptedConsole;
using testing::run_on_page;

using LoginTest = CollectorTest;

constexpr std::string_view kAutomaticLoginPrompt =
    "已自动填写卖家精灵账号密码。如页面需要验证码或二次确认，请在浏览器中完成后回到终端按回车继续...";

TEST_F(LoginTest, LoginTestReadsAddressAndVisibleTexts) {
  testing::log_profile_in();
  const struct {
    const char* name;
    std::function<void(standin::Switches&)> change;
    std::string path;
    bool logged_in;
  } cases[] = {
      {"logged in", [](standin::Switches&) {}, "/v3/keyword-miner", true},
      {"未登录 shown", [](standin::Switches& s) { s.logged_out = true; }, "/v3/keyword-miner", false},
      {"游客 shown", [](standin::Switches& s) { s.guest = true; }, "/v3/keyword-reverse", false},
      {"login page", [](standin::Switches&) {}, "/w/user/login/confirm", false},
      {"login path in capitals only", [](standin::Switches&) {}, "/W/USER/LOGIN", true},
  };
  // One browser for all cases: each sets the site's switches, then loads its
  // page afresh and asks the login test.
  const Json answers =
      run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
        Json seen = Json::array();
        for (const auto& c : cases) {
          testing::site().set_switches({});
          testing::site().update_switches(c.change);
          co_await page.goto_(sellersprite_origin() + c.path, document_loaded(30000));
          seen.push_back(co_await scraper._detect_logged_in(page));
        }
        co_return seen;
      });
  ASSERT_EQ(answers.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(answers[i], cases[i].logged_in);
  }
}

// Runs the automatic login of `scraper` on a logged-out profile;
// `while_prompted` runs on the loop once the console prompt may be waiting,
// before Enter is typed.
std::string automatic_login(ScriptedConsole& console, const SellerSpriteScraper& scraper,
                            std::function<asio::awaitable<void>(playwright::Page)> while_prompted = nullptr) {
  testing::forget_profile();
  const Json logged_in = run_on_page(scraper, [&](const SellerSpriteScraper& scraper,
                                                  playwright::Page page) -> asio::awaitable<Json> {
    if (while_prompted) {
      // The user's side: once prompted, acts in the browser while the flow
      // waits on the console, then presses Enter. (Named values: g++ 12
      // mis-handles such temporaries inside a co_await expression.)
      const auto executor = co_await asio::this_coro::executor;
      auto user_side = [&console, &while_prompted, page]() -> asio::awaitable<void> {
        co_await console.prompt_shown();
        co_await while_prompted(page);
        console.type("\n");
      };
      asio::co_spawn(executor, std::move(user_side), asio::detached);
    }
    co_await scraper._login_with_account(page, testing::demo_account());
    co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(30000));
    co_return co_await scraper._detect_logged_in(page);
  });
  return logged_in.get<bool>() ? "logged in" : "logged out";
}

// The bytes of a file of the browser profile, or "" when it does not exist.
std::string profile_file(const std::filesystem::path& relative) {
  std::ifstream in(testing::headless_scraper().profile_dir / relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(LoginTest, AutomaticLoginWithoutObstacleAsksNothingAndSavesNoPassword) {
  const auto console = std::make_shared<ScriptedConsole>();
  console->end_input();  // a prompt would fail with end of input
  EXPECT_EQ(automatic_login(*console, testing::headless_scraper(console)), "logged in");
  EXPECT_EQ(console->output(), "");

  // The browser kept the preferences that turn its offers off, and stored
  // no credential of the account it was given.
  const Json preferences = Json::parse(profile_file("Default/Preferences"));
  EXPECT_EQ(preferences["credentials_enable_service"], false);
  EXPECT_EQ(preferences["profile"]["password_manager_enabled"], false);
  EXPECT_EQ(preferences["translate"]["enabled"], false);
  EXPECT_TRUE(preferences["profile"].contains("exit_type")) << "the browser's own preferences are there too";
  for (const char* store : {"Default/Login Data", "Default/Login Data For Account"}) {
    SCOPED_TRACE(store);
    EXPECT_EQ(profile_file(store).find(standin::kDemoPassword), std::string::npos);
    EXPECT_EQ(profile_file(store).find(standin::kDemoUsername), std::string::npos);
  }
}

TEST_F(LoginTest, AutomaticLoginHandsTheSecondConfirmationToTheUser) {
  testing::site().update_switches([](standin::Switches& s) { s.second_confirmation = true; });
  const auto console = std::make_shared<ScriptedConsole>();
  const auto confirm_in_browser = [](playwright::Page page) -> asio::awaitable<void> {
    co_await page.locator("#confirm-button").click({.timeout = std::chrono::milliseconds(30000)});
    co_await page.wait_for_load_state("domcontentloaded");
  };
  const testing::WindowlessBrowsers windowless;
  EXPECT_EQ(automatic_login(*console, testing::windowed_scraper(console), confirm_in_browser), "logged in");
  EXPECT_EQ(console->output(), kAutomaticLoginPrompt);
}

TEST_F(LoginTest, AutomaticLoginHandsTheCaptchaToTheUser) {
  testing::site().update_switches([](standin::Switches& s) { s.captcha_at_login = true; });
  const auto console = std::make_shared<ScriptedConsole>();
  const auto solve_captcha = [](playwright::Page page) -> asio::awaitable<void> {
    co_await page.locator(".slider-handle").click({.timeout = std::chrono::milliseconds(30000)});
    co_await page.wait_for_load_state("domcontentloaded");
  };
  const testing::WindowlessBrowsers windowless;
  EXPECT_EQ(automatic_login(*console, testing::windowed_scraper(console), solve_captcha), "logged in");
  EXPECT_EQ(console->output(), kAutomaticLoginPrompt);
}

TEST_F(LoginTest, HeadlessAutomaticLoginNeverWaitsForTheUser) {
  testing::forget_profile();
  const auto console = std::make_shared<ScriptedConsole>();
  console->end_input();  // a prompt would fail with end of input
  const struct {
    const char* name;
    std::function<void(standin::Switches&)> change;
    Json account;
  } cases[] = {
      {"no password entry", [](standin::Switches&) {}, Json{{"username", std::string(standin::kDemoUsername)}}},
      {"captcha after the login", [](standin::Switches& s) { s.captcha_at_login = true; }, testing::demo_account()},
  };
  run_on_page(testing::headless_scraper(console), [&](const SellerSpriteScraper& scraper,
                                                      playwright::Page page) -> asio::awaitable<Json> {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      testing::site().set_switches({});
      testing::site().update_switches(c.change);
      testing::site().clear_requests();
      co_await scraper._login_with_account(page, c.account);
      const auto posted = testing::site().requests_to(standin::kLoginPath);
      EXPECT_TRUE(!posted.empty() && posted.back().method == "POST") << "the form was submitted";
      if (!posted.empty() && !c.account.contains("password")) {
        const std::string& body = posted.back().body;
        const auto password = body.find("password=");
        EXPECT_TRUE(password != std::string::npos && (password + 9 == body.size() || body[password + 9] == '&'))
            << "an empty password was filled in: " << body;
      }
      co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(30000));
      EXPECT_FALSE(co_await scraper._detect_logged_in(page)) << "the page stays blocked";
    }
    co_return Json();
  });
  EXPECT_EQ(console->output(), "");
}

TEST_F(LoginTest, LoginTestWaitsForANeverIdlePageThenAnswers) {
  testing::log_profile_in();
  testing::site().update_switches([](standin::Switches& s) { s.network_never_idle = true; });
  const Json seen = run_on_page([](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(30000));
    const auto start = std::chrono::steady_clock::now();
    const bool logged_in = co_await scraper._detect_logged_in(page);
    co_return Json{{"logged_in", logged_in},
                   {"seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()}};
  });
  EXPECT_EQ(seen["logged_in"], true);
  EXPECT_GE(seen["seconds"].get<double>(), 10.9) << "the full network wait and the pause";
  EXPECT_LT(seen["seconds"].get<double>(), 30.0);
  EXPECT_GE(testing::site().requests_to(standin::kHeartbeatApi).size(), 10u) << "the page really kept calling";
}

TEST_F(LoginTest, NoVisiblePasswordFieldEndsTheCollectionWithTheTimeout) {
  testing::forget_profile();
  testing::site().update_switches([](standin::Switches& s) { s.qr_code_login_only = true; });
  SellerSpriteCollectOptions options;
  options.keyword = "yoga mat";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(testing::headless_scraper().collect(
                   {.options = options, .run_id = "r", .run_dir = run_dir, .account = testing::demo_account()}),
               playwright::TimeoutError);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "the password field's wait";
  EXPECT_TRUE(testing::site().requests_to(standin::kKeywordMinerApi).empty()) << "no search was made";
  // CollectorTest's TearDown checks that the browser was closed.
}

TEST_F(LoginTest, EndOfInputAtTheManualLoginPromptPropagates) {
  const auto console = std::make_shared<ScriptedConsole>();
  console->end_input();
  EXPECT_THROW(testing::headless_scraper(console).login(), ConsoleInputClosedError);
  EXPECT_EQ(console->output(), "请在打开的浏览器中完成卖家精灵登录，完成后回到终端按回车继续...");
  // CollectorTest's TearDown checks that the browser was closed.
}

TEST_F(LoginTest, ManualLoginReportsTheProfileAndLoginState) {
  testing::log_profile_in();
  const auto console = std::make_shared<ScriptedConsole>();
  console->type("\n");
  const SellerSpriteScraper scraper = testing::headless_scraper(console);
  const Json result = scraper.login();
  EXPECT_EQ(result, Json({{"profile_dir", scraper.profile_dir.string()},
                          {"current_url", SellerSpriteScraper::KEYWORD_MINING_URL()},
                          {"logged_in", true}}));
}

TEST_F(LoginTest, LoginStatusArchivesThePageAndReportsBothAnswersIndependently) {
  testing::log_profile_in();
  testing::site().update_switches([](standin::Switches& s) { s.captcha = true; });
  const SellerSpriteScraper scraper = testing::headless_scraper();
  const Json result = scraper.login_status({.options = SellerSpriteCollectOptions{}, .run_id = "r", .run_dir = run_dir});
  std::vector<std::string> keys;
  for (const auto& [key, value] : result.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"profile_dir", "current_url", "logged_in", "files", "captcha_required"}));
  EXPECT_EQ(result["captcha_required"], true);
  EXPECT_EQ(result["logged_in"], true) << "the captcha page shows neither 未登录 nor 游客";
  for (const auto& [key, path] : result["files"].items()) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(std::filesystem::exists(path.get<std::string>()));
    EXPECT_EQ(std::filesystem::path(path.get<std::string>()).parent_path(), run_dir / "login_status");
  }
  EXPECT_EQ(result["files"].size(), 2u);
}

TEST_F(LoginTest, ArchiveUrlKeepsTheCaptchaPageUnderArchiveWithoutLoggingIn) {
  testing::forget_profile();
  testing::site().update_switches([](standin::Switches& s) { s.captcha = true; });
  SellerSpriteCollectOptions options;
  options.url = SellerSpriteScraper::KEYWORD_REVERSE_URL();
  const Json result = testing::headless_scraper().archive_url({.options = options, .run_id = "", .run_dir = run_dir});
  EXPECT_EQ(result["captcha_required"], true);
  EXPECT_EQ(result["missing_sections"], Json::array());
  EXPECT_EQ(result["errors"], Json::array());
  const std::string html_path = result["files"]["archive_html"].get<std::string>();
  EXPECT_EQ(std::filesystem::path(html_path).parent_path(), run_dir / "archive");
  std::ifstream html(html_path);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(html), {}).find("请完成安全验证"), std::string::npos);
  for (const standin::RecordedRequest& request : testing::site().requests()) {
    EXPECT_NE(request.path.rfind("/w/user/login", 0), 0u) << "no login is attempted";
  }
}

TEST_F(LoginTest, CaptchaCountsOnlyWhenReallyShown) {
  testing::log_profile_in();
  const struct {
    const char* name;
    standin::CaptchaFrame frame;
    bool captcha;
  } cases[] = {
      {"small badge", standin::CaptchaFrame::badge, false},
      {"hidden frame", standin::CaptchaFrame::hidden, false},
      {"challenge", standin::CaptchaFrame::challenge, true},
  };
  run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      testing::site().update_switches([&](standin::Switches& s) { s.captcha_frame = c.frame; });
      co_await page.goto_(SellerSpriteScraper::KEYWORD_MINING_URL(), document_loaded(30000));
      EXPECT_EQ(co_await page.locator("iframe.captcha-frame").count(), 1) << "the frame is on the page";
      EXPECT_EQ(co_await scraper.captcha_detector.detect(page), c.captcha);
    }
    co_return Json();
  });
}

TEST_F(LoginTest, ArchiveOfAPageTooLargeForAFullScreenshotKeepsAViewportScreenshot) {
  SellerSpriteCollectOptions options;
  options.url = "data:text/html,<div style='width:33000px;height:33000px'>huge</div>";
  const Json result = testing::headless_scraper().archive_url({.options = options, .run_id = "", .run_dir = run_dir});
  std::vector<std::string> keys;
  for (const auto& [key, value] : result["files"].items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"archive_html", "archive_screenshot"}));
  const std::filesystem::path screenshot = result["files"]["archive_screenshot"].get<std::string>();
  EXPECT_EQ(screenshot, run_dir / "archive" / "page-viewport.png");
  std::ifstream png(screenshot, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(png), {});
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  EXPECT_FALSE(std::filesystem::exists(run_dir / "archive" / "page.png"));
  EXPECT_TRUE(std::filesystem::exists(result["files"]["archive_html"].get<std::string>()));
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
