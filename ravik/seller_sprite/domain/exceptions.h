// Errors of the SellerSprite domain that the host raises and the components
// built on it pass on.
#pragma once

#include "ravik/error.h"
#include "ravik/export/host_export.h"

namespace ravik::seller_sprite::domain {

// A SellerSprite request cannot be set up: an unknown scenario or a missing
// parameter. what() returns the message exactly.
class RAVIK_HOST_EXPORT SellerSpriteConfigError : public DomainError {
 public:
  using DomainError::DomainError;
};

}  // namespace ravik::seller_sprite::domain
