// The selectors and fixed texts by which the collector's flows find elements
// on the site's research pages (Playwright selector syntax). The search
// forms and the trend details flow use them, and the selector check looks
// for each of them on the live site, so a change of the site shows there
// before a collection fails on it.
#pragma once

#include <string_view>

namespace ravik::seller_sprite_legacy::scraping {

// Search forms.
inline constexpr std::string_view kKeywordInputSelector = "input[placeholder*='输入关键词']";
inline constexpr std::string_view kAsinInputSelector = "input[placeholder*='ASIN'], input[placeholder*='产品链接']";
inline constexpr std::string_view kQueryButtonSelector = "button:has-text('立即查询')";
inline constexpr std::string_view kSiteDropdownSelector =
    ".el-input-group__prepend .el-select:not(.date-select) .el-input";
inline constexpr std::string_view kPeriodDropdownSelector = ".el-input-group__prepend .date-select .el-input";
inline constexpr std::string_view kDropdownOptionSelector = ".el-select-dropdown__item:visible";
inline constexpr std::string_view kOneWordRadioSelector = "label.el-radio:has-text('一个词')";
inline constexpr std::string_view kTwoWordsRadioSelector = "label.el-radio:has-text('两个词')";
inline constexpr std::string_view kCustomRadioSelector = "label.el-radio:has(input[value='custom'])";
inline constexpr std::string_view kCustomCountInputSelector = ".el-input-number input";

// Trend details: the icons of the result rows, a row from its icon, and the
// drawer's tabs and close button (the drawer itself is the collector's
// TREND_ARCHIVE_SELECTOR).
inline constexpr std::string_view kTrendIconSelector = ".icon-historical-trend:visible";
inline constexpr std::string_view kRowSelector = "xpath=ancestor::tr[1]";
inline constexpr std::string_view kTrendTabSelector = ".el-tabs__item:visible";
inline constexpr std::string_view kCloseButtonSelector = ".close-btn";

}  // namespace ravik::seller_sprite_legacy::scraping
