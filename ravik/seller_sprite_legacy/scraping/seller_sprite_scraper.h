// SellerSpriteScraper: the SellerSprite keyword-research collector. Drives a
// real Chromium through the site's own pages (login, search forms, trend
// drawers) and captures the JSON of the site's background calls into the run
// directory that the host assigns.
//
// Every public operation opens its own browser on the persistent profile
// under CONFIG_DIR, runs one flow on one page, closes the browser and answers
// one result dictionary. The synchronous operations run their `_async` twin
// on a private event loop; never call them from code already on a loop.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/awaitable.hpp>

#include "playwright/locator.h"
#include "playwright/page.h"
#include "playwright/response.h"
#include "ravik/export/scraper_export.h"
#include "ravik/json.h"
#include "ravik/required.h"
#include "ravik/seller_sprite_legacy/domain/models.h"
#include "ravik/seller_sprite_legacy/scraping/api_recorder.h"
#include "ravik/seller_sprite_legacy/scraping/captcha.h"
#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"
#include "ravik/seller_sprite_legacy/scraping/page_context.h"
#include "ravik/seller_sprite_legacy/scraping/progress.h"

namespace ravik::seller_sprite_legacy::scraping {

using domain::SellerSpriteCollectOptions;

// One entry of a code-to-label table: a marketplace, period or trend tab
// code and the label the site's page shows for it.
struct LabelEntry {
  std::string_view key;
  std::string_view label;
};

// The label of `key` in `table`, if it is there (exact match).
template <std::size_t N>
constexpr std::optional<std::string_view> find_label(const std::array<LabelEntry, N>& table,
                                                     std::string_view key) {
  for (const LabelEntry& entry : table) {
    if (entry.key == key) return entry.label;
  }
  return std::nullopt;
}

// Constructor settings of SellerSpriteScraper.
struct ScraperSettings {
  bool headless = false;              // false shows a browser window
  std::optional<int> timeout_ms = std::nullopt;  // navigation time-out; DEFAULT_TIMEOUT_MS when absent
  std::shared_ptr<Console> console = nullptr;    // the login hand-over's console; the terminal when absent
  bool failure_archive = false;  // a failed flow keeps its page under run_dir/failure (archive_failure)
  // Where each operation's Playwright trace is saved (replacing the last);
  // absent: no trace is recorded.
  std::optional<std::filesystem::path> trace_path = std::nullopt;
  ProgressObserver progress = nullptr;  // hears each step of every operation; absent: nothing is reported
};

// Arguments of the public operations that may log in with an account.
struct CollectArgs {
  Required<SellerSpriteCollectOptions> options;
  Required<std::string> run_id;  // accepted, not used
  Required<std::filesystem::path> run_dir;
  std::optional<Json> account = std::nullopt;  // {"username", "password"}; absent or null: no automatic login
};

// Arguments of the public operations without an account.
struct RunArgs {
  Required<SellerSpriteCollectOptions> options;
  Required<std::string> run_id;  // accepted, not used
  Required<std::filesystem::path> run_dir;
};

// Arguments of the one-section flow.
struct CollectSectionArgs {
  Required<SellerSpriteCollectOptions> options;
  Required<std::filesystem::path> run_dir;
  Required<std::string> section;
  Required<std::string> response_url_keyword;
};

// Arguments of the flows that run on an open page and may log in.
struct PageCollectArgs {
  Required<SellerSpriteCollectOptions> options;
  Required<std::filesystem::path> run_dir;
  std::optional<Json> account = std::nullopt;
};

// Arguments of the trend details flow.
struct TrendDetailsArgs {
  Required<SellerSpriteCollectOptions> options;
  Required<std::filesystem::path> run_dir;
  std::optional<std::vector<std::string>> keywords = std::nullopt;
};

/// 基于 Playwright 的卖家精灵采集器。
///
/// Drives the SellerSprite site in Chromium through Playwright; see the file
/// comment for how operations use the browser.
class RAVIK_SCRAPER_EXPORT SellerSpriteScraper {
 public:
  // ---- Constants ---------------------------------------------------------
  // Page addresses on the SellerSprite web origin (sellersprite_origin()),
  // computed on first use.
  static const std::string& KEYWORD_MINING_URL();   // <origin>/v3/keyword-miner
  static const std::string& KEYWORD_REVERSE_URL();  // <origin>/v3/keyword-reverse
  static const std::string& LOGIN_URL();            // <origin>/w/user/login?callback=/v3/keyword-miner

