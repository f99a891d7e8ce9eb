// Login flows against the stand-in site: the login test, the automatic login
// with its console hand-overs, the manual login, the login status and the
// page archive.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/this_coro.hpp>
#include <fstream>

#include <gtest/gtest.h>

#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"
#include "ravik/seller_sprite_legacy/scraping/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"
#include "ravik/seller_sprite_legacy/scraping/web_origin.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

using testing::CollectorTest;
using testing::ConsoleRedirect;
using testing::run_on_page;

using LoginTest = CollectorTest;

constexpr std::string_view kAutomaticLoginPrompt =
    "已自动填写卖家精灵账号密码。如页面需要验证码或二次确认，请在浏览器中完成后回到终端按回车继续...";

// The login test's answer on the page at `path` of the stand-in.
bool logged_in_at(const std::string& path) {
  return run_on_page([&](const SellerSpriteScraper& scraper, playwright::Page page) -> asio::awaitable<Json> {
           co_await page.goto_(sellersprite_origin() + path, document_loaded(30000));
           co_return co_await scraper._detect_logged_in(page);
         })
      .get<bool>();
}

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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::site().set_switches({});
    testing::site().update_switches(c.change);
    EXPECT_EQ(logged_in_at(c.path), c.logged_in);
  }
}

// Runs the automatic login on a logged-out profile; `while_prompted` runs on
// the loop once the console prompt may be waiting, before Enter is typed.
std::string automatic_login(ConsoleRedirect& console,
                            std::function<asio::awaitable<void>(playwright::Page)> while_prompted = nullptr) {
  testing::forget_profile();
  const Json logged_in = run_on_page([&](const SellerSpriteScraper& scraper,
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

TEST_F(LoginTest, AutomaticLoginWithoutObstacleAsksNothing) {
  ConsoleRedirect console;
  console.end_input();  // a prompt would fail with end of input
  EXPECT_EQ(automatic_login(console), "logged in");
  EXPECT_EQ(console.output(), "");
}

TEST_F(LoginTest, AutomaticLoginHandsTheSecondConfirmationToTheUser) {
  testing::site().update_switches([](standin::Switches& s) { s.second_confirmation = true; });
  ConsoleRedirect console;
  const auto confirm_in_browser = [](playwright::Page page) -> asio::awaitable<void> {
    co_await page.locator("#confirm-button").click({.timeout = 30000});
    co_await page.wait_for_load_state("domcontentloaded");
  };
  EXPECT_EQ(automatic_login(console, confirm_in_browser), "logged in");
  EXPECT_EQ(console.output(), kAutomaticLoginPrompt);
}

TEST_F(LoginTest, AutomaticLoginHandsTheCaptchaToTheUser) {
  testing::site().update_switches([](standin::Switches& s) { s.captcha_at_login = true; });
  ConsoleRedirect console;
  const auto solve_captcha = [](playwright::Page page) -> asio::awaitable<void> {
    co_await page.locator(".slider-handle").click({.timeout = 30000});
    co_await page.wait_for_load_state("domcontentloaded");
  };
  EXPECT_EQ(automatic_login(console, solve_captcha), "logged in");
  EXPECT_EQ(console.output(), kAutomaticLoginPrompt);
}

TEST_F(LoginTest, EndOfInputAtTheManualLoginPromptPropagates) {
  ConsoleRedirect console;
  console.end_input();
  EXPECT_THROW(testing::headless_scraper().login(), ConsoleInputClosedError);
  EXPECT_EQ(console.output(), "请在打开的浏览器中完成卖家精灵登录，完成后回到终端按回车继续...");
  // CollectorTest's TearDown checks that the browser was closed.
}

TEST_F(LoginTest, ManualLoginReportsTheProfileAndLoginState) {
  testing::log_profile_in();
  ConsoleRedirect console;
  console.type("\n");
  const SellerSpriteScraper scraper = testing::headless_scraper();
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

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
