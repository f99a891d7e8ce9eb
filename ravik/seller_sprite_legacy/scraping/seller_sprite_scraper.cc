// SellerSpriteScraper: constants, settings, the synchronous twins and the
// collection operations that open their own page context.
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

#include "ravik/config.h"
#include "ravik/run_sync.h"
#include "ravik/seller_sprite_legacy/scraping/internal/arguments.h"
#include "ravik/seller_sprite_legacy/scraping/internal/web_origin.h"

namespace ravik::seller_sprite_legacy::scraping {

const std::string& SellerSpriteScraper::KEYWORD_MINING_URL() {
  static const std::string url = sellersprite_origin() + "/v3/keyword-miner";
  return url;
}

const std::string& SellerSpriteScraper::KEYWORD_REVERSE_URL() {
  static const std::string url = sellersprite_origin() + "/v3/keyword-reverse";
  return url;
}

const std::string& SellerSpriteScraper::LOGIN_URL() {
  static const std::string url = sellersprite_origin() + "/w/user/login?callback=/v3/keyword-miner";
  return url;
}

SellerSpriteScraper::SellerSpriteScraper(ScraperSettings settings)
    : headless(settings.headless),
      timeout_ms(settings.timeout_ms.value_or(DEFAULT_TIMEOUT_MS)),
      profile_dir(config::CONFIG_DIR() / "seller_sprite" / "browser_profile"),
      captcha_detector(),
      console(settings.console ? std::move(settings.console) : std::make_shared<TerminalConsole>()),
      failure_archive(settings.failure_archive),
      trace_path(std::move(settings.trace_path)),
      progress(std::move(settings.progress)) {}

void SellerSpriteScraper::_report_progress(const ProgressStep& step) const noexcept {
  if (!progress) return;
  try {
    progress(step);
  } catch (...) {
    // Showing progress is the caller's affair; the operation goes on.
  }
}

Json SellerSpriteScraper::collect(CollectArgs args) const {
  return run_sync([&](asio::io_context&) { return collect_async(std::move(args)); });
}

Json SellerSpriteScraper::collect_frequency(RunArgs args) const {
  return run_sync([&](asio::io_context&) { return collect_frequency_async(std::move(args)); });
}

Json SellerSpriteScraper::collect_keyword_mining(RunArgs args) const {
  return run_sync([&](asio::io_context&) { return collect_keyword_mining_async(std::move(args)); });
}

Json SellerSpriteScraper::collect_keyword_reverse(CollectArgs args) const {
  return run_sync([&](asio::io_context&) { return collect_keyword_reverse_async(std::move(args)); });
}

Json SellerSpriteScraper::archive_url(RunArgs args) const {
  return run_sync([&](asio::io_context&) { return archive_url_async(std::move(args)); });
}

Json SellerSpriteScraper::login() const {
  return run_sync([&](asio::io_context&) { return login_async(); });
}

Json SellerSpriteScraper::login_status(RunArgs args) const {
  return run_sync([&](asio::io_context&) { return login_status_async(std::move(args)); });
}

asio::awaitable<Json> SellerSpriteScraper::collect_async(CollectArgs args) const {
  check_optional_account(args.account);
  co_return co_await _run_in_page_context([&](playwright::Page page) {
    return _collect_all_sections_with_page(
        page, {.options = args.options, .run_dir = args.run_dir, .account = args.account});
  }, args.run_dir.get());
}

asio::awaitable<Json> SellerSpriteScraper::collect_keyword_reverse_async(CollectArgs args) const {
  check_optional_account(args.account);
  co_return co_await _run_in_page_context([&](playwright::Page page) {
    return _collect_keyword_reverse_with_page(
        page, {.options = args.options, .run_dir = args.run_dir, .account = args.account});
  }, args.run_dir.get());
}

asio::awaitable<Json> SellerSpriteScraper::collect_frequency_async(RunArgs args) const {
  const CollectSectionArgs section{
      .options = args.options, .run_dir = args.run_dir, .section = "frequency", .response_url_keyword = "frequency"};
  co_return co_await _collect_section(section);
}

asio::awaitable<Json> SellerSpriteScraper::collect_keyword_mining_async(RunArgs args) const {
  const CollectSectionArgs section{
      .options = args.options, .run_dir = args.run_dir, .section = "keyword_mining", .response_url_keyword = "keyword"};
  co_return co_await _collect_section(section);
}

}  // namespace ravik::seller_sprite_legacy::scraping
