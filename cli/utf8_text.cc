#include "cli/utf8_text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace ravik::cli {
namespace {

bool starts_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

}  // namespace

std::size_t character_count(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), starts_character));
}

std::string_view utf8_prefix(std::string_view text, std::size_t max_characters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (starts_character(text[i]) && characters++ == max_characters) return text.substr(0, i);
  }
  return text;
}

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t at = 0; at < length;) {
    UChar32 code_point = 0;
    U8_NEXT(text.data(), at, length, code_point);
    const auto east_asian_width = u_getIntPropertyValue(code_point, UCHAR_EAST_ASIAN_WIDTH);
    width += code_point >= 0 && (east_asian_width == U_EA_WIDE || east_asian_width == U_EA_FULLWIDTH) ? 2 : 1;
  }
  return width;
}

}  // namespace ravik::cli
