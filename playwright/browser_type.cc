#include "playwright/browser_type.h"

#include "playwright/internal/browser_context_impl.h"
#include "playwright/internal/browser_type_impl.h"

namespace playwright {

BrowserType::BrowserType(std::shared_ptr<detail::BrowserTypeImpl> impl) : impl_(std::move(impl)) {}

asio::awaitable<BrowserContext> BrowserType::launch_persistent_context(LaunchPersistentContextOptions options) {
  co_return BrowserContext(co_await impl_->launch_persistent_context(options));
}

}  // namespace playwright
