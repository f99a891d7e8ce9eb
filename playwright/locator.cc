#include "playwright/locator.h"

#include "playwright/internal/base64.h"
#include "playwright/internal/file_output.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/internal/selector_text.h"

namespace playwright {

namespace {

using detail::timeout_or_default;
using nlohmann::json;

// {"selector": ..., "strict": true}: the locator must match at most one element.
json strict_params(const std::string& selector) { return json{{"selector", selector}, {"strict", true}}; }

}  // namespace

Locator::Locator(std::shared_ptr<detail::FrameImpl> frame, std::string selector)
    : frame_(std::move(frame)), selector_(std::move(selector)) {}

Locator Locator::first() const { return Locator(frame_, detail::chain_selector(selector_, "nth=0")); }

Locator Locator::nth(int index) const {
  return Locator(frame_, detail::chain_selector(selector_, "nth=" + std::to_string(index)));
}

Locator Locator::filter(const FilterOptions& options) const {
  if (!options.has_text) return *this;
  return Locator(frame_, detail::chain_selector(selector_, "internal:has-text=" +
                                                               detail::escape_for_text_selector(std::string(*options.has_text), false)));
}

Locator Locator::locator(std::string_view selector) const {
  return Locator(frame_, detail::chain_selector(selector_, std::string(selector)));
}

asio::awaitable<int> Locator::count() const {
  json params = {{"selector", selector_}};
  const json result = co_await frame_->call("Locator.count", "queryCount", std::move(params));
  co_return result.value("value", 0);
}

asio::awaitable<void> Locator::click(TimeoutOptions options) const {
  co_await frame_->call("Locator.click", "click", strict_params(selector_), timeout_or_default(options.timeout));
}

asio::awaitable<void> Locator::fill(const std::string& value, TimeoutOptions options) const {
  json params = strict_params(selector_);
  params["value"] = value;
  co_await frame_->call("Locator.fill", "fill", std::move(params), timeout_or_default(options.timeout));
}

asio::awaitable<bool> Locator::is_visible(TimeoutOptions /*options: the check never waits*/) const {
  const json result = co_await frame_->call("Locator.is_visible", "isVisible", strict_params(selector_));
  co_return result.value("value", false);
}

asio::awaitable<std::optional<BoundingBox>> Locator::bounding_box(TimeoutOptions options) const {
  const json result = co_await frame_->call_on_element("Locator.bounding_box", selector_, "boundingBox",
                                                       json::object(), timeout_or_default(options.timeout));
  const json box = result.value("value", json());
  if (!box.is_object()) co_return std::nullopt;
  co_return BoundingBox{.x = box.value("x", 0.0),
                        .y = box.value("y", 0.0),
                        .width = box.value("width", 0.0),
                        .height = box.value("height", 0.0)};
}

asio::awaitable<void> Locator::wait_for(WaitForOptions options) const {
  json params = strict_params(selector_);
  params["state"] = std::string(options.state);
  params["omitReturnValue"] = true;
  co_await frame_->call("Locator.wait_for", "waitForSelector", std::move(params), timeout_or_default(options.timeout));
}

asio::awaitable<std::string> Locator::inner_text(TimeoutOptions options) const {
  const json result = co_await frame_->call("Locator.inner_text", "innerText", strict_params(selector_),
                                            timeout_or_default(options.timeout));
  co_return result.value("value", "");
}

asio::awaitable<std::string> Locator::inner_html(TimeoutOptions options) const {
  const json result = co_await frame_->call("Locator.inner_html", "innerHTML", strict_params(selector_),
                                            timeout_or_default(options.timeout));
  co_return result.value("value", "");
}

asio::awaitable<void> Locator::scroll_into_view_if_needed(TimeoutOptions options) const {
  co_await frame_->call_on_element("Locator.scroll_into_view_if_needed", selector_, "scrollIntoViewIfNeeded",
                                   json::object(), timeout_or_default(options.timeout));
}

asio::awaitable<std::string> Locator::screenshot(ScreenshotOptions options) const {
  json params = {{"type", "png"}};
  const json result = co_await frame_->call_on_element("Locator.screenshot", selector_, "screenshot", std::move(params),
                                                       timeout_or_default(options.timeout));
  std::string png = detail::base64_decode(result.value("binary", ""));
  if (options.path) detail::write_file("Locator.screenshot", *options.path, png);
  co_return png;
}

}  // namespace playwright
