// BrowserContextImpl: a browser profile with its open pages. Routes the
// network events the driver reports on the context to their pages.
#pragma once

#include <memory>
#include <vector>

#include "playwright/internal/remote_object.h"

namespace playwright::detail {

class PageImpl;
class TracingImpl;

class BrowserContextImpl : public RemoteObject {
 public:
  using RemoteObject::RemoteObject;

  void on_event(std::string_view method, const nlohmann::json& params) override;

  // The pages open now, in the order they were opened.
  const std::vector<std::shared_ptr<PageImpl>>& pages() const { return pages_; }
  asio::awaitable<std::shared_ptr<PageImpl>> new_page();
  asio::awaitable<void> close();
  // The context's "Tracing" object, named by its initializer; throws Error
  // when it is not there.
  std::shared_ptr<TracingImpl> tracing() const;
  // Drops a page that closed.
  void forget_page(const PageImpl& page);

 private:
  void remember_page(const std::shared_ptr<PageImpl>& page);

  std::vector<std::shared_ptr<PageImpl>> pages_;
};

}  // namespace playwright::detail
