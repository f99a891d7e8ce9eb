// Unicode text routines of the trend details flow, built on ICU's character
// properties: slugs for section names and the lines of a result row's text.
//
// All texts are UTF-8; malformed bytes are treated as U+FFFD.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ravik/export/scraper_export.h"

namespace ravik::seller_sprite_legacy::scraping::unicode_text {

// `value` with every letter or number character lower-cased and every run of
// other characters collapsed to one "_" (none at either end); "keyword" when
// nothing is left; at most `max_chars` code points.
RAVIK_SCRAPER_EXPORT std::string slug(std::string_view value, std::size_t max_chars);

// `text` cut at every line boundary: LF, CR, CR LF (one boundary), VT, FF,
// 0x1C, 0x1D, 0x1E, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR. A boundary at
// the very end adds no empty last line.
RAVIK_SCRAPER_EXPORT std::vector<std::string> split_lines(std::string_view text);

// `text` without leading and trailing Unicode white space.
RAVIK_SCRAPER_EXPORT std::string trim(std::string_view text);

// True when `text` is non-empty and every character is a decimal or digit
// character (numeric type Decimal or Digit).
RAVIK_SCRAPER_EXPORT bool is_all_digits(std::string_view text);

}  // namespace ravik::seller_sprite_legacy::scraping::unicode_text
