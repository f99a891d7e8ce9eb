// Page: one browser tab, driven through Playwright.
#pragma once

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

inline ResponseListener make_response_listener(ResponseHandler handler) {
  return std::make_shared<const ResponseHandler>(std::move(handler));
}

// Holds its text as a view, as the records in locator.h do.
struct GotoOptions {
  std::optional<std::string_view> wait_until{};  // "load", "domcontentloaded", "networkidle", "commit"
  std::optional<double> timeout{};                 // milliseconds
};

class RAVIK_PLAYWRIGHT_EXPORT Page {
 public:
  explicit Page(std::shared_ptr<detail::PageImpl> impl);

  // Navigates the main frame; `goto` is spelled `goto_` because the word is
  // reserved in C++. Answers the main resource's response, if any.
  asio::awaitable<std::optional<Response>> goto_(const std::string& url, GotoOptions options = {});
  // Pauses `milliseconds` while the event loop keeps serving the browser.
  asio::awaitable<void> wait_for_timeout(double milliseconds);
  asio::awaitable<void> wait_for_load_state(std::string state = "load", TimeoutOptions options = {});
  // The main frame's current address, kept current from navigation events.
  std::string url() const;

  Locator locator(const std::string& selector) const;
  Locator get_by_text(const std::string& text) const;

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

}  // namespace playwright
