#include "ravik/seller_sprite_legacy/scraping/captcha.h"

#include <string>

namespace ravik::seller_sprite_legacy::scraping {
namespace {

// Visible captcha widgets and prompts: the site's slider, Geetest, Alibaba's
// "nc" slider, reCAPTCHA / hCaptcha / Tencent frames, and the Chinese slider
// prompts. Deliberately no bare "[class*=captcha]": SMS-code fields of login
// forms carry such names without being a captcha.
const std::string kCaptchaSelector =
    "#captcha:visible, .captcha-mask:visible, .slider-captcha:visible, "
    ".geetest_panel:visible, .geetest_holder:visible, .geetest_captcha:visible, "
    "#nc_1_wrapper:visible, .nc-container:visible, #aliyunCaptcha-window:visible, "
    "iframe[src*='captcha']:visible, iframe[src*='recaptcha']:visible, iframe[src*='hcaptcha']:visible, "
    ":text('拖动滑块'):visible, :text('向右滑动'):visible, :text('请完成安全验证'):visible, "
    ":text('请完成下方验证'):visible";

}  // namespace

asio::awaitable<bool> SellerSpriteCaptchaDetector::detect(playwright::Page page) const {
  co_return co_await page.locator(kCaptchaSelector).count() > 0;
}

}  // namespace ravik::seller_sprite_legacy::scraping
