// The selector check: the research pages' elements, in the order in which
// the collector's flows reach them.
#include "ravik/seller_sprite_legacy/scraping/selector_check.h"

#include <chrono>
#include <string_view>
#include <utility>

#include "playwright/error.h"
#include "ravik/seller_sprite_legacy/scraping/internal/navigation.h"
#include "ravik/seller_sprite_legacy/scraping/internal/page_selectors.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr std::string_view kMiningPage = "关键词挖掘";
constexpr std::string_view kReversePage = "关键词反查";

constexpr std::chrono::milliseconds kClickTimeout{10000};
constexpr std::chrono::milliseconds kResultsTimeout{30000};
constexpr std::chrono::milliseconds kDrawerTimeout{10000};

// Playwright's filter that keeps only the visible ones of a locator's matches.
constexpr std::string_view kVisibleOnly = "visible=true";

const std::string kNotFound = "页面上没有可见的匹配元素";

// The first line of the failure's message, for a finding (the driver's
// call log that follows it is left out); an interrupt is passed on.
std::string failure_reason(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const playwright::InterruptedError&) {
    throw;
  } catch (const std::exception& error) {
    const std::string_view message = error.what();
    return std::string(message.substr(0, message.find('\n')));
  } catch (...) {
    return "未知错误";
  }
}

// Walks the pages on one browser page and collects the findings.
class SelectorChecker {
 public:
  SelectorChecker(const SellerSpriteScraper& scraper, playwright::Page page) : scraper_(scraper), page_(std::move(page)) {}

  std::vector<SelectorFinding> take_findings() { return std::move(findings_); }

  asio::awaitable<void> check_mining_page(std::optional<std::string> search_keyword) {
    // Awaited before the test: g++ 12 resumes a coroutine suspended inside
    // an if condition at a wrong point (the process dies of SIGILL).
    const bool opened = co_await open(kMiningPage, SellerSpriteScraper::KEYWORD_MINING_URL());
    if (!opened) co_return;
    const bool keyword_input = co_await look("关键词输入框", kKeywordInputSelector);
    const bool query_button = co_await look("查询按钮", kQueryButtonSelector);
    co_await check_dropdowns();

    std::optional<std::string> no_search_reason;
    if (!search_keyword) {
      no_search_reason = "未执行查询（结果只在查询后出现）";
    } else if (!keyword_input || !query_button) {
      no_search_reason = "无法查询：搜索框或查询按钮未找到";
    } else {
      no_search_reason = co_await search(*search_keyword);
    }

    co_await look("词组长度「一个词」", kOneWordRadioSelector);
    co_await look("词组长度「两个词」", kTwoWordsRadioSelector);
    co_await look("词组长度「自定义」", kCustomRadioSelector);
    co_await look("自定义词组长度输入框", kCustomCountInputSelector);
    co_await check_results(no_search_reason);
  }

  asio::awaitable<void> check_reverse_page() {
    const bool opened = co_await open(kReversePage, SellerSpriteScraper::KEYWORD_REVERSE_URL());
    if (!opened) co_return;
    co_await look("ASIN 输入框", kAsinInputSelector);
    co_await look("查询按钮", kQueryButtonSelector);
    co_await look("站点下拉框", kSiteDropdownSelector);
    co_await look("时间范围下拉框", kPeriodDropdownSelector);
  }

 private:
  // Navigates to `url` as the flows do; a page that does not open is noted.
  asio::awaitable<bool> open(std::string_view page_name, std::string url) {
    page_name_ = page_name;
    std::exception_ptr failure;
    try {
      co_await page_.goto_(url, document_loaded(scraper_.timeout_ms));
      co_await page_.wait_for_timeout(std::chrono::milliseconds(SellerSpriteScraper::DEFAULT_WAIT_MS));
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) {
      note({.element = "页面", .selector = url, .status = SelectorStatus::missing, .reason = failure_reason(failure)});
    }
    co_return !failure;
  }

  void note(SelectorFinding finding) {
    finding.page = page_name_;
    findings_.push_back(std::move(finding));
  }

  void note_not_checked(std::string element, std::string_view selector, const std::string& reason) {
    note({.element = std::move(element), .selector = std::string(selector), .reason = reason});
  }

