// PageContext: one Chromium browser on the collector's persistent profile,
// opened for exactly one public operation and closed after it.
//
// enter() starts the Playwright driver, creates the profile directory
// (owner-only), turns off the browser's offers to translate and to save
// passwords in it, launches Chromium and answers the first open page (or a
// new one); exit() closes the browser and stops the driver. With the
// collector's trace_path set, the context is traced from its launch to its
// close. C++ has no asynchronous destructor:
// SellerSpriteScraper::_run_in_page_context pairs the two around a flow.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>

#include <asio/awaitable.hpp>

#include "playwright/playwright.h"
#include "ravik/export/scraper_export.h"

namespace ravik::seller_sprite_legacy::scraping {

class SellerSpriteScraper;

// Playwright's entry point, as _load_playwright answers it.
using PlaywrightEntry = playwright::PlaywrightStarter (*)();

// Another browser (another run of the collector, usually) has the profile
// directory open; Chromium's own report is nested.
class RAVIK_SCRAPER_EXPORT ProfileInUseError : public std::runtime_error {
 public:
  explicit ProfileInUseError(const std::filesystem::path& profile_dir);
};

// The launch values of `outer`'s browser: its profile directory (viewed, so
// `outer` must outlive the result), its headless setting, the "chromium"
// channel, a 1440 by 900 viewport and the locale "zh-CN".
RAVIK_SCRAPER_EXPORT playwright::LaunchPersistentContextOptions browser_launch_options(
    const SellerSpriteScraper& outer);

class RAVIK_SCRAPER_EXPORT PageContext {
 public:
  PageContext(const SellerSpriteScraper& outer, PlaywrightEntry entry);

  // Opens the browser and answers its page. On failure, whatever was already
  // started is released again and the failure passed on unchanged, except
  // that a profile held by another browser is a ProfileInUseError.
  asio::awaitable<playwright::Page> enter();

  // Closes the browser context, then stops the driver (also when closing
  // failed); a failure of either is passed on after both were tried.
  asio::awaitable<void> exit();

  const SellerSpriteScraper* outer;
  std::optional<playwright::Playwright> playwright;
  std::optional<playwright::BrowserContext> context;
  std::optional<playwright::Page> page;

 private:
  // The steps of enter() after the driver started, and of exit().
  asio::awaitable<playwright::Page> open_page();
  asio::awaitable<void> close_context();
  // Saves the trace at outer->trace_path, when one is recorded. A trace
  // that cannot be saved is dropped: it never replaces the operation's own
  // result or failure, and the caller sees that the file is missing.
  asio::awaitable<void> save_trace();
  asio::awaitable<void> stop_driver();

  PlaywrightEntry entry_;
};

}  // namespace ravik::seller_sprite_legacy::scraping
