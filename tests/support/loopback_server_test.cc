#include "tests/support/loopback_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

namespace ravik::test_support {
namespace {

httplib::Result get(const LoopbackServer& server, const std::string& path) {
  httplib::Client client(server.origin());
  client.set_read_timeout(std::chrono::seconds(60));
  return client.Get(path);
}

TEST(LoopbackServerTest, RoutesAnswerTheirPathAndTheHandlerEveryOther) {
  LoopbackServer server;
  EXPECT_EQ(get(server, "/anything")->status, 404);

  server.page("/page", "<p>页</p>");
  server.json("/data", R"({"a": 1})");
  server.set_handler([](const httplib::Request& request, httplib::Response& response) {
    response.set_content("fallback " + request.path, "text/plain");
  });
  const struct {
    std::string path;
    std::string content_type;
    std::string body;
  } cases[] = {
      {"/page", "text/html; charset=utf-8", html_document("<p>页</p>")},
      {"/data", "application/json", R"({"a": 1})"},
      {"/page/deeper", "text/plain", "fallback /page/deeper"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto result = get(server, c.path);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type"), c.content_type);
    EXPECT_EQ(result->body, c.body);
  }
  EXPECT_EQ(server.request_count(), 4);
  EXPECT_EQ(server.url("/x"), server.origin() + "/x");
}

TEST(LoopbackServerTest, HeldRequestsAnswerOnRelease) {
  LoopbackServer server;
  server.hold("/hold");
  auto held = std::async(std::launch::async, [&] { return get(server, "/hold"); });
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  server.release_held();
  const auto result = held.get();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->body, "released");
}

TEST(LoopbackServerTest, StopsAtOnceWithARequestStillHeld) {
  auto server = std::make_unique<LoopbackServer>();
  server->hold("/hold");
  httplib::Client client(server->origin());
  auto held = std::async(std::launch::async, [&] { return client.Get("/hold"); });
  while (server->request_count() == 0) std::this_thread::yield();
  const auto started = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  held.get();
}

}  // namespace
}  // namespace ravik::test_support
