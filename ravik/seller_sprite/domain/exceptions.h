// Errors of the SellerSprite domain that the host raises and the components
// built on it pass on.
#pragma once

#include <stdexcept>
#include <string>

#include "ravik/export/host_export.h"

namespace ravik::seller_sprite::domain {

// A SellerSprite request cannot be set up: an unknown scenario or a missing
// parameter. what() returns the message exactly.
class RAVIK_HOST_EXPORT SellerSpriteConfigError : public std::runtime_error {
 public:
  explicit SellerSpriteConfigError(const std::string& message);
  ~SellerSpriteConfigError() override;
};

}  // namespace ravik::seller_sprite::domain
