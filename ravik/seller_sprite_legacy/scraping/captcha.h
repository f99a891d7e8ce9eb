// SellerSpriteCaptchaDetector: tells whether a page shows a captcha that a
// person has to solve (the site's own slider and the common captcha widgets).
#pragma once

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/export/host_export.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_HOST_EXPORT SellerSpriteCaptchaDetector {
 public:
  // True when a visible captcha widget or captcha prompt is on the page.
  asio::awaitable<bool> detect(playwright::Page page) const;
};

}  // namespace ravik::seller_sprite_legacy::scraping
