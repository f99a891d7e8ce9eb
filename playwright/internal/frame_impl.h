// FrameImpl: a frame of a page. Keeps the frame's address and reached load
// states current from its events, waits for load states on the client side,
// and runs the element-bound steps that locators need.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "playwright/internal/remote_object.h"

namespace playwright::detail {

class ResponseImpl;
class Waiter;

// The driver's default time-out for actions and navigations.
inline constexpr std::chrono::milliseconds kDefaultTimeout{30000};

inline std::chrono::milliseconds timeout_or_default(const std::optional<std::chrono::milliseconds>& timeout) {
  return timeout.value_or(kDefaultTimeout);
}

class FrameImpl : public RemoteObject {
 public:
  FrameImpl(std::weak_ptr<Connection> connection, std::string guid, std::string type, nlohmann::json initializer);

  void on_event(std::string_view method, const nlohmann::json& params) override;
  void on_dispose() override;
  void on_interrupt() override;
  // The page of this frame closed: waits on it end.
  void mark_closed();

  const std::string& url() const { return url_; }

  // Navigates; answers the main resource's response, or null (e.g. for
  // about:blank or a same-document navigation).
  asio::awaitable<std::shared_ptr<ResponseImpl>> navigate(std::string url, std::string wait_until,
                                                          std::chrono::milliseconds timeout);
  // Waits until `state` ("load", "domcontentloaded", "networkidle",
  // "commit") has been reached; throws TimeoutError after `timeout`.
  asio::awaitable<void> wait_for_load_state(std::string state, std::chrono::milliseconds timeout);
  // Resolves `selector` to one element (waiting up to `timeout` for it to
  // be attached), calls `method` on that element with the time left, and
  // releases the element again.
  asio::awaitable<nlohmann::json> call_on_element(std::string api_name, std::string selector, std::string method,
                                                  nlohmann::json params, std::chrono::milliseconds timeout);

 private:
  void wake_waiters();

  std::string url_;
  std::set<std::string> load_states_;
  std::vector<Waiter*> waiters_;
  bool closed_ = false;
};

// Throws Error unless `state` is one of the load states the driver knows.
void check_load_state(std::string_view api_name, std::string_view option, const std::string& state);

}  // namespace playwright::detail
