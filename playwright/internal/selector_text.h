// Selector text composed on the client side, the way the official bindings
// compose it (text and has-text engines, chaining).
#pragma once

#include <string>

namespace playwright::detail {

// The quoted form of `text` for the text engines: its JSON string followed
// by "i" (case-insensitive substring match) or, when exact, "s".
// Throws Error when `text` is not valid UTF-8.
std::string escape_for_text_selector(const std::string& text, bool exact);

// `base >> next`.
std::string chain_selector(const std::string& base, const std::string& next);

}  // namespace playwright::detail
