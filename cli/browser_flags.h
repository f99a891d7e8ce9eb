// The flags that the browser subcommands share (window, time-out, run
// directory, search options, account), read into one record.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "ravik/seller_sprite_legacy/domain/models.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {

// Everything one browser subcommand reads from its flags.
struct BrowserFlags {
  bool headless = false;
  int timeout_ms = seller_sprite_legacy::scraping::SellerSpriteScraper::DEFAULT_TIMEOUT_MS;
  std::string run_dir;  // empty: a fresh directory under ./runs
  bool ask_account = false;
  bool trace = false;  // a Playwright trace in run_dir/trace.zip
  bool verbose = false;  // each step of the operation as a line on standard error
  seller_sprite_legacy::domain::SellerSpriteCollectOptions options;
};

// Which groups of flags a subcommand takes.
enum FlagGroup : unsigned {
  kRunDir = 1u << 0,
  kKeyword = 1u << 1,
  kAsin = 1u << 2,
  kMarket = 1u << 3,  // --site, --period
  kPhraseCount = 1u << 4,
  kTrends = 1u << 5,  // --trend-limit, --trend-tabs
  kUrl = 1u << 6,
  kAccount = 1u << 7,
};

// Adds --headless, --timeout-ms and --verbose, and the flags of `groups` (FlagGroup
// bits), to `command`, each read into `flags`.
void add_flags(CLI::App& command, BrowserFlags& flags, unsigned groups);

}  // namespace ravik::cli
