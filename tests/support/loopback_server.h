// LoopbackServer: the HTTP server on 127.0.0.1 that test programs talk to.
// Every GET goes through one dispatcher, so routes and the fallback handler
// may be changed while the server runs; it counts the requests it has seen.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace ravik::test_support {

class LoopbackServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Binds to a free loopback port and returns once the server accepts
  // connections; answers 404 to every path until a route or handler is set.
  LoopbackServer();
  // Lets held requests answer, stops serving and waits for the server thread.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string origin() const;
  // origin() followed by `path`.
  std::string url(const std::string& path) const;

  // Answers GET `path` (exactly) with `handler`, replacing an earlier route.
  void route(const std::string& path, Handler handler);
  // Answers every GET that has no route of its own.
  void set_handler(Handler handler);
  // Serves `body` (inside <html><head><meta charset="utf-8"></head><body>)
  // at `path` as text/html; charset=utf-8.
  void page(const std::string& path, const std::string& body);
  // Serves `body` at `path` as application/json.
  void json(const std::string& path, const std::string& body);
  // Answers GET `path` only after release_held(), or after 30 s.
  void hold(const std::string& path);
  // Lets every held request answer, now and later.
  void release_held();

  // Requests seen so far, on every path.
  int request_count() const { return requests_; }

 private:
  void dispatch(const httplib::Request& request, httplib::Response& response);

  httplib::Server server_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Handler> routes_;
  Handler fallback_;
  std::condition_variable released_cv_;
  bool released_ = false;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// The HTML document that LoopbackServer::page serves for `body`.
std::string html_document(const std::string& body);

}  // namespace ravik::test_support
