#include "playwright/internal/remote_object.h"

#include "playwright/error.h"
#include "playwright/internal/connection.h"

namespace playwright::detail {

RemoteObject::RemoteObject(std::weak_ptr<Connection> connection, std::string guid, std::string type,
                           nlohmann::json initializer)
    : connection_(std::move(connection)),
      guid_(std::move(guid)),
      type_(std::move(type)),
      initializer_(std::move(initializer)) {}

std::shared_ptr<Connection> RemoteObject::connection(std::string_view api_name) const {
  auto live = connection_.lock();
  if (!live) throw Error(std::string(api_name) + ": " + std::string(kConnectionGone));
  return live;
}

asio::awaitable<nlohmann::json> RemoteObject::call(std::string_view api_name, std::string_view method,
                                                   nlohmann::json params, std::chrono::milliseconds timeout) const {
  auto live = connection(api_name);
  const CallOptions options{.api_name = api_name, .timeout = timeout};
  co_return co_await live->call(guid_, method, std::move(params), options);
}

std::string guid_of(const nlohmann::json& reference) {
  if (!reference.is_object()) return "";
  auto it = reference.find("guid");
  if (it == reference.end() || !it->is_string()) return "";
  return it->get<std::string>();
}

}  // namespace playwright::detail
