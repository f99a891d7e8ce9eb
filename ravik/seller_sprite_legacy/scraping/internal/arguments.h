// Checks of the collector's JSON arguments, shared by its flows.
#pragma once

#include <optional>

#include "ravik/json.h"

namespace ravik::seller_sprite_legacy::scraping {

// Throws std::invalid_argument naming `account` unless it is absent, null or
// a dictionary.
void check_optional_account(const std::optional<Json>& account);

// Throws std::invalid_argument naming `account` unless it is a dictionary.
void check_account(const Json& account);

}  // namespace ravik::seller_sprite_legacy::scraping
