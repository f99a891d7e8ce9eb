// The page files (HTML, CSS, JS) of the stand-in site, compiled into the
// library from standin/pages.
#pragma once

#include <optional>
#include <string_view>

namespace standin {

// The content of the page file `name` (e.g. "research.html"), if there is one.
std::optional<std::string_view> embedded_page(std::string_view name);

}  // namespace standin
