// Site: owns the HTTP server of one stand-in site and its serving thread.
#include "standin/site.h"

#include <thread>

#include <httplib.h>

#include "standin/internal/routes.h"
#include "standin/internal/site_state.h"

namespace standin {
namespace {

constexpr std::size_t kWorkerThreads = 64;
constexpr time_t kKeepAliveSeconds = 1;

}  // namespace

struct Site::Impl {
  explicit Impl(Switches switches) : state(std::move(switches)) {}

  SiteState state;
  std::unique_ptr<httplib::Server> server;
  std::thread serving;
  std::string origin;
  mutable std::mutex origin_mutex;
};

Site::Site(Switches switches) : impl_(std::make_unique<Impl>(std::move(switches))) {}

Site::~Site() { stop(); }

std::string Site::start(std::uint16_t port) {
  if (impl_->server) throw SiteError("站点已在运行：" + origin());
  auto server = std::make_unique<httplib::Server>();
  // The library's default socket options include SO_REUSEPORT, which would let
  // a second site share a port that is already taken; only reuse TIME_WAIT ports.
  server->set_socket_options([](socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  // Idle keep-alive connections hold a worker; a short timeout keeps stop() quick.
  server->set_keep_alive_timeout(kKeepAliveSeconds);
  add_page_routes(*server, impl_->state);
  add_login_routes(*server, impl_->state);
  add_api_routes(*server, impl_->state);
  server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) response.set_content("页面不存在", "text/plain; charset=utf-8");
  });

  const int bound = port == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) throw SiteError("无法监听 127.0.0.1:" + std::to_string(port));
  impl_->state.reset_stop();
  impl_->serving = std::thread([raw = server.get()] { raw->listen_after_bind(); });
  // stop() only takes effect once the server runs; wait for that here.
  while (!server->is_running()) std::this_thread::yield();
  impl_->server = std::move(server);
  std::lock_guard lock(impl_->origin_mutex);
  impl_->origin = "http://127.0.0.1:" + std::to_string(bound);
  return impl_->origin;
}

void Site::stop() {
  if (!impl_->server) return;
  impl_->state.signal_stop();
  impl_->server->stop();
  impl_->serving.join();
  impl_->server.reset();
  std::lock_guard lock(impl_->origin_mutex);
  impl_->origin.clear();
}

std::string Site::origin() const {
  std::lock_guard lock(impl_->origin_mutex);
  return impl_->origin;
}

Switches Site::switches() const { return impl_->state.switches(); }

void Site::set_switches(Switches switches) { impl_->state.set_switches(std::move(switches)); }

void Site::update_switches(const std::function<void(Switches&)>& change) { impl_->state.update_switches(change); }

std::vector<RecordedRequest> Site::requests() const { return impl_->state.requests(); }

std::vector<RecordedRequest> Site::requests_to(std::string_view path) const {
  std::vector<RecordedRequest> matching;
  for (auto& request : impl_->state.requests()) {
    if (request.path == path) matching.push_back(std::move(request));
  }
  return matching;
}

void Site::clear_requests() { impl_->state.clear_requests(); }

}  // namespace standin
