// Page: one browser tab, driven through Playwright.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "playwright/locator.h"
#include "playwright/response.h"
#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class PageImpl;
}

// A "response" listener: a coroutine spawned on the page's event loop for
// every response. Registered and removed by identity of the shared pointer.
using ResponseHandler = std::function<asio::awaitable<void>(Response)>;
using ResponseListener = std::shared_ptr<const ResponseHandler>;

[[nodiscard]] inline ResponseListener make_response_listener(ResponseHandler handler) {
  return std::make_shared<const ResponseHandler>(std::move(handler));
}

// Holds its text as a view, as the records in locator.h do.
struct GotoOptions {
  std::optional<std::string_view> wait_until{};  // "load", "domcontentloaded", "networkidle", "commit"
  std::optional<std::chrono::milliseconds> timeout{};
};

class RAVIK_PLAYWRIGHT_EXPORT Page {
 public:
  explicit Page(std::shared_ptr<detail::PageImpl> impl);

  // Navigates the main frame; `goto` is spelled `goto_` because the word is
  // reserved in C++. Answers the main resource's response, if any.
  asio::awaitable<std::optional<Response>> goto_(const std::string& url, GotoOptions options = {});
  // Pauses for `duration` while the event loop keeps serving the browser.
  asio::awaitable<void> wait_for_timeout(std::chrono::milliseconds duration);
  asio::awaitable<void> wait_for_load_state(std::string state = "load", TimeoutOptions options = {});
  // The main frame's current address, kept current from navigation events.
  [[nodiscard]] std::string url() const;

  [[nodiscard]] Locator locator(std::string_view selector) const;
  [[nodiscard]] Locator get_by_text(std::string_view text) const;

  // Only the "response" event is offered; any other name throws Error.
  void on(std::string_view event, ResponseListener listener);
  void remove_listener(std::string_view event, const ResponseListener& listener);

  asio::awaitable<std::string> content();
  // PNG bytes of the viewport, or of the whole page with full_page.
  asio::awaitable<std::string> screenshot(ScreenshotOptions options = {});

  bool operator==(const Page& other) const { return impl_ == other.impl_; }

 private:
  std::shared_ptr<detail::PageImpl> impl_;
};

// Keeps a "response" listener registered on a page for exactly its own
// lifetime: registered by the constructor, removed by remove() or at the
// latest by the destructor, so also when the guarded steps throw or the
// coroutine holding it is destroyed while suspended.
class RAVIK_PLAYWRIGHT_EXPORT ScopedResponseListener {
 public:
  ScopedResponseListener(Page page, ResponseListener listener);
  ~ScopedResponseListener();
  ScopedResponseListener(const ScopedResponseListener&) = delete;
  ScopedResponseListener& operator=(const ScopedResponseListener&) = delete;

  // Removes the listener now; later calls do nothing.
  void remove();

 private:
  Page page_;
  ResponseListener listener_;
};

}  // namespace playwright
