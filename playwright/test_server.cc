#include "playwright/test_server.h"

#include <stdexcept>

namespace playwright::testing {

namespace {

constexpr auto kMaxHold = std::chrono::seconds(30);

std::string html_document(const std::string& body) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>test</title></head><body>" + body +
         "</body></html>";
}

}  // namespace

TestServer::TestServer() {
  page("/page/plain", "<p>plain</p>");
  server_.Get("/hold", [this](const httplib::Request&, httplib::Response& res) {
    std::unique_lock lock(mutex_);
    released_cv_.wait_for(lock, kMaxHold, [this] { return released_; });
    res.set_content("released", "text/plain");
  });
  server_.Get("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page/plain"); });
  server_.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "visit=1; Max-Age=86400; Path=/");
    res.set_content(html_document("<p>cookie set</p>"), "text/html; charset=utf-8");
  });
  server_.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(html_document("<p id=\"cookie\">" + req.get_header_value("Cookie") + "</p>"),
                    "text/html; charset=utf-8");
  });
  // Chromium opens spare connections it may never use, and the server waits
  // on each before it can stop: one request per connection, short waits.
  server_.set_read_timeout(0, 200000);
  server_.set_keep_alive_max_count(1);
  server_.set_keep_alive_timeout(1);
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test server: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

TestServer::~TestServer() {
  release_held();
  server_.stop();
  thread_.join();
}

void TestServer::page(const std::string& path, const std::string& body) {
  const std::string document = html_document(body);
  server_.Get(path, [document](const httplib::Request&, httplib::Response& res) {
    res.set_content(document, "text/html; charset=utf-8");
  });
}

void TestServer::json(const std::string& path, const std::string& body) {
  server_.Get(path, [body](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, "application/json");
  });
}

void TestServer::release_held() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  released_cv_.notify_all();
}

std::string TestServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace playwright::testing