  // Notes how many visible elements `locator` (described by `selector`)
  // matches; true when there is one.
  asio::awaitable<bool> count(std::string element, std::string selector, playwright::Locator locator) {
    int visible = 0;
    std::exception_ptr failure;
    try {
      const playwright::Locator visible_ones = locator.locator(kVisibleOnly);
      visible = co_await visible_ones.count();
    } catch (...) {
      failure = std::current_exception();
    }
    std::string reason;
    if (failure) {
      reason = failure_reason(failure);
    } else if (visible == 0) {
      reason = kNotFound;
    }
    const SelectorStatus status = visible > 0 ? SelectorStatus::found : SelectorStatus::missing;
    note({.element = std::move(element),
          .selector = std::move(selector),
          .status = status,
          .visible_count = visible,
          .reason = std::move(reason)});
    co_return visible > 0;
  }

  // count() for the matches of `selector` on the page.
  asio::awaitable<bool> look(std::string element, std::string_view selector) {
    const playwright::Locator matches = page_.locator(selector);
    co_return co_await count(std::move(element), std::string(selector), matches);
  }

  asio::awaitable<void> check_dropdowns() {
    const SellerSpriteCollectOptions defaults;
    const auto site_label = find_label(SellerSpriteScraper::SITE_LABELS, defaults.site).value_or(defaults.site);
    const auto period_label = find_label(SellerSpriteScraper::PERIOD_LABELS, defaults.period).value_or(defaults.period);
    const bool site_trigger = co_await look("站点下拉框", kSiteDropdownSelector);
    const bool period_trigger = co_await look("时间范围下拉框", kPeriodDropdownSelector);
    co_await check_option(site_trigger, kSiteDropdownSelector, "站点选项", std::string(site_label));
    co_await check_option(period_trigger, kPeriodDropdownSelector, "时间范围选项", std::string(period_label));
  }

  // Opens the dropdown of `trigger_selector` and chooses the option `label`
  // as the flows do; closes it again when that option is missing.
  asio::awaitable<void> check_option(bool trigger_found, std::string_view trigger_selector, std::string_view what,
                                     std::string label) {
    const std::string element = std::string(what) + "「" + label + "」";
    const std::string option_selector(kDropdownOptionSelector);
    if (!trigger_found) {
      note_not_checked(element, option_selector, "下拉框未找到");
      co_return;
    }
    const playwright::Locator trigger = page_.locator(trigger_selector).first();
    const std::optional<std::string> opening_failure = co_await click(trigger);
    if (opening_failure) {
      note({.element = element, .selector = option_selector, .status = SelectorStatus::missing,
            .reason = "下拉框打不开：" + *opening_failure});
      co_return;
    }
    const playwright::FilterOptions with_label{.has_text = label};
    const playwright::Locator options = page_.locator(kDropdownOptionSelector).filter(with_label);
    const bool option_found = co_await count(element, option_selector, options);
    // Choosing the option closes the dropdown; without one, the trigger does.
    playwright::Locator closing = trigger;
    if (option_found) closing = options.first();
    const std::optional<std::string> failure = co_await click(closing);
    if (failure && option_found) fail_last("点击选项失败：" + *failure);
  }

  // Clicks `target`; answers the failure's message, or nothing.
  asio::awaitable<std::optional<std::string>> click(playwright::Locator target) {
    std::exception_ptr failure;
    try {
      co_await target.click({.timeout = kClickTimeout});
    } catch (...) {
      failure = std::current_exception();
    }
    if (!failure) co_return std::nullopt;
    co_return failure_reason(failure);
  }

  // Marks the latest finding as missing for `reason`.
  void fail_last(std::string reason) {
    findings_.back().status = SelectorStatus::missing;
    findings_.back().reason = std::move(reason);
  }

  // Sends the search and waits for its first trend icon; answers why the
  // results cannot be checked, or nothing when they can.
  asio::awaitable<std::optional<std::string>> search(std::string keyword) {
    std::exception_ptr failure;
    try {
      co_await page_.locator(kKeywordInputSelector).first().fill(keyword);
      co_await page_.locator(kQueryButtonSelector).first().click({.timeout = kClickTimeout});
      const playwright::WaitForOptions until_visible{.state = "visible", .timeout = kResultsTimeout};
      co_await page_.locator(kTrendIconSelector).first().wait_for(until_visible);
    } catch (...) {
      failure = std::current_exception();
    }
    if (!failure) co_return std::nullopt;
    co_return "查询「" + keyword + "」后没有出现结果：" + failure_reason(failure);
  }

