// TestServer: an HTTP server on 127.0.0.1 for the browser tests, serving
// pages declared UTF-8, JSON bodies and a few special routes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

namespace playwright::testing {

class TestServer {
 public:
  // Starts serving on a free port. Routes:
  //   /hold           answers only after release_held() or 30 s
  //   /redirect       302 to /page/plain
  //   /set-cookie     sets the persistent cookie "visit=1"
  //   /echo-cookie    a page showing the Cookie header in <p id="cookie">
  // plus whatever page() and json() add.
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Serves `body` (inside <html><head><meta charset="utf-8"></head><body>)
  // at `path` as text/html; charset=utf-8.
  void page(const std::string& path, const std::string& body);
  // Serves `body` at `path` as application/json.
  void json(const std::string& path, const std::string& body);
  // Lets every held request answer.
  void release_held();

  std::string url(const std::string& path) const;

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool released_ = false;
};

}  // namespace playwright::testing
