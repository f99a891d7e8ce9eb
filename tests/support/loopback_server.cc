#include "tests/support/loopback_server.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace ravik::test_support {

namespace {

constexpr auto kMaxHold = std::chrono::seconds(30);

}  // namespace

std::string html_document(const std::string& body) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>test</title></head><body>" + body +
         "</body></html>";
}

LoopbackServer::LoopbackServer() {
  server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    dispatch(request, response);
  });
  // Browsers open spare connections they may never use, and the server waits
  // on each before it can stop: one request per connection, short waits.
  server_.set_read_timeout(0, 200000);
  server_.set_keep_alive_max_count(1);
  server_.set_keep_alive_timeout(1);
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() only takes effect once the accept loop runs.
  while (!server_.is_running()) std::this_thread::yield();
}

LoopbackServer::~LoopbackServer() {
  release_held();
  server_.stop();
  thread_.join();
}

std::string LoopbackServer::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string LoopbackServer::url(const std::string& path) const { return origin() + path; }

void LoopbackServer::route(const std::string& path, Handler handler) {
  const std::lock_guard lock(mutex_);
  routes_[path] = std::move(handler);
}

void LoopbackServer::set_handler(Handler handler) {
  const std::lock_guard lock(mutex_);
  fallback_ = std::move(handler);
}

void LoopbackServer::page(const std::string& path, const std::string& body) {
  route(path, [document = html_document(body)](const httplib::Request&, httplib::Response& response) {
    response.set_content(document, "text/html; charset=utf-8");
  });
}

void LoopbackServer::json(const std::string& path, const std::string& body) {
  route(path, [body](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "application/json");
  });
}

void LoopbackServer::hold(const std::string& path) {
  route(path, [this](const httplib::Request&, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    released_cv_.wait_for(lock, kMaxHold, [this] { return released_; });
    response.set_content("released", "text/plain");
  });
}

void LoopbackServer::release_held() {
  {
    const std::lock_guard lock(mutex_);
    released_ = true;
  }
  released_cv_.notify_all();
}

void LoopbackServer::dispatch(const httplib::Request& request, httplib::Response& response) {
  ++requests_;
  Handler handler;
  {
    const std::lock_guard lock(mutex_);
    const auto found = routes_.find(request.path);
    handler = found != routes_.end() ? found->second : fallback_;
  }
  if (handler) {
    handler(request, response);
  } else {
    response.status = 404;
  }
}

}  // namespace ravik::test_support
