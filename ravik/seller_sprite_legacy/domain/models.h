// What the host asks the SellerSprite collector to collect.
#pragma once

#include <string>

namespace ravik::seller_sprite_legacy::domain {

// The options of one collection run. The collector only reads them; an empty
// text means "not given".
struct SellerSpriteCollectOptions {
  std::string site = "us";            // marketplace code, e.g. "us", "jp", "uk"
  std::string period = "30d";         // period code
  std::string keyword{};              // keyword typed into the keyword-mining search box
  std::string asin{};                 // ASIN or product link typed into the keyword-reverse box
  int frequency_phrase_count = 1;     // phrase length of the frequency view: 1, 2 or a custom count
  int trend_limit = 0;                // result rows whose trend drawer is opened; 0 means none
  std::string trend_tabs = "all";     // "all" or comma-separated trend tab keys
  std::string url{};                  // page address for the page archive
};

}  // namespace ravik::seller_sprite_legacy::domain
