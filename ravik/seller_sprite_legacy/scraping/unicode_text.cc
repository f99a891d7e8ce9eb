#include "ravik/seller_sprite_legacy/scraping/internal/unicode_text.h"

#include <cstdint>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace ravik::seller_sprite_legacy::scraping::unicode_text {
namespace {

constexpr UChar32 kReplacement = 0xFFFD;

// Decodes the code point at byte `pos` of `text` and moves `pos` past it.
UChar32 next_code_point(std::string_view text, std::size_t& pos) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  auto offset = static_cast<std::int32_t>(pos);
  UChar32 c;
  U8_NEXT(bytes, offset, length, c);
  pos = static_cast<std::size_t>(offset);
  return c < 0 ? kReplacement : c;
}

// Decodes the code point that ends at byte `pos` of `text` and moves `pos`
// back to its start.
UChar32 previous_code_point(std::string_view text, std::size_t& pos) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  auto offset = static_cast<std::int32_t>(pos);
  UChar32 c;
  U8_PREV(bytes, 0, offset, c);
  pos = static_cast<std::size_t>(offset);
  return c < 0 ? kReplacement : c;
}

// A letter (Lu, Ll, Lt, Lm, Lo) or a character with a numeric value.
bool is_letter_or_number(UChar32 c) {
  constexpr std::uint32_t letters = U_GC_LU_MASK | U_GC_LL_MASK | U_GC_LT_MASK | U_GC_LM_MASK | U_GC_LO_MASK;
  return (U_GET_GC_MASK(c) & letters) != 0 || u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// A mandatory line break (BK, CR, LF, NL) or a paragraph separator in the
// bidirectional sense (which adds 0x1C..0x1E).
bool is_line_boundary(UChar32 c) {
  switch (u_getIntPropertyValue(c, UCHAR_LINE_BREAK)) {
    case U_LB_MANDATORY_BREAK:
    case U_LB_CARRIAGE_RETURN:
    case U_LB_LINE_FEED:
    case U_LB_NEXT_LINE:
      return true;
    default:
      return u_charDirection(c) == U_BLOCK_SEPARATOR;
  }
}

// The full lower-case mapping of one character, as UTF-8.
std::string lower_case(UChar32 c) {
  std::string mapped;
  icu::UnicodeString(c).toLower(icu::Locale::getRoot()).toUTF8String(mapped);
  return mapped;
}

// The first `max_chars` code points of the UTF-8 text `text`.
std::string first_code_points(const std::string& text, std::size_t max_chars) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < max_chars && pos < text.size(); ++count) next_code_point(text, pos);
  return text.substr(0, pos);
}

}  // namespace

std::string slug(std::string_view value, std::size_t max_chars) {
  std::string joined;
  bool separator_pending = false;
  for (std::size_t pos = 0; pos < value.size();) {
    const UChar32 c = next_code_point(value, pos);
    if (!is_letter_or_number(c)) {
      separator_pending = true;
      continue;
    }
    if (separator_pending && !joined.empty()) joined += '_';
    separator_pending = false;
    joined += lower_case(c);
  }
  if (joined.empty()) joined = "keyword";
  return first_code_points(joined, max_chars);
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t line_start = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t boundary_start = pos;
    const UChar32 c = next_code_point(text, pos);
    if (!is_line_boundary(c)) continue;
    lines.emplace_back(text.substr(line_start, boundary_start - line_start));
    if (c == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    line_start = pos;
  }
  if (line_start < text.size()) lines.emplace_back(text.substr(line_start));
  return lines;
}

std::string trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!u_isUWhiteSpace(next_code_point(text, next))) break;
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t previous = end;
    if (!u_isUWhiteSpace(previous_code_point(text, previous))) break;
    end = previous;
  }
  return std::string(text.substr(begin, end - begin));
}

bool is_all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (std::size_t pos = 0; pos < text.size();) {
    const auto type = u_getIntPropertyValue(next_code_point(text, pos), UCHAR_NUMERIC_TYPE);
    if (type != U_NT_DECIMAL && type != U_NT_DIGIT) return false;
  }
  return true;
}

}  // namespace ravik::seller_sprite_legacy::scraping::unicode_text
