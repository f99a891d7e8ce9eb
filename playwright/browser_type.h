// BrowserType: launches a browser (here: Chromium).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>

#include "playwright/browser_context.h"
#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class BrowserTypeImpl;
}

struct ViewportSize {
  int width;
  int height;
};

// Holds its texts as views, as the records in locator.h do; they need only
// live until launch_persistent_context() is awaited.
struct LaunchPersistentContextOptions {
  std::string_view user_data_dir{};
  bool headless = true;
  std::optional<std::string_view> channel{};
  std::optional<ViewportSize> viewport{};
  std::optional<std::string_view> locale{};
};

// The system Chromium that launches use when Playwright's own browser build
// is absent: $RAVIK_CHROMIUM_PATH when set and not empty, else
// /usr/bin/chromium. Not checked for existence.
RAVIK_PLAYWRIGHT_EXPORT std::string system_chromium_path();

class RAVIK_PLAYWRIGHT_EXPORT BrowserType {
 public:
  explicit BrowserType(std::shared_ptr<detail::BrowserTypeImpl> impl);

  // Starts the browser on the profile in user_data_dir. When Playwright's own
  // browser build is absent, the system Chromium is used
  // ($RAVIK_CHROMIUM_PATH, else /usr/bin/chromium).
  asio::awaitable<BrowserContext> launch_persistent_context(LaunchPersistentContextOptions options);

 private:
  std::shared_ptr<detail::BrowserTypeImpl> impl_;
};

}  // namespace playwright
