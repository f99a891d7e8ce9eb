#include "ravik/shared/http_client.h"

#include <gtest/gtest.h>

#include <future>

#include "tests/support/loopback_server.h"

namespace ravik::shared {
namespace {

using namespace std::chrono_literals;

TEST(HttpClientTest, ReturnsStatusAndBody) {
  test_support::LoopbackServer server;
  server.set_handler([](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/moved") return response.set_redirect("/ok");
    response.status = request.path == "/ok" ? 200 : 503;
    response.set_content(R"({"info": {"version": "1.2.3"}})", "application/json");
  });
  const HttpResponse ok = http_get(server.origin() + "/moved", 5s);
  EXPECT_EQ(ok.status, 200);
  EXPECT_NO_THROW(ok.raise_for_status());
  EXPECT_EQ(ok.json()["info"]["version"], "1.2.3");
  const HttpResponse failed = http_get(server.origin() + "/down", 5s);
  EXPECT_EQ(failed.status, 503);
  EXPECT_THROW(failed.raise_for_status(), HttpError);
}

TEST(HttpClientTest, OversizedBodiesAndUnreachableHostsFail) {
  test_support::LoopbackServer server;
  server.set_handler([](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(MAX_BODY_BYTES + 1, 'x'), "text/plain");
  });
  EXPECT_THROW(http_get(server.origin() + "/big", 5s), HttpError);
  EXPECT_THROW(http_get("http://127.0.0.1:1/", 5s), HttpError);
  EXPECT_THROW(http_get("file:///etc/hostname", 5s), HttpError);
}

TEST(HttpClientTest, GivesUpAtTheTimeLimit) {
  test_support::LoopbackServer server;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  server.set_handler([released](const httplib::Request&, httplib::Response& response) {
    released.wait();
    response.set_content("late", "text/plain");
  });
  EXPECT_THROW(http_get(server.origin() + "/slow", 200ms), HttpError);
  release.set_value();
}

}  // namespace
}  // namespace ravik::shared
