// The browser profile's preferences that the collector sets before every
// launch: no offer to translate the site's pages (an accepted "always
// translate" would turn every Chinese text the flows look for into English)
// and no offer to save or fill in passwords (the account typed by the
// automatic login must not end up stored in the profile).
#pragma once

#include <filesystem>

#include "ravik/export/scraper_export.h"
#include "ravik/json.h"

namespace ravik::seller_sprite_legacy::scraping {

// The preferences set, in the nested form of Chromium's "Preferences" file.
RAVIK_SCRAPER_EXPORT const Json& BROWSER_OFFERS_OFF();

// Merges BROWSER_OFFERS_OFF() into profile_dir/Default/Preferences, keeping
// every other preference; creates the file (and its directory) when missing.
// A file that is not a JSON object is moved aside to "Preferences.bad", as
// Chromium itself does with a file it cannot read. Throws
// std::filesystem::filesystem_error when the file cannot be read or written.
RAVIK_SCRAPER_EXPORT void turn_off_browser_offers(const std::filesystem::path& profile_dir);

}  // namespace ravik::seller_sprite_legacy::scraping
