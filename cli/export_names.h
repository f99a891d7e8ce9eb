// Names that exported tables take in the file system and in a workbook:
// cleaned of the characters the place refuses, kept short enough, and
// unique, so that two tables never land in one file or one sheet.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace ravik::cli {

// `text` with control characters (below U+0020, and U+007F) and every byte
// of `forbidden` (ASCII characters) replaced by '_'.
std::string replace_unsafe_characters(std::string_view text, std::string_view forbidden);

// Hands out names that differ from every name handed out before, ignoring
// ASCII case (as Windows file names and workbook sheet names do).
class NameRegistry {
 public:
  // `max_characters`: the longest name handed out, in UTF-8 characters.
  explicit NameRegistry(std::size_t max_characters) : max_characters_(max_characters) {}

  // `wanted` cut to the length limit; when that is taken, the first of
  // "<wanted>_2", "<wanted>_3", ... that is free, the stem cut so that the
  // number fits. An empty `wanted` counts as "_".
  std::string claim(std::string_view wanted);

 private:
  bool take(const std::string& name);

  std::size_t max_characters_;
  std::set<std::string> taken_;  // ASCII lower case
};

}  // namespace ravik::cli
