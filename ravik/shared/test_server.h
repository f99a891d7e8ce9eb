// A web server on 127.0.0.1 for tests: serves every GET with the current
// handler and counts the requests it has seen.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ravik::shared::testing {

class TestServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Binds to a free loopback port and starts serving; answers 404 until a
  // handler is set.
  TestServer();
  // Stops serving and waits for the server thread.
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string origin() const;
  void set_handler(Handler handler);
  int request_count() const { return requests_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::mutex mutex_;
  Handler handler_;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace ravik::shared::testing
