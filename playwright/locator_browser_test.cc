// Locator operations, their time-outs, and the selector features the
// collector relies on, evaluated by Playwright's own selector engine.
#include <gtest/gtest.h>

#include "playwright/browser_test_support.h"

namespace playwright {
namespace {

using testing::new_shared_page;
using testing::run;

constexpr std::chrono::milliseconds kShortTimeout{300};
// For waits that end at once: long enough for a machine busy with other tests.
constexpr std::chrono::milliseconds kAmpleTimeout{10000};

const char* const kFormPage = R"(
<ul id="menu">
  <li class="item">关键词挖掘</li>
  <li class="item">关键词反查</li>
  <li class="item" style="display:none">隐藏的关键词</li>
  <li class="item">Keyword Mining</li>
</ul>
<div class="row"><span class="label">美国站</span><button class="pick">选择</button></div>
<div class="row"><span class="label">日本站</span><button class="pick">选择</button></div>
<input id="keyword"><p id="echo"></p>
<button id="go" onclick="document.getElementById('status').textContent='已查询'">查询</button>
<p id="status">未查询</p>
<div id="later" style="display:none">稍后出现</div>
<div style="height:3000px"></div>
<div id="bottom">底部</div><p id="seen">no</p>
<script>
  document.getElementById('keyword').addEventListener('input', e => {
    document.getElementById('echo').textContent = e.target.value;
  });
  setTimeout(() => { document.getElementById('later').style.display = 'block'; }, 200);
  new IntersectionObserver(entries => {
    if (entries.some(e => e.isIntersecting)) document.getElementById('seen').textContent = 'yes';
  }).observe(document.getElementById('bottom'));
</script>)";

class LocatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.page("/form", kFormPage);
    run([&]() -> asio::awaitable<void> { co_await page.goto_(server.url("/form")); });
  }

  testing::TestServer server;
  Page page = new_shared_page();
};

TEST_F(LocatorTest, CountsWhatSelectorsAndChineseTextFiltersMatch) {
  struct Case {
    std::string name;
    Locator locator;
    int expected;
  };
  const Locator items = page.locator("li.item");
  const std::vector<Case> cases = {
      {"css", items, 4},
      {"has_text filter, Chinese", items.filter({.has_text = "关键词"}), 3},
      {"has_text filter, exact phrase", items.filter({.has_text = "关键词反查"}), 1},
      {"has_text filter, case-insensitive", items.filter({.has_text = "keyword mining"}), 1},
      {"has_text filter, no match", items.filter({.has_text = "不存在"}), 0},
      {"get_by_text", page.get_by_text("挖掘"), 1},
      {":has-text()", page.locator("li:has-text('反查')"), 1},
      {":visible", page.locator("li.item:visible"), 3},
      {":has()", page.locator("div.row:has(span:has-text('日本站'))"), 1},
      {"xpath=", page.locator("xpath=//ul[@id='menu']/li"), 4},
      {"comma list", page.locator("#status, #echo"), 2},
      {"nested locator", page.locator("div.row").filter({.has_text = "美国站"}).locator("button.pick"), 1},
      {"first", items.first(), 1},
      {"nth", items.nth(1).filter({.has_text = "反查"}), 1},
      {"nth past the end", items.nth(9), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + ": " + c.locator.selector());
    EXPECT_EQ(run([&]() -> asio::awaitable<int> { co_return co_await c.locator.count(); }), c.expected);
  }
}

TEST_F(LocatorTest, ClickFillAndReadText) {
  run([&]() -> asio::awaitable<void> {
    co_await page.locator("#go").click();
    EXPECT_EQ(co_await page.locator("#status").inner_text(), "已查询");

    co_await page.locator("#keyword").fill("蓝牙耳机");
    EXPECT_EQ(co_await page.locator("#echo").inner_text(), "蓝牙耳机");
    EXPECT_EQ(co_await page.locator("div.row").first().inner_html(),
              "<span class=\"label\">美国站</span><button class=\"pick\">选择</button>");
  });
}

TEST_F(LocatorTest, VisibilityAndWaitingForStates) {
  run([&]() -> asio::awaitable<void> {
    EXPECT_TRUE(co_await page.locator("#go").is_visible());
    EXPECT_FALSE(co_await page.get_by_text("隐藏的关键词").is_visible());
    EXPECT_FALSE(co_await page.locator("#missing").is_visible({.timeout = kShortTimeout}));

    co_await page.locator("#later").wait_for();  // shown by a timer
    EXPECT_TRUE(co_await page.locator("#later").is_visible());
    co_await page.locator("#missing").wait_for({.state = "detached", .timeout = kAmpleTimeout});
  });
}

TEST_F(LocatorTest, ScrollIntoViewAndElementScreenshot) {
  run([&]() -> asio::awaitable<void> {
    const Locator bottom = page.locator("#bottom");
    co_await bottom.scroll_into_view_if_needed();
    co_await page.locator("#seen").wait_for({.state = "attached"});
    co_await page.locator("#seen:has-text('yes')").wait_for();
    const std::string png = co_await page.locator("#go").screenshot();
    EXPECT_EQ(png.substr(0, 4), "\x89PNG");
  });
}

// Every waiting operation ends with TimeoutError, naming itself, when
// nothing matches within its time-out.
TEST_F(LocatorTest, OperationsTimeOutOnMissingElements) {
  const Locator missing = page.locator("#missing");
  const TimeoutOptions short_wait{.timeout = kShortTimeout};
  struct Case {
    std::string api;
    std::function<asio::awaitable<void>()> operation;
  };
  const std::vector<Case> cases = {
      {"Locator.click", [&]() -> asio::awaitable<void> { co_await missing.click(short_wait); }},
      {"Locator.fill", [&]() -> asio::awaitable<void> { co_await missing.fill("x", short_wait); }},
      {"Locator.wait_for",
       [&]() -> asio::awaitable<void> {
         const WaitForOptions options{.timeout = kShortTimeout};
         co_await missing.wait_for(options);
       }},
      {"Locator.inner_text", [&]() -> asio::awaitable<void> { co_await missing.inner_text(short_wait); }},
      {"Locator.inner_html", [&]() -> asio::awaitable<void> { co_await missing.inner_html(short_wait); }},
      {"Locator.scroll_into_view_if_needed",
       [&]() -> asio::awaitable<void> { co_await missing.scroll_into_view_if_needed(short_wait); }},
      {"Locator.screenshot",
       [&]() -> asio::awaitable<void> {
         ScreenshotOptions options;
         options.timeout = kShortTimeout;
         co_await missing.screenshot(options);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.api);
    try {
      run(c.operation);
      ADD_FAILURE() << "no time-out";
    } catch (const TimeoutError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.api + ": Timeout 300ms exceeded.", 0), 0u) << e.what();
    }
  }
}

TEST_F(LocatorTest, AmbiguousActionsFailWithoutWaitingForTheTimeOut) {
  run([&]() -> asio::awaitable<void> {
    try {
      co_await page.locator("button.pick").click();
      ADD_FAILURE() << "clicked one of two matches";
    } catch (const TimeoutError&) {
      ADD_FAILURE() << "waited for the time-out";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("strict mode violation"), std::string::npos) << e.what();
    }
    EXPECT_EQ(co_await page.locator("button.pick").count(), 2);
  });
}

}  // namespace
}  // namespace playwright
