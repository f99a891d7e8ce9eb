// Base64 decoding of the binary values the driver sends (bodies, screenshots).
#pragma once

#include <string>
#include <string_view>

namespace playwright::detail {

// Decodes standard base64 (RFC 4648, with '=' padding). Throws Error on a
// character outside the alphabet or a truncated quantum.
std::string base64_decode(std::string_view encoded);

}  // namespace playwright::detail
