// A console on standard error that understands a little colour markup:
// "[yellow]", "[dim]", "[cyan]", their closing tags ("[/yellow]" ...) and
// "[/]", which closes the latest open tag. Other bracketed text is printed
// as it stands.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "ravik/export/host_export.h"

namespace ravik::shared {

// `markup` with its tags turned into ANSI styles when `styled`, or removed
// when not.
RAVIK_HOST_EXPORT std::string render_markup(std::string_view markup, bool styled);

class RAVIK_HOST_EXPORT Console {
 public:
  // Styles output when `stream` is a terminal and NO_COLOR is unset or empty.
  explicit Console(std::FILE* stream = stderr);

  // Prints one line of markup; with no argument, an empty line.
  void print(std::string_view markup = {}) const;

 private:
  std::FILE* stream_;
  bool styled_;
};

}  // namespace ravik::shared
