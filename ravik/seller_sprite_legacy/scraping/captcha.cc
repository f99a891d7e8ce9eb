#include "ravik/seller_sprite_legacy/scraping/captcha.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

#include "playwright/error.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

// The site's own captcha dialogs and the Chinese slider prompts: shown
// whenever visible. Deliberately no bare "[class*=captcha]": SMS-code fields
// of login forms carry such names without being a captcha.
constexpr std::string_view kCaptchaDialogSelector =
    "#captcha:visible, .captcha-mask:visible, .slider-captcha:visible, "
    ":text('拖动滑块'):visible, :text('向右滑动'):visible, :text('请完成安全验证'):visible, "
    ":text('请完成下方验证'):visible";

// Third-party captcha widgets: Geetest, Alibaba's "nc" slider and its
// window, reCAPTCHA / hCaptcha / Tencent frames. Pages carry some of them
// as small badges or invisible placeholders, so they count only at the size
// of a widget a person can solve.
constexpr std::string_view kCaptchaWidgetSelector =
    ".geetest_panel:visible, .geetest_holder:visible, .geetest_captcha:visible, "
    "#nc_1_wrapper:visible, .nc-container:visible, #aliyunCaptcha-window:visible, "
    "iframe[src*='captcha']:visible";

// Smallest width and height, in CSS pixels, of a widget that is really shown.
constexpr double kShownWidgetSize = 50;
// Widgets looked at per page; a page full of badges is not searched further.
constexpr int kMostWidgetsChecked = 10;
// Time to measure one widget, which may disappear meanwhile; generous, since
// a busy machine answers slowly and a widget missed is a captcha missed.
constexpr std::chrono::milliseconds kMeasureTimeout{5000};

// True when the widget is visible at kShownWidgetSize or more.
asio::awaitable<bool> is_shown_widget(playwright::Locator widget) {
  std::optional<playwright::BoundingBox> box;
  try {
    box = co_await widget.bounding_box({.timeout = kMeasureTimeout});
  } catch (const playwright::TimeoutError&) {
    co_return false;  // gone before it could be measured
  }
  co_return box && box->width >= kShownWidgetSize && box->height >= kShownWidgetSize;
}

}  // namespace

asio::awaitable<bool> SellerSpriteCaptchaDetector::detect(playwright::Page page) const {
  if (co_await page.locator(kCaptchaDialogSelector).count() > 0) co_return true;
  const playwright::Locator widgets = page.locator(kCaptchaWidgetSelector);
  const int candidates = std::min(co_await widgets.count(), kMostWidgetsChecked);
  for (int index = 0; index < candidates; ++index) {
    if (co_await is_shown_widget(widgets.nth(index))) co_return true;
  }
  co_return false;
}

}  // namespace ravik::seller_sprite_legacy::scraping
