// Writing results as JSON text for people and scripts alike.
#pragma once

#include <string>

#include "ravik/json.h"

namespace ravik::cli {

// Indented UTF-8 JSON text with non-ASCII characters left unescaped; bytes
// that are not valid UTF-8 inside strings become U+FFFD instead of failing.
std::string to_pretty_json(const Json& value);

// Writes `to_pretty_json(value)` and a line end to standard output; throws
// StandardOutputError when it does not get there.
void print_json(const Json& value);

}  // namespace ravik::cli
