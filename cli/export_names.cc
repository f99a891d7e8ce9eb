#include "cli/export_names.h"

#include <algorithm>
#include <cctype>

namespace ravik::cli {

std::string replace_unsafe_characters(std::string_view text, std::string_view forbidden) {
  std::string cleaned(text);
  for (char& c : cleaned) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || forbidden.find(c) != std::string_view::npos) c = '_';
  }
  return cleaned;
}

std::string_view utf8_prefix(std::string_view text, std::size_t max_characters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Every byte but a continuation byte (10xxxxxx) starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80 && characters++ == max_characters) {
      return text.substr(0, i);
    }
  }
  return text;
}

bool NameRegistry::take(const std::string& name) {
  std::string key = name;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
  return taken_.insert(std::move(key)).second;
}

std::string NameRegistry::claim(std::string_view wanted) {
  if (wanted.empty()) wanted = "_";
  std::string name(utf8_prefix(wanted, max_characters_));
  for (std::size_t number = 2; !take(name); ++number) {
    const std::string suffix = "_" + std::to_string(number);
    const std::size_t stem_characters = max_characters_ > suffix.size() ? max_characters_ - suffix.size() : 0;
    name = std::string(utf8_prefix(wanted, stem_characters)) + suffix;
  }
  return name;
}

}  // namespace ravik::cli
