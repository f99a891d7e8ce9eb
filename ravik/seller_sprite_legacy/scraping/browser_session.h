// BrowserSession: one browser of a collector kept open across many flows,
// for a caller that runs searches one after another (a batch): the driver
// and Chromium start once, and every flow runs on the same page, paying its
// own steps but not a browser start.
//
// open() and close() pair like PageContext's enter() and exit(); C++ has no
// asynchronous destructor, so the owner closes the session on every way out.
// A closed session may be opened again, e.g. after its browser died.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/export/scraper_export.h"
#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/page_context.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_SCRAPER_EXPORT BrowserSession {
 public:
  // Binds the session to `scraper` (which must outlive it); starts nothing.
  explicit BrowserSession(const SellerSpriteScraper& scraper);

  // Starts the browser on the collector's profile. Throws what
  // SellerSpriteScraper::_browser_page and PageContext::enter throw, with
  // nothing left running; std::logic_error when the session is open.
  asio::awaitable<void> open();

  bool is_open() const { return page_.has_value(); }

  // The collector whose flows the session runs.
  const SellerSpriteScraper& scraper() const { return scraper_; }

  // The open page. Throws std::logic_error when the session is closed.
  playwright::Page page() const;

  // Runs `flow` on the open page and answers its result; its failure is
  // passed on unchanged. With the collector's failure_archive on and a
  // `run_dir`, a failed flow's page is first kept under run_dir/failure.
  asio::awaitable<Json> run(std::function<asio::awaitable<Json>(playwright::Page)> flow,
                            std::optional<std::filesystem::path> run_dir = std::nullopt);

  // True when the browser still answers on the page (false after the
  // browser or its driver went away); never throws.
  asio::awaitable<bool> answers();

  // Closes the browser and stops the driver; nothing to do when closed. The
  // session is closed afterwards even when closing failed; that failure is
  // passed on.
  asio::awaitable<void> close();

 private:
  const SellerSpriteScraper& scraper_;
  std::optional<PageContext> context_;
  std::optional<playwright::Page> page_;
};

}  // namespace ravik::seller_sprite_legacy::scraping
