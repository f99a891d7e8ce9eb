// Errors of the SellerSprite browser collector.
//
// Only the dependency error is raised; the captcha and login errors lend their
// `code` to the error records of a blocked collection result.
#pragma once

#include <string_view>

#include "ravik/error.h"
#include "ravik/export/host_export.h"

namespace ravik::seller_sprite_legacy::domain {

// The browser automation (node and the pinned playwright-core) is not installed.
class RAVIK_HOST_EXPORT SellerSpriteDependencyError : public DomainError {
 public:
  using DomainError::DomainError;
};

// The site shows a captcha that a person has to solve.
class RAVIK_HOST_EXPORT SellerSpriteCaptchaRequiredError : public DomainError {
 public:
  static constexpr std::string_view code = "SELLER_SPRITE_CAPTCHA_REQUIRED";
  using DomainError::DomainError;
};

// Nobody is logged in to the site in the collector's browser profile.
class RAVIK_HOST_EXPORT SellerSpriteLoginRequiredError : public DomainError {
 public:
  static constexpr std::string_view code = "SELLER_SPRITE_LOGIN_REQUIRED";
  using DomainError::DomainError;
};

}  // namespace ravik::seller_sprite_legacy::domain
