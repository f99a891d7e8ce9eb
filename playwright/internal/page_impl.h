// PageImpl: a browser tab. Owns its main frame and its "response"
// listeners; each response the context reports for this page is handed to
// every registered listener as a coroutine of its own on the page's executor.
#pragma once

#include <memory>
#include <vector>

#include "playwright/internal/remote_object.h"
#include "playwright/page.h"

namespace playwright::detail {

class BrowserContextImpl;
class FrameImpl;
class ResponseImpl;

class PageImpl : public RemoteObject {
 public:
  using RemoteObject::RemoteObject;

  void on_created(Connection& connection) override;
  void on_event(std::string_view method, const nlohmann::json& params) override;
  void on_dispose() override;

  const std::shared_ptr<FrameImpl>& main_frame() const { return main_frame_; }
  bool is_closed() const { return closed_; }

  void add_response_listener(ResponseListener listener);
  void remove_response_listener(const ResponseListener& listener);
  // Starts one listener call per registered listener; never waits.
  void deliver_response(const std::shared_ptr<ResponseImpl>& response);

 private:
  bool is_registered(const ResponseListener& listener) const;
  void set_response_subscription(bool enabled);
  void mark_closed();
  static asio::awaitable<void> run_listener(std::weak_ptr<PageImpl> page, ResponseListener listener,
                                            Response response);

  std::shared_ptr<FrameImpl> main_frame_;
  std::weak_ptr<BrowserContextImpl> context_;
  std::vector<ResponseListener> response_listeners_;
  bool closed_ = false;
};

}  // namespace playwright::detail
