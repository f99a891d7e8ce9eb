// "response" events: listeners see every response of their page, read
// bodies while the page goes on, fail alone, and stop after removal.
#include <chrono>
#include <map>

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <gtest/gtest.h>

#include "playwright/browser_test_support.h"

namespace playwright {
namespace {

using testing::new_shared_page;
using testing::run;

// A page whose button fetches `path`; the status shows when it finished.
std::string fetching_page(const std::string& path) {
  return "<button id=\"fetch\" onclick=\"fetch('" + path +
         "').then(r => r.text()).then(() => { document.getElementById('done').textContent += '.'; })\">取数</button>"
         "<p id=\"done\"></p>";
}

// What one listener saw: responses by URL path, bodies read in the listener.
struct Seen {
  std::map<std::string, int> status;
  std::map<std::string, std::string> type;
  std::map<std::string, nlohmann::ordered_json> json;
  std::map<std::string, std::string> json_error;
  std::map<std::string, std::string> text;
  int calls = 0;
};

std::string path_of(const std::string& url) { return url.substr(url.find('/', std::string("http://").size())); }

// The listener shares `seen`: a call still reading a body when its test has
// ended writes into live memory.
ResponseListener recording_listener(const std::shared_ptr<Seen>& shared_seen) {
  return make_response_listener([shared_seen](Response response) -> asio::awaitable<void> {
    Seen& seen = *shared_seen;
    const std::string path = path_of(response.url());
    ++seen.calls;
    seen.status[path] = response.status();
    seen.type[path] = response.resource_type();
    seen.text[path] = co_await response.text();
    try {
      seen.json[path] = co_await response.json();
    } catch (const Error& e) {
      seen.json_error[path] = e.what();
    }
  });
}

class ResponseTest : public ::testing::Test {
 protected:
  // Clicks the fetch button and waits until the page saw the answer.
  asio::awaitable<void> fetch_once(int nth_time) {
    co_await page.locator("#fetch").click();
    const std::string done = "#done:text-is('" + std::string(static_cast<std::size_t>(nth_time), '.') + "')";
    co_await page.locator(done).wait_for();
    co_await page.wait_for_load_state("networkidle");
  }

  // Sleeps on the loop in short steps (at most 10 s) until the listener
  // has read the JSON body of `path`, or failed to.
  static asio::awaitable<void> until_json_read(const Seen& seen, const std::string& path) {
    asio::steady_timer sleep(co_await asio::this_coro::executor);
    for (int step = 0; step < 200 && !seen.json.contains(path) && !seen.json_error.contains(path); ++step) {
      sleep.expires_after(std::chrono::milliseconds(50));
      co_await sleep.async_wait(asio::use_awaitable);
    }
  }

