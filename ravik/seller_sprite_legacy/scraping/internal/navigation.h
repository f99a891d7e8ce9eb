// Navigation options shared by the collector's flows.
//
// Note for callers: g++ 12 mis-handles a braced aggregate temporary with
// non-trivial members (a std::string, say) inside a co_await expression: it
// is copied bitwise and destroyed twice. Argument structs of that kind are
// built as named values before the co_await.
#pragma once

#include <chrono>

#include "playwright/page.h"

namespace ravik::seller_sprite_legacy::scraping {

// goto options that wait until the document has loaded, within `timeout_ms`
// (the collector's navigation setting, an integer of milliseconds).
inline playwright::GotoOptions document_loaded(int timeout_ms) {
  return playwright::GotoOptions{.wait_until = "domcontentloaded", .timeout = std::chrono::milliseconds(timeout_ms)};
}

}  // namespace ravik::seller_sprite_legacy::scraping
