// Locator: a selector on a page, resolved anew at every action.
//
// Composed on the client side into Playwright selector text, as the official
// bindings do; nothing is sent to the driver until an action is awaited.
// Time-outs are std::chrono::milliseconds, sent to the driver as a number of
// milliseconds; an absent time-out means the driver's default (30 s), a zero
// one no limit.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class FrameImpl;
}

struct TimeoutOptions {
  std::optional<std::chrono::milliseconds> timeout{};
};

// The option records below that hold text hold it as views, so that they
// stay trivially destructible: g++ 12 destroys a braced temporary twice when
// it appears inside a co_await expression (`co_await l.filter({.has_text =
// t}).click()`), which a record owning a std::string does not survive. The
// viewed text need only live until the call is awaited.

struct FilterOptions {
  std::optional<std::string_view> has_text{};
};

struct WaitForOptions {
  std::string_view state = "visible";  // "attached", "detached", "visible", "hidden"
  std::optional<std::chrono::milliseconds> timeout{};
};

// Owns its path: bind it to a named variable rather than writing it braced
// inside a co_await expression (see above).
struct ScreenshotOptions {
  std::optional<std::filesystem::path> path{};  // also written there when given
  bool full_page = false;                       // pages only
  std::optional<std::chrono::milliseconds> timeout{};
};

// An element's box in CSS pixels, relative to the main frame's viewport.
struct BoundingBox {
  double x;
  double y;
  double width;
  double height;
};

class RAVIK_PLAYWRIGHT_EXPORT Locator {
 public:
  Locator(std::shared_ptr<detail::FrameImpl> frame, std::string selector);

  [[nodiscard]] const std::string& selector() const { return selector_; }

  // New locators; this one is left as it is.
  [[nodiscard]] Locator first() const;
  [[nodiscard]] Locator nth(int index) const;
  [[nodiscard]] Locator filter(const FilterOptions& options) const;
  [[nodiscard]] Locator locator(std::string_view selector) const;

  asio::awaitable<int> count() const;
  asio::awaitable<void> click(TimeoutOptions options = {}) const;
  asio::awaitable<void> fill(const std::string& value, TimeoutOptions options = {}) const;
  // False when nothing matches; never waits beyond the check itself.
  asio::awaitable<bool> is_visible(TimeoutOptions options = {}) const;
  // The element's box; nothing when it is not visible.
  asio::awaitable<std::optional<BoundingBox>> bounding_box(TimeoutOptions options = {}) const;
  asio::awaitable<void> wait_for(WaitForOptions options = {}) const;
  asio::awaitable<std::string> inner_text(TimeoutOptions options = {}) const;
  asio::awaitable<std::string> inner_html(TimeoutOptions options = {}) const;
  asio::awaitable<void> scroll_into_view_if_needed(TimeoutOptions options = {}) const;
  // PNG bytes of the element.
  asio::awaitable<std::string> screenshot(ScreenshotOptions options = {}) const;

 private:
  std::shared_ptr<detail::FrameImpl> frame_;
  std::string selector_;
};

}  // namespace playwright
