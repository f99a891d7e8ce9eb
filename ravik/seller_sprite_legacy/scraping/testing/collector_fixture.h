// Test support for the collector's browser tests: one stand-in SellerSprite
// site per test program, the collector's origin and configuration directory
// pointed at it (before the first collector is built), a fresh run directory
// per test, and checks that no browser or driver process is left behind.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"
#include "ravik/seller_sprite_legacy/scraping/testing/scripted_console.h"
#include "standin/site.h"

namespace ravik::seller_sprite_legacy::scraping::testing {

// The program's stand-in site, started on first use; RAVIK_SELLERSPRITE_ORIGIN
// and RAVIK_CONFIG_DIR (a temporary directory removed at exit) are set then.
standin::Site& site();

// The demo account that the stand-in accepts, as the host passes it.
Json demo_account();

// A headless collector on the stand-in site that prompts through `console`;
// without one, through a console whose input has ended, so that a prompt
// fails the flow instead of waiting. `progress` hears its steps.
SellerSpriteScraper headless_scraper(std::shared_ptr<Console> console = nullptr, ProgressObserver progress = nullptr);

// A collector with a browser window (headless false) on the stand-in site,
// with `console` as for headless_scraper. Use it inside a WindowlessBrowsers
// scope: this machine has no display.
SellerSpriteScraper windowed_scraper(std::shared_ptr<Console> console = nullptr);

// While alive, browsers started by this program that ask for a window get
// one drawn nowhere (Chromium runs headless underneath), so that tests of a
// collector with a window run without a display.
class WindowlessBrowsers {
 public:
  WindowlessBrowsers();
  ~WindowlessBrowsers();
  WindowlessBrowsers(const WindowlessBrowsers&) = delete;
  WindowlessBrowsers& operator=(const WindowlessBrowsers&) = delete;

 private:
  std::optional<std::string> saved_chromium_path_;
};

// Removes the collector's browser profile, so the next browser starts logged out.
void forget_profile();

// Logs the collector's profile in through the stand-in's login form.
void log_profile_in();

using PageFlow = std::function<asio::awaitable<Json>(const SellerSpriteScraper&, playwright::Page)>;

// Runs `flow` on the page of a fresh page context of `scraper` (default: a
// headless collector), on a private event loop, and returns its result.
Json run_on_page(const PageFlow& flow);
Json run_on_page(const SellerSpriteScraper& scraper, const PageFlow& flow);

// Processes of this program's browsers running now: children of this
// process, and anything whose command line names the temporary
// configuration directory.
int browser_process_count();

// The same processes after giving each up to ten seconds to exit; a child
// that exited but was not reaped counts as left over.
int leftover_browser_processes();

// The test fixture: a fresh run directory, default switches, no requests on
// record; fails the test when a browser process outlives it.
class CollectorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path run_dir;
};

}  // namespace ravik::seller_sprite_legacy::scraping::testing