  asio::awaitable<void> check_results(std::optional<std::string> no_search_reason) {
    if (no_search_reason) {
      note_not_checked("趋势图标", kTrendIconSelector, *no_search_reason);
      note_not_checked("结果行", kRowSelector, *no_search_reason);
      note_not_checked_drawer(*no_search_reason);
      co_return;
    }
    const playwright::Locator icons = page_.locator(kTrendIconSelector);
    co_await count("趋势图标", std::string(kTrendIconSelector), icons);
    const playwright::Locator rows = icons.locator(kRowSelector);
    co_await count("结果行", std::string(kRowSelector), rows);
    const playwright::Locator first_icon = icons.first();
    co_await check_drawer(first_icon);
  }

  void note_not_checked_drawer(const std::string& reason) {
    note_not_checked("趋势抽屉", SellerSpriteScraper::TREND_ARCHIVE_SELECTOR, reason);
    note_not_checked_tabs_and_close(reason);
  }

  void note_not_checked_tabs_and_close(const std::string& reason) {
    for (const LabelEntry& tab : SellerSpriteScraper::TREND_TABS) {
      note_not_checked(tab_element(tab), kTrendTabSelector, reason);
    }
    note_not_checked("趋势抽屉关闭按钮", kCloseButtonSelector, reason);
  }

  static std::string tab_element(const LabelEntry& tab) { return "趋势标签「" + std::string(tab.label) + "」"; }

  // Opens the first row's trend drawer, looks for its tabs and closes it.
  asio::awaitable<void> check_drawer(playwright::Locator icon) {
    const std::string drawer_selector(SellerSpriteScraper::TREND_ARCHIVE_SELECTOR);
    const playwright::Locator drawer = page_.locator(drawer_selector).first();
    std::exception_ptr failure;
    try {
      co_await icon.scroll_into_view_if_needed({.timeout = kDrawerTimeout});
      co_await icon.click({.timeout = kClickTimeout});
      const playwright::WaitForOptions until_visible{.state = "visible", .timeout = kDrawerTimeout};
      co_await drawer.wait_for(until_visible);
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) {
      note({.element = "趋势抽屉", .selector = drawer_selector, .status = SelectorStatus::missing,
            .reason = "点击趋势图标后抽屉没有出现：" + failure_reason(failure)});
      note_not_checked_tabs_and_close("趋势抽屉未打开");
      co_return;
    }
    const playwright::Locator drawers = page_.locator(drawer_selector);
    co_await count("趋势抽屉", drawer_selector, drawers);
    for (const LabelEntry& tab : SellerSpriteScraper::TREND_TABS) {
      const playwright::FilterOptions with_label{.has_text = tab.label};
      const playwright::Locator tabs = page_.locator(kTrendTabSelector).filter(with_label);
      co_await count(tab_element(tab), std::string(kTrendTabSelector), tabs);
    }
    co_await check_close_button(drawer);
  }

  // The close button counts as found only when pressing it closes the drawer.
  asio::awaitable<void> check_close_button(playwright::Locator drawer) {
    const playwright::Locator close_button = drawer.locator(kCloseButtonSelector);
    const bool found = co_await count("趋势抽屉关闭按钮", std::string(kCloseButtonSelector), close_button);
    if (!found) co_return;
    std::exception_ptr failure;
    try {
      co_await close_button.first().click({.timeout = kClickTimeout});
      const playwright::WaitForOptions until_hidden{.state = "hidden", .timeout = kDrawerTimeout};
      co_await drawer.wait_for(until_hidden);
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) fail_last("点击后抽屉没有关闭：" + failure_reason(failure));
  }

  const SellerSpriteScraper& scraper_;
  playwright::Page page_;
  std::string page_name_;
  std::vector<SelectorFinding> findings_;
};

}  // namespace

asio::awaitable<std::vector<SelectorFinding>> check_page_selectors(const SellerSpriteScraper& scraper,
                                                                   playwright::Page page, SelectorCheckArgs args) {
  SelectorChecker checker(scraper, std::move(page));
  co_await checker.check_mining_page(args.search_keyword);
  co_await checker.check_reverse_page();
  co_return checker.take_findings();
}

}  // namespace ravik::seller_sprite_legacy::scraping
