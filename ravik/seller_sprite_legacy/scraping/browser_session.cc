#include "ravik/seller_sprite_legacy/scraping/browser_session.h"

#include <stdexcept>
#include <utility>

#include "ravik/seller_sprite_legacy/scraping/internal/failure_archive.h"

namespace ravik::seller_sprite_legacy::scraping {

BrowserSession::BrowserSession(const SellerSpriteScraper& scraper) : scraper_(scraper) {}

asio::awaitable<void> BrowserSession::open() {
  if (is_open()) throw std::logic_error("BrowserSession::open: the session is open already");
  context_.emplace(scraper_._browser_page());
  try {
    page_.emplace(co_await context_->enter());
  } catch (...) {
    context_.reset();  // enter() released what it had started
    throw;
  }
}

playwright::Page BrowserSession::page() const {
  if (!page_) throw std::logic_error("BrowserSession::page: the session is closed");
  return *page_;
}

asio::awaitable<Json> BrowserSession::run(std::function<asio::awaitable<Json>(playwright::Page)> flow,
                                          std::optional<std::filesystem::path> run_dir) {
  const playwright::Page open_page = page();
  const std::optional<std::filesystem::path> failure_dir = scraper_.failure_archive ? std::move(run_dir) : std::nullopt;
  co_return co_await run_archiving_failure(open_page, flow, failure_dir);
}

asio::awaitable<bool> BrowserSession::answers() {
  if (!page_) co_return false;
  try {
    co_await page_->locator("html").count();
    co_return true;
  } catch (const std::exception&) {
    co_return false;
  }
}

asio::awaitable<void> BrowserSession::close() {
  if (!context_) co_return;
  page_.reset();
  std::optional<PageContext> closing = std::exchange(context_, std::nullopt);
  co_await closing->exit();
}

}  // namespace ravik::seller_sprite_legacy::scraping
