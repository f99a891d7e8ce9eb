# Writes a C++ source that holds the files of the pages directory as byte
# arrays, so the stand-in site needs no source tree at run time.
#
#   cmake -DPAGES_DIR=<dir> -DOUTPUT=<file.cc> -DFILES="a.html;b.css" -P embed_pages.cmake

set(entries "")
set(arrays "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ "${PAGES_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "constexpr unsigned char kFile${index}[] = {${bytes}0x00};\n")
  string(APPEND entries "    {\"${name}\", std::string_view(reinterpret_cast<const char*>(kFile${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp" "// Generated from standin/pages by embed_pages.cmake; do not edit.
#include \"standin/internal/embedded_pages.h\"

#include <utility>

namespace standin {
namespace {
${arrays}
}  // namespace

std::optional<std::string_view> embedded_page(std::string_view name) {
  static const std::pair<std::string_view, std::string_view> kFiles[] = {
${entries}  };
  for (const auto& [file_name, content] : kFiles) {
    if (file_name == name) return content;
  }
  return std::nullopt;
}

}  // namespace standin
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
