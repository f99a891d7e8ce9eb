#include "cli/export_names.h"

#include <algorithm>
#include <cctype>

#include "cli/utf8_text.h"

namespace ravik::cli {

std::string replace_unsafe_characters(std::string_view text, std::string_view forbidden) {
  std::string cleaned(text);
  for (char& c : cleaned) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || forbidden.find(c) != std::string_view::npos) c = '_';
  }
  return cleaned;
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
