#include "ravik/shared/test_server.h"

#include <stdexcept>

namespace ravik::shared::testing {

TestServer::TestServer() {
  server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    ++requests_;
    Handler handler;
    {
      const std::lock_guard lock(mutex_);
      handler = handler_;
    }
    if (handler) {
      handler(request, response);
    } else {
      response.status = 404;
    }
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() only takes effect once the accept loop runs.
  while (!server_.is_running()) std::this_thread::yield();
}

TestServer::~TestServer() {
  server_.stop();
  thread_.join();
}

std::string TestServer::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

void TestServer::set_handler(Handler handler) {
  const std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

}  // namespace ravik::shared::testing
