// Search forms: the keyword-mining and keyword-reverse forms, the marketplace
// and period dropdowns, and the phrase length of the frequency view.
#include <chrono>
#include <string>
#include <string_view>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "ravik/seller_sprite_legacy/scraping/internal/page_selectors.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::chrono::milliseconds kDropdownClickTimeout{10000};
constexpr std::chrono::milliseconds kAfterDropdownChoicePause{500};
constexpr std::chrono::milliseconds kRadioClickTimeout{5000};
constexpr std::chrono::milliseconds kAfterPhraseCountPause{1000};

// `text` in lower case by the Unicode rules.
std::string lower_case(const std::string& text) {
  std::string lowered;
  icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(lowered);
  return lowered;
}

// The label of `code` (looked up in lower case) in `table`, else `code` itself.
template <std::size_t N>
std::string label_or_code(const std::array<LabelEntry, N>& table, const std::string& code) {
  const auto label = find_label(table, lower_case(code));
  return label ? std::string(*label) : code;
}

}  // namespace

asio::awaitable<void> SellerSpriteScraper::_fill_keyword_form(playwright::Page page,
                                                              SellerSpriteCollectOptions options) const {
  co_await _select_site(page, options.site);
  co_await _select_period(page, options.period);
  if (!options.keyword.empty()) co_await page.locator(kKeywordInputSelector).first().fill(options.keyword);
  co_await page.locator(kQueryButtonSelector).first().click();
}

asio::awaitable<void> SellerSpriteScraper::_fill_keyword_reverse_form(playwright::Page page,
                                                                      SellerSpriteCollectOptions options) const {
  co_await _select_site(page, options.site);
  co_await _select_period(page, options.period);
  co_await page.locator(kAsinInputSelector).first().fill(options.asin);
  co_await page.locator(kQueryButtonSelector).first().click();
}

asio::awaitable<void> SellerSpriteScraper::_select_site(playwright::Page page, std::string site) const {
  co_await _select_element_dropdown(page, std::string(kSiteDropdownSelector), label_or_code(SITE_LABELS, site));
}

asio::awaitable<void> SellerSpriteScraper::_select_period(playwright::Page page, std::string period) const {
  co_await _select_element_dropdown(page, std::string(kPeriodDropdownSelector), label_or_code(PERIOD_LABELS, period));
}

asio::awaitable<void> SellerSpriteScraper::_select_element_dropdown(playwright::Page page,
                                                                    std::string trigger_selector,
                                                                    std::string target_label) const {
  co_await page.locator(trigger_selector).first().click({.timeout = kDropdownClickTimeout});
  const playwright::Locator option =
      page.locator(kDropdownOptionSelector).filter({.has_text = target_label}).first();
  co_await option.click({.timeout = kDropdownClickTimeout});
  co_await page.wait_for_timeout(kAfterDropdownChoicePause);
}

asio::awaitable<void> SellerSpriteScraper::_set_frequency_phrase_count(playwright::Page page,
                                                                       int phrase_count) const {
  if (phrase_count == 1) {
    co_await page.locator(kOneWordRadioSelector).first().click({.timeout = kRadioClickTimeout});
  } else if (phrase_count == 2) {
    co_await page.locator(kTwoWordsRadioSelector).first().click({.timeout = kRadioClickTimeout});
  } else {
    co_await page.locator(kCustomRadioSelector).first().click({.timeout = kRadioClickTimeout});
    co_await page.locator(kCustomCountInputSelector).first().fill(std::to_string(phrase_count));
  }
  co_await page.wait_for_timeout(kAfterPhraseCountPause);
}

}  // namespace ravik::seller_sprite_legacy::scraping
