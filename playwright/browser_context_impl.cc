#include "playwright/internal/browser_context_impl.h"

#include <algorithm>

#include "playwright/error.h"
#include "playwright/internal/connection.h"
#include "playwright/internal/page_impl.h"
#include "playwright/internal/response_impl.h"
#include "playwright/internal/tracing_impl.h"

namespace playwright::detail {

void BrowserContextImpl::on_event(std::string_view method, const nlohmann::json& params) {
  auto live = weak_connection().lock();
  if (!live) return;
  if (method == "page") {
    if (auto page = live->find_as<PageImpl>(params.value("page", nlohmann::json()))) remember_page(page);
  } else if (method == "response") {
    auto page = live->find_as<PageImpl>(params.value("page", nlohmann::json()));
    auto response = live->find_as<ResponseImpl>(params.value("response", nlohmann::json()));
    if (page && response) page->deliver_response(response);
  }
}

void BrowserContextImpl::remember_page(const std::shared_ptr<PageImpl>& page) {
  if (page->is_closed() || std::find(pages_.begin(), pages_.end(), page) != pages_.end()) return;
  pages_.push_back(page);
}

void BrowserContextImpl::forget_page(const PageImpl& page) {
  std::erase_if(pages_, [&](const std::shared_ptr<PageImpl>& p) { return p.get() == &page; });
}

asio::awaitable<std::shared_ptr<PageImpl>> BrowserContextImpl::new_page() {
  constexpr std::string_view kApi = "BrowserContext.new_page";
  const nlohmann::json result = co_await call(kApi, "newPage", nlohmann::json::object());
  auto page = connection(kApi)->find_as<PageImpl>(result.value("page", nlohmann::json()));
  if (!page) throw Error(std::string(kApi) + ": the driver answered no page");
  remember_page(page);
  co_return page;
}

std::shared_ptr<TracingImpl> BrowserContextImpl::tracing() const {
  constexpr std::string_view kApi = "BrowserContext.tracing";
  auto tracing = connection(kApi)->find_as<TracingImpl>(initializer().value("tracing", nlohmann::json()));
  if (!tracing) throw Error(std::string(kApi) + ": the driver named no tracing object");
  return tracing;
}

asio::awaitable<void> BrowserContextImpl::close() {
  constexpr std::string_view kApi = "BrowserContext.close";
  const CallOptions options{.api_name = kApi, .closes = true};
  auto live = connection(kApi);
  nlohmann::json params = nlohmann::json::object();
  co_await live->call(guid(), "close", std::move(params), options);
}

}  // namespace playwright::detail