  static constexpr int DEFAULT_TIMEOUT_MS = 120000;
  static constexpr int DEFAULT_WAIT_MS = 3000;

  static constexpr std::array<LabelEntry, 13> SITE_LABELS{{
      {"us", "美国站"}, {"jp", "日本站"}, {"uk", "英国站"}, {"de", "德国站"},
      {"fr", "法国站"}, {"it", "意大利站"}, {"es", "西班牙站"}, {"ca", "加拿大站"},
      {"mx", "墨西哥站"}, {"in", "印度站"}, {"br", "巴西站"}, {"au", "澳洲站"},
      {"ae", "阿联酋"},
  }};
  static constexpr std::array<LabelEntry, 1> PERIOD_LABELS{{{"30d", "最近30天"}}};
  static constexpr std::array<LabelEntry, 5> TREND_TABS{{
      {"search", "搜索趋势"}, {"google", "Google Trends"}, {"aba", "ABA集中度"},
      {"ppc", "PPC竞价"}, {"market", "市场分析"},
  }};
  static constexpr std::string_view TREND_ARCHIVE_SELECTOR = "#search-anlysis-drawer-echarts-trends";

  // ---- Settings, fixed by the constructor ---------------------------------
  const bool headless;
  const int timeout_ms;
  const std::filesystem::path profile_dir;  // CONFIG_DIR/seller_sprite/browser_profile
  const SellerSpriteCaptchaDetector captcha_detector;
  const std::shared_ptr<Console> console;  // every login hand-over prompts through it
  const bool failure_archive;
  const std::optional<std::filesystem::path> trace_path;
  const ProgressObserver progress;

  // Computes the settings; creates no directory and starts nothing.
  explicit SellerSpriteScraper(ScraperSettings settings = {});

  // ---- Public operations: synchronous twins ------------------------------
  [[nodiscard]] Json collect(CollectArgs args) const;
  [[nodiscard]] Json collect_frequency(RunArgs args) const;
  [[nodiscard]] Json collect_keyword_mining(RunArgs args) const;
  [[nodiscard]] Json collect_keyword_reverse(CollectArgs args) const;
  [[nodiscard]] Json archive_url(RunArgs args) const;
  [[nodiscard]] Json login() const;
  [[nodiscard]] Json login_status(RunArgs args) const;

  // ---- Public operations ---------------------------------------------------
  // Keyword-mining data of a search: "frequency" and "keyword_mining".
  asio::awaitable<Json> collect_async(CollectArgs args) const;
  asio::awaitable<Json> collect_frequency_async(RunArgs args) const;
  asio::awaitable<Json> collect_keyword_mining_async(RunArgs args) const;
  // Keyword-reverse data of an ASIN.
  asio::awaitable<Json> collect_keyword_reverse_async(CollectArgs args) const;
  // Archives the page at options.url as the profile sees it.
  asio::awaitable<Json> archive_url_async(RunArgs args) const;
  // Opens the login page and waits for the user to log in and press Enter.
  asio::awaitable<Json> login_async() const;
  // Archives the keyword-mining page and reports login and captcha state.
  asio::awaitable<Json> login_status_async(RunArgs args) const;

  // ---- Internal steps of the flows (public so tests can drive them) -------
  // Section collection.
  asio::awaitable<Json> _collect_section(CollectSectionArgs args) const;
  asio::awaitable<Json> _collect_section_with_page(playwright::Page page, CollectSectionArgs args) const;
  asio::awaitable<Json> _collect_all_sections_with_page(playwright::Page page, PageCollectArgs args) const;
  // Keyword reverse collection.
  asio::awaitable<Json> _collect_keyword_reverse_with_page(playwright::Page page, PageCollectArgs args) const;

