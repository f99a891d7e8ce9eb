#include "playwright/page.h"

#include "playwright/error.h"
#include "playwright/internal/base64.h"
#include "playwright/internal/file_output.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/internal/page_impl.h"
#include "playwright/internal/response_impl.h"
#include "playwright/internal/selector_text.h"

namespace playwright {

namespace {

using detail::timeout_or_default;
using nlohmann::json;

void check_event_name(std::string_view api_name, std::string_view event) {
  if (event != "response") {
    throw Error(std::string(api_name) + ": unsupported event \"" + std::string(event) + "\"; only \"response\" is offered");
  }
}

}  // namespace

Page::Page(std::shared_ptr<detail::PageImpl> impl) : impl_(std::move(impl)) {}

asio::awaitable<std::optional<Response>> Page::goto_(const std::string& url, GotoOptions options) {
  auto response = co_await impl_->main_frame()->navigate(url, std::string(options.wait_until.value_or("load")),
                                                         timeout_or_default(options.timeout));
  if (!response) co_return std::nullopt;
  co_return Response(std::move(response));
}

asio::awaitable<void> Page::wait_for_timeout(std::chrono::milliseconds duration) {
  json params = {{"waitTimeout", duration.count()}};
  co_await impl_->main_frame()->call("Page.wait_for_timeout", "waitForTimeout", std::move(params));
}

asio::awaitable<void> Page::wait_for_load_state(std::string state, TimeoutOptions options) {
  co_await impl_->main_frame()->wait_for_load_state(std::move(state), timeout_or_default(options.timeout));
}

std::string Page::url() const { return impl_->main_frame()->url(); }

Locator Page::locator(std::string_view selector) const { return Locator(impl_->main_frame(), std::string(selector)); }

Locator Page::get_by_text(std::string_view text) const {
  return Locator(impl_->main_frame(), "internal:text=" + detail::escape_for_text_selector(std::string(text), false));
}

void Page::on(std::string_view event, ResponseListener listener) {
  check_event_name("Page.on", event);
  impl_->add_response_listener(std::move(listener));
}

void Page::remove_listener(std::string_view event, const ResponseListener& listener) {
  check_event_name("Page.remove_listener", event);
  impl_->remove_response_listener(listener);
}

asio::awaitable<std::string> Page::content() {
  const json result = co_await impl_->main_frame()->call("Page.content", "content", json::object());
  co_return result.value("value", "");
}

asio::awaitable<std::string> Page::screenshot(ScreenshotOptions options) {
  json params = {{"type", "png"}, {"fullPage", options.full_page}};
  const json result =
      co_await impl_->call("Page.screenshot", "screenshot", std::move(params), timeout_or_default(options.timeout));
  std::string png = detail::base64_decode(result.value("binary", ""));
  if (options.path) detail::write_file("Page.screenshot", *options.path, png);
  co_return png;
}

ScopedResponseListener::ScopedResponseListener(Page page, ResponseListener listener)
    : page_(std::move(page)), listener_(std::move(listener)) {
  page_.on("response", listener_);
}

ScopedResponseListener::~ScopedResponseListener() { remove(); }

void ScopedResponseListener::remove() {
  // Only the name check throws, and the name is fixed.
  if (ResponseListener listener = std::exchange(listener_, nullptr)) page_.remove_listener("response", listener);
}

}  // namespace playwright
