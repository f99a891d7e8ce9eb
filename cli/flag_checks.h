// Checks of the browser commands' flag values, made while the command line
// is parsed, so that input no search could use is refused before a browser
// starts. Each is a CLI11 validator: it answers the empty text for a good
// value, else a message that says what the flag accepts.
#pragma once

#include <cstdint>

#include <CLI/CLI.hpp>

namespace ravik::cli {

// The longest keyword, in Unicode characters, that the command passes to
// the site's search box.
inline constexpr std::size_t kMaxKeywordCharacters = 200;

// Refuses an empty text and one of white space only.
CLI::Validator non_blank_text();

// A search keyword: not blank and at most kMaxKeywordCharacters characters.
CLI::Validator keyword_text();

// A whole decimal number from `min` to `max`; anything else (no number,
// a fraction, a number outside) is refused with the range in plain words.
CLI::Validator integer_in_range(std::int64_t min, std::int64_t max);

// "all", or a comma-separated list of the collector's trend tab keys
// (blanks around each key allowed); an unknown or empty key is refused
// with the list of known ones.
CLI::Validator trend_tab_list();

}  // namespace ravik::cli
