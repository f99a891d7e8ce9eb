// BrowserContext: a (persistent) browser profile with its pages.
#pragma once

#include <memory>
#include <vector>

#include <asio/awaitable.hpp>

#include "playwright/page.h"
#include "playwright/tracing.h"
#include "ravik/export/playwright_export.h"

namespace playwright {

namespace detail {
class BrowserContextImpl;
}

class RAVIK_PLAYWRIGHT_EXPORT BrowserContext {
 public:
  explicit BrowserContext(std::shared_ptr<detail::BrowserContextImpl> impl);

  // The pages open in the context now, possibly none.
  [[nodiscard]] std::vector<Page> pages() const;
  asio::awaitable<Page> new_page();
  // The context's trace recorder. Throws Error when the driver is gone.
  [[nodiscard]] Tracing tracing() const;
  // Closes every page and, for a persistent context, the browser; also after interrupt_all().
  asio::awaitable<void> close();

 private:
  std::shared_ptr<detail::BrowserContextImpl> impl_;
};

}  // namespace playwright