  // Search forms and dropdowns.
  asio::awaitable<void> _fill_keyword_form(playwright::Page page, SellerSpriteCollectOptions options) const;
  asio::awaitable<void> _fill_keyword_reverse_form(playwright::Page page, SellerSpriteCollectOptions options) const;
  asio::awaitable<void> _select_site(playwright::Page page, std::string site) const;
  asio::awaitable<void> _select_period(playwright::Page page, std::string period) const;
  asio::awaitable<void> _select_element_dropdown(playwright::Page page, std::string trigger_selector,
                                                 std::string target_label) const;
  asio::awaitable<void> _set_frequency_phrase_count(playwright::Page page, int phrase_count) const;

  // Trend details.
  asio::awaitable<Json> _collect_trend_details(playwright::Page page, TrendDetailsArgs args) const;
  [[nodiscard]] static std::vector<std::string> _keywords_from_payload(const Json& payload);
  [[nodiscard]] static std::vector<LabelEntry> _selected_trend_tabs(std::string_view trend_tabs);

  // Appends {"url", "status", "payload"} to the JSON list `responses` when
  // `response` comes from the SellerSprite domain and its body is JSON;
  // swallows every body failure. Throws std::invalid_argument when
  // `responses` is not a list.
  asio::awaitable<void> _capture_sellersprite_json(playwright::Response response,
                                                   std::shared_ptr<Json> responses) const;

  asio::awaitable<std::string> _keyword_from_trend_icon(playwright::Locator icon, int index) const;
  [[nodiscard]] static std::string _slug(std::string_view value);

  // Login.
  // Logs in with `account` (a JSON object) on the login page; asks the user on
  // the console when a captcha or a second confirmation is still in the way
  // and the browser shows a window (headless: goes on without asking).
  asio::awaitable<void> _login_with_account(playwright::Page page, Json account) const;
  asio::awaitable<void> _fill_login_form(playwright::Page page, Json account) const;
  // True when a user is logged in on `page`.
  asio::awaitable<bool> _detect_logged_in(playwright::Page page) const;
  // True when the first element showing `text` is visible within 1000 ms.
  asio::awaitable<bool> _has_visible_text(playwright::Page page, std::string text) const;

  // Waits until every section of `sections` has a non-empty payload in
  // `recorder`, or the budget (`timeout_ms`; absent or 0: DEFAULT_WAIT_MS)
  // is spent, checking every 0.2 s without blocking the event loop.
  asio::awaitable<void> _wait_for_payloads(const SellerSpriteApiRecorder& recorder,
                                           std::vector<std::string> sections,
                                           std::optional<int> timeout_ms = std::nullopt) const;

  // Hands `step` to the progress observer, if there is one; drops what it throws.
  void _report_progress(const ProgressStep& step) const noexcept;

  // Page context.
  // Playwright's entry point; throws SellerSpriteDependencyError (the lookup
  // failure nested) when node or playwright-core cannot be found.
  static PlaywrightEntry _load_playwright();
  // A page context bound to this collector; starts nothing. Throws
  // SellerSpriteConfigError for a refused RAVIK_SELLERSPRITE_ORIGIN, then
  // what _load_playwright throws.
  PageContext _browser_page() const;
  // Opens a page context, runs `flow` on its page and closes it again, also
  // when the flow failed; the flow's result or failure is passed on unchanged.
  // With failure_archive on and a `run_dir`, a failed flow's page is first
  // kept under run_dir/failure.
  asio::awaitable<Json> _run_in_page_context(std::function<asio::awaitable<Json>(playwright::Page)> flow,
                                             std::optional<std::filesystem::path> run_dir = std::nullopt) const;
};

}  // namespace ravik::seller_sprite_legacy::scraping
