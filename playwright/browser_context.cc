#include "playwright/browser_context.h"

#include "playwright/internal/browser_context_impl.h"
#include "playwright/internal/page_impl.h"
#include "playwright/internal/tracing_impl.h"

namespace playwright {

BrowserContext::BrowserContext(std::shared_ptr<detail::BrowserContextImpl> impl) : impl_(std::move(impl)) {}

std::vector<Page> BrowserContext::pages() const {
  std::vector<Page> pages;
  for (const auto& page : impl_->pages()) pages.emplace_back(page);
  return pages;
}

asio::awaitable<Page> BrowserContext::new_page() { co_return Page(co_await impl_->new_page()); }

Tracing BrowserContext::tracing() const { return Tracing(impl_->tracing()); }

asio::awaitable<void> BrowserContext::close() { co_await impl_->close(); }

}  // namespace playwright
