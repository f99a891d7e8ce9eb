#include "playwright/internal/page_impl.h"

#include <algorithm>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "playwright/error.h"
#include "playwright/internal/browser_context_impl.h"
#include "playwright/internal/connection.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/internal/response_impl.h"

namespace playwright::detail {

void PageImpl::on_created(Connection& connection) {
  main_frame_ = connection.find_as<FrameImpl>(initializer().value("mainFrame", nlohmann::json()));
  context_ = std::dynamic_pointer_cast<BrowserContextImpl>(connection.find(parent_guid()));
  if (!main_frame_) throw Error("Page \"" + guid() + "\" names no known main frame");
  if (initializer().value("isClosed", false)) mark_closed();
}

void PageImpl::on_event(std::string_view method, const nlohmann::json& /*params*/) {
  if (method == "close" || method == "crash") mark_closed();
}

void PageImpl::on_dispose() { mark_closed(); }

void PageImpl::mark_closed() {
  if (closed_) return;
  closed_ = true;
  if (main_frame_) main_frame_->mark_closed();
  if (auto context = context_.lock()) context->forget_page(*this);
}

bool PageImpl::is_registered(const ResponseListener& listener) const {
  return std::find(response_listeners_.begin(), response_listeners_.end(), listener) != response_listeners_.end();
}

void PageImpl::add_response_listener(ResponseListener listener) {
  if (!listener) return;
  const bool first = response_listeners_.empty();
  response_listeners_.push_back(std::move(listener));
  if (first) set_response_subscription(true);
}

void PageImpl::remove_response_listener(const ResponseListener& listener) {
  auto it = std::find(response_listeners_.begin(), response_listeners_.end(), listener);
  if (it == response_listeners_.end()) return;
  response_listeners_.erase(it);
  if (response_listeners_.empty()) set_response_subscription(false);
}

void PageImpl::set_response_subscription(bool enabled) {
  if (auto live = weak_connection().lock()) {
    live->post(guid(), "updateSubscription", {{"event", "response"}, {"enabled", enabled}});
  }
}

void PageImpl::deliver_response(const std::shared_ptr<ResponseImpl>& response) {
  auto live = weak_connection().lock();
  if (!live) return;
  auto self = std::static_pointer_cast<PageImpl>(shared_from_this());
  for (const auto& listener : response_listeners_) {
    asio::co_spawn(live->executor(), run_listener(self, listener, Response(response)), asio::detached);
  }
}

asio::awaitable<void> PageImpl::run_listener(std::weak_ptr<PageImpl> page, ResponseListener listener,
                                             Response response) {
  auto self = page.lock();
  // A listener removed after this call was scheduled is not called any more.
  if (!self || !self->is_registered(listener)) co_return;
  self.reset();
  try {
    co_await (*listener)(std::move(response));
  } catch (...) {
    // A failing listener ends only its own call.
  }
}

}  // namespace playwright::detail
