// Measuring and cutting UTF-8 text for the command's output: names that may
// hold only so many characters, and columns lined up on a terminal.
#pragma once

#include <cstddef>
#include <string_view>

namespace ravik::cli {

// The code points of `text`: every byte that does not continue a sequence.
std::size_t character_count(std::string_view text);

// The first `max_characters` characters of `text` (all of it when shorter);
// never cuts a character in two.
std::string_view utf8_prefix(std::string_view text, std::size_t max_characters);

// The columns a terminal gives `text`: two for each East Asian wide or
// full-width character, one for any other (malformed bytes included).
std::size_t display_width(std::string_view text);

}  // namespace ravik::cli
