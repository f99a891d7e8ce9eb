// The site checks of `ravik seller-sprite doctor`: the SellerSprite origin
// in use, whether it answers, whether the profile is logged in there, and
// (when it is) whether the research pages still carry every element the
// collector relies on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/doctor_report.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {

struct SiteCheckArgs {
  bool browser_starts = false;  // the environment checks launched a browser
  bool profile_free = false;    // no other browser holds the profile
  // Searched for so that result rows and the trend drawer are checked too;
  // absent: those are not checked.
  std::optional<std::string> search_keyword = std::nullopt;
};

// `scraper`: a headless collector; null when it could not be built (the
// checks that need it are then not checked). Never throws for what it finds.
std::vector<CheckLine> check_site(const seller_sprite_legacy::scraping::SellerSpriteScraper* scraper,
                                  const SiteCheckArgs& args);

}  // namespace ravik::cli
