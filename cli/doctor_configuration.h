// The configuration checks of `ravik seller-sprite doctor`: CONFIG_DIR, the
// collector's browser profile directory (present, owner-only, not held by
// another browser) and the version notice's cache.
#pragma once

#include <vector>

#include "cli/doctor_report.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::cli {

struct ConfigurationReport {
  std::vector<CheckLine> lines;
  bool profile_free = false;  // no running browser holds the profile directory
};

// `scraper`: the collector whose profile is checked; null when it could not
// be built because CONFIG_DIR is unknown (that line then says why). Never
// throws for what it finds.
ConfigurationReport check_configuration(const seller_sprite_legacy::scraping::SellerSpriteScraper* scraper);

}  // namespace ravik::cli
