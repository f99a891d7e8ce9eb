#include "ravik/seller_sprite/domain/exceptions.h"

namespace ravik::seller_sprite::domain {

SellerSpriteConfigError::SellerSpriteConfigError(const std::string& message)
    : std::runtime_error(message) {}

SellerSpriteConfigError::~SellerSpriteConfigError() = default;

}  // namespace ravik::seller_sprite::domain
