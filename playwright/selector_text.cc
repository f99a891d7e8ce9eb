#include "playwright/internal/selector_text.h"

#include <nlohmann/json.hpp>

#include "playwright/error.h"

namespace playwright::detail {

std::string escape_for_text_selector(const std::string& text, bool exact) {
  try {
    return nlohmann::json(text).dump() + (exact ? "s" : "i");
  } catch (const nlohmann::json::exception&) {
    throw Error("selector text is not valid UTF-8: " + text);
  }
}

std::string chain_selector(const std::string& base, const std::string& next) {
  return base + " >> " + next;
}

}  // namespace playwright::detail