  testing::TestServer server;
  Page page = new_shared_page();
};

TEST_F(ResponseTest, ListenersReadJsonAndOtherBodies) {
  server.page("/start", fetching_page("/api/data"));
  server.json("/api/data", R"({"关键词": "耳机", "rank": [3, 1], "a": null})");
  const auto shared_seen = std::make_shared<Seen>();
  Seen& seen = *shared_seen;
  const auto listener = recording_listener(shared_seen);
  page.on("response", listener);
  run([&]() -> asio::awaitable<void> {
    co_await page.goto_(server.url("/start"));
    co_await fetch_once(1);
    co_await until_json_read(seen, "/start");
    co_await until_json_read(seen, "/api/data");  // the listener may still be reading it
  });
  page.remove_listener("response", listener);

  EXPECT_EQ(seen.status["/start"], 200);
  EXPECT_EQ(seen.type["/start"], "document");
  EXPECT_NE(seen.text["/start"].find("取数"), std::string::npos);
  EXPECT_NE(seen.json_error["/start"].find("Response.json: "), std::string::npos);

  EXPECT_EQ(seen.type["/api/data"], "fetch");
  const auto expected = nlohmann::ordered_json::parse(R"({"关键词": "耳机", "rank": [3, 1], "a": null})");
  EXPECT_EQ(seen.json["/api/data"], expected);
  EXPECT_EQ(seen.json["/api/data"].begin().key(), "关键词");  // order kept
}

TEST_F(ResponseTest, RedirectBodiesAreGoneWithoutHarmingTheListener) {
  const auto shared_seen = std::make_shared<Seen>();
  Seen& seen = *shared_seen;
  const auto listener = recording_listener(shared_seen);
  auto redirect_body_error = std::make_shared<std::string>();
  const auto redirect_listener = make_response_listener([redirect_body_error](Response response) -> asio::awaitable<void> {
    if (response.status() != 302) co_return;
    try {
      co_await response.body();
    } catch (const Error& e) {
      *redirect_body_error = e.what();
    }
  });
  page.on("response", listener);
  page.on("response", redirect_listener);
  run([&]() -> asio::awaitable<void> {
    co_await page.goto_(server.url("/redirect"));
    co_await page.wait_for_load_state("networkidle");
  });
  page.remove_listener("response", listener);
  page.remove_listener("response", redirect_listener);

  EXPECT_EQ(page.url(), server.url("/page/plain"));
  EXPECT_EQ(seen.status["/redirect"], 302);
  EXPECT_EQ(seen.status["/page/plain"], 200);
  EXPECT_FALSE(redirect_body_error->empty());
}

TEST_F(ResponseTest, FailingListenerEndsAloneAndRemovedListenerHearsNothing) {
  server.page("/start", fetching_page("/api/again"));
  server.json("/api/again", "[]");
  int failing_calls = 0;
  const auto failing = make_response_listener([&](Response) -> asio::awaitable<void> {
    ++failing_calls;
    throw std::runtime_error("listener failure");
    co_return;
  });
  const auto shared_kept_seen = std::make_shared<Seen>();
  const auto shared_removed_seen = std::make_shared<Seen>();
  Seen& kept_seen = *shared_kept_seen;
  Seen& removed_seen = *shared_removed_seen;
  const auto kept = recording_listener(shared_kept_seen);
  const auto removed = recording_listener(shared_removed_seen);
  page.on("response", failing);
  page.on("response", kept);
  page.on("response", removed);
  run([&]() -> asio::awaitable<void> {
    co_await page.goto_(server.url("/start"));
    co_await fetch_once(1);
  });
  EXPECT_EQ(failing_calls, 2);
  EXPECT_EQ(kept_seen.calls, 2);
  EXPECT_EQ(removed_seen.calls, 2);

  page.remove_listener("response", removed);
  page.remove_listener("response", removed);  // a second removal is harmless
  run([&]() -> asio::awaitable<void> { co_await fetch_once(2); });
  EXPECT_EQ(failing_calls, 3);
  EXPECT_EQ(kept_seen.calls, 3);
  EXPECT_EQ(removed_seen.calls, 2);

  page.remove_listener("response", failing);
  page.remove_listener("response", kept);
  EXPECT_THROW(page.on("request", kept), Error);
  EXPECT_THROW(page.remove_listener("request", kept), Error);
}

TEST_F(ResponseTest, ScopedListenerIsRemovedWhenTheGuardedStepFails) {
  server.page("/start", fetching_page("/api/guarded"));
  server.json("/api/guarded", "[]");
  const auto shared_seen = std::make_shared<Seen>();
  const Seen& seen = *shared_seen;
  const TimeoutOptions short_wait{.timeout = std::chrono::milliseconds(300)};
  EXPECT_THROW(run([&]() -> asio::awaitable<void> {
                 const ScopedResponseListener capturing(page, recording_listener(shared_seen));
                 co_await page.goto_(server.url("/start"));
                 co_await page.locator("#missing").click(short_wait);
               }),
               TimeoutError);
  EXPECT_EQ(seen.calls, 1);  // the page itself, heard while the scope lasted

  run([&]() -> asio::awaitable<void> { co_await fetch_once(1); });
  EXPECT_EQ(seen.calls, 1);
}

// The collector's payload wait: the flow sleeps on the loop in short steps
// while the page's background calls arrive and listeners read their bodies.
TEST_F(ResponseTest, ListenersRunWhileTheFlowSleepsOnTheLoop) {
  server.page("/start", "<script>setTimeout(() => fetch('/api/late'), 300);</script>");
  server.json("/api/late", R"({"ok": true})");
  const auto shared_seen = std::make_shared<Seen>();
  Seen& seen = *shared_seen;
  const auto listener = recording_listener(shared_seen);
  page.on("response", listener);
  const bool arrived = run([&]() -> asio::awaitable<bool> {
    co_await page.goto_(server.url("/start"));
    asio::steady_timer sleep(co_await asio::this_coro::executor);
    for (int step = 0; step < 100 && !seen.json.contains("/api/late"); ++step) {
      sleep.expires_after(std::chrono::milliseconds(100));
      co_await sleep.async_wait(asio::use_awaitable);
    }
    co_return seen.json.contains("/api/late");
  });
  page.remove_listener("response", listener);
  EXPECT_TRUE(arrived);
  EXPECT_EQ(seen.json["/api/late"], nlohmann::ordered_json::parse(R"({"ok": true})"));
}

}  // namespace
}  // namespace playwright
