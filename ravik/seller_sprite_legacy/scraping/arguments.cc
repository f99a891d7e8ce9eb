#include "ravik/seller_sprite_legacy/scraping/internal/arguments.h"

#include <stdexcept>

namespace ravik::seller_sprite_legacy::scraping {

void check_optional_account(const std::optional<Json>& account) {
  if (account && !account->is_null() && !account->is_object()) {
    throw std::invalid_argument("account: expected a dictionary or none");
  }
}

void check_account(const Json& account) {
  if (!account.is_object()) throw std::invalid_argument("account: expected a dictionary");
}

}  // namespace ravik::seller_sprite_legacy::scraping
