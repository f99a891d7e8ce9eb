// The selector check: looks on the live site for every element and fixed
// text that the collector's search forms and trend details find their way
// by, and reports for each whether it matches and how many visible elements
// it finds. It tells a user that the site changed under the collector
// before a collection fails on it with a time-out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/export/scraper_export.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {

enum class SelectorStatus {
  found,        // at least one visible element matches
  missing,      // nothing visible matches (or the page would not open)
  not_checked,  // the element appears only after a step that could not be taken
};

// What the check found for one selector or text on one page.
struct SelectorFinding {
  std::string page{};       // "关键词挖掘" or "关键词反查"
  std::string element{};    // what the collector uses it for, e.g. "查询按钮"
  std::string selector{};   // the selector as the flows use it
  SelectorStatus status = SelectorStatus::not_checked;
  int visible_count = 0;    // visible matching elements
  std::string reason{};     // why missing or not checked; empty when found
};

struct SelectorCheckArgs {
  // Searched for on the keyword-mining page so that its result rows, trend
  // icons and trend drawer can be checked too; absent: no search, and those
  // are reported as not checked.
  std::optional<std::string> search_keyword = std::nullopt;
};

// Opens the keyword-mining and then the keyword-reverse page on `page` (the
// profile is expected to be logged in) and checks each selector the flows
// rely on. Elements that appear only after an action are reached by the
// collector's own harmless steps: a dropdown is opened and its default
// option (the options' defaults: marketplace "us", period "30d") chosen;
// with a search keyword, the search is sent and the first row's trend drawer
// opened and closed again. A step that fails becomes a finding (a page that
// does not open is one missing finding); only an interrupt of the browser
// calls (playwright::InterruptedError) is passed on.
RAVIK_SCRAPER_EXPORT asio::awaitable<std::vector<SelectorFinding>> check_page_selectors(
    const SellerSpriteScraper& scraper, playwright::Page page, SelectorCheckArgs args);

}  // namespace ravik::seller_sprite_legacy::scraping
