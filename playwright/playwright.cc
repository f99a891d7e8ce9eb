#include "playwright/playwright.h"

#include "playwright/internal/browser_type_impl.h"
#include "playwright/internal/connection.h"

namespace playwright {

Playwright::Playwright(std::shared_ptr<detail::Connection> connection, BrowserType chromium)
    : chromium(std::move(chromium)), connection_(std::move(connection)) {}

asio::awaitable<void> Playwright::stop() { co_await connection_->stop(); }

asio::awaitable<Playwright> PlaywrightStarter::start() {
  auto connection = co_await detail::Connection::start(locate_driver());
  auto chromium = connection->find_as<detail::BrowserTypeImpl>(
      connection->playwright_object()->initializer().value("chromium", nlohmann::json()));
  if (!chromium) throw Error("Playwright.start: the driver offers no Chromium");
  co_return Playwright(connection, BrowserType(std::move(chromium)));
}

PlaywrightStarter async_playwright() { return PlaywrightStarter(); }

void interrupt_all(std::string reason) { detail::Connection::interrupt_all(reason); }

}  // namespace playwright
