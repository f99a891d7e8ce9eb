// SellerSpriteCaptchaDetector: tells whether a page shows a captcha that a
// person has to solve (the site's own slider and the common captcha widgets).
// A widget counts only when it is shown at a size a person can work with:
// pages that merely carry a captcha badge or an invisible captcha frame are
// not blocked.
#pragma once

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "ravik/export/browser_host_export.h"

namespace ravik::seller_sprite_legacy::scraping {

class RAVIK_BROWSER_HOST_EXPORT SellerSpriteCaptchaDetector {
 public:
  // True when the site's captcha dialog or prompt is visible, or a captcha
  // widget is visible at 50 by 50 CSS pixels or more.
  asio::awaitable<bool> detect(playwright::Page page) const;
};

}  // namespace ravik::seller_sprite_legacy::scraping
