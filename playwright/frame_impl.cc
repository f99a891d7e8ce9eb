#include "playwright/internal/frame_impl.h"

#include <algorithm>

#include "playwright/error.h"
#include "playwright/internal/connection.h"
#include "playwright/internal/response_impl.h"
#include "playwright/internal/waiter.h"
#include "playwright/run_then.h"

namespace playwright::detail {

namespace {

using nlohmann::json;

constexpr std::string_view kClosedMessage = "Target page, context or browser has been closed";

// Registers a waiter with the frame for as long as it lives.
class WaiterRegistration {
 public:
  WaiterRegistration(std::vector<Waiter*>& waiters, Waiter& waiter) : waiters_(waiters), waiter_(&waiter) {
    waiters_.push_back(waiter_);
  }
  ~WaiterRegistration() { waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter_), waiters_.end()); }
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

 private:
  std::vector<Waiter*>& waiters_;
  Waiter* waiter_;
};

}  // namespace

void check_load_state(std::string_view api_name, std::string_view option, const std::string& state) {
  static const std::set<std::string, std::less<>> kLoadStates = {"load", "domcontentloaded", "networkidle", "commit"};
  if (!kLoadStates.contains(state)) {
    throw Error(std::string(api_name) + ": " + std::string(option) +
                ": expected one of (load|domcontentloaded|networkidle|commit)");
  }
}

FrameImpl::FrameImpl(std::weak_ptr<Connection> connection, std::string guid, std::string type, json initializer)
    : RemoteObject(std::move(connection), std::move(guid), std::move(type), std::move(initializer)) {
  url_ = this->initializer().value("url", "");
  for (const auto& state : this->initializer().value("loadStates", json::array())) {
    if (state.is_string()) load_states_.insert(state.get<std::string>());
  }
}

void FrameImpl::on_event(std::string_view method, const json& params) {
  if (method == "navigated") {
    url_ = params.value("url", url_);
  } else if (method == "loadstate") {
    if (auto add = params.find("add"); add != params.end() && add->is_string()) {
      load_states_.insert(add->get<std::string>());
    }
    if (auto remove = params.find("remove"); remove != params.end() && remove->is_string()) {
      load_states_.erase(remove->get<std::string>());
    }
    wake_waiters();
  }
}

void FrameImpl::on_dispose() { mark_closed(); }

void FrameImpl::on_interrupt() { wake_waiters(); }

void FrameImpl::mark_closed() {
  closed_ = true;
  wake_waiters();
}

void FrameImpl::wake_waiters() {
  const auto waiters = waiters_;
  for (Waiter* waiter : waiters) waiter->notify();
}

asio::awaitable<std::shared_ptr<ResponseImpl>> FrameImpl::navigate(std::string url, std::string wait_until,
                                                                   std::chrono::milliseconds timeout) {
  constexpr std::string_view kApi = "Page.goto";
  check_load_state(kApi, "wait_until", wait_until);
  json params = {{"url", url}, {"waitUntil", wait_until}};
  const json result = co_await call(kApi, "goto", std::move(params), timeout);
  auto live = connection(kApi);
  co_return live->find_as<ResponseImpl>(result.value("response", json()));
}

asio::awaitable<void> FrameImpl::wait_for_load_state(std::string state, std::chrono::milliseconds timeout) {
  constexpr std::string_view kApi = "Page.wait_for_load_state";
  check_load_state(kApi, "state", state);
  auto live = connection(kApi);
  Waiter waiter(live->executor());
  WaiterRegistration registration(waiters_, waiter);
  const auto deadline = deadline_after(timeout);
  while (!load_states_.contains(state)) {
    if (closed_ || live->closed()) throw Error(std::string(kApi) + ": " + std::string(kClosedMessage));
    if (live->interruption()) throw InterruptedError(std::string(kApi) + ": " + *live->interruption());
    waiter.reset();
    const bool woken = co_await waiter.wait(deadline);
    if (!woken) {
      throw TimeoutError(std::string(kApi) + ": Timeout " + std::to_string(timeout.count()) + "ms exceeded.");
    }
  }
}

asio::awaitable<json> FrameImpl::call_on_element(std::string api_name, std::string selector, std::string method,
                                                 json params, std::chrono::milliseconds timeout) {
  const auto deadline = deadline_after(timeout);
  json wait_params = {{"selector", selector}, {"strict", true}, {"state", "attached"}};
  const json found = co_await call(api_name, "waitForSelector", std::move(wait_params), timeout);
  const std::string element = guid_of(found.value("element", json()));
  if (element.empty()) throw Error(api_name + ": Could not resolve " + selector + " to DOM Element");
  std::chrono::milliseconds time_left{0};
  if (deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Waiter::Clock::now());
    time_left = std::max(left, std::chrono::milliseconds(1));  // 0 would mean "no time-out"
  }
  auto live = connection(api_name);
  const CallOptions options{.api_name = api_name, .timeout = time_left};
  co_return co_await run_then([&] { return live->call(element, method, std::move(params), options); },
                              [&] { live->post(element, "dispose", json::object()); });
}

}  // namespace playwright::detail
