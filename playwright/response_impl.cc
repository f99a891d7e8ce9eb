#include "playwright/internal/response_impl.h"

#include "playwright/internal/base64.h"
#include "playwright/internal/connection.h"

namespace playwright::detail {

ResponseImpl::ResponseImpl(std::weak_ptr<Connection> connection, std::string guid, std::string type,
                           nlohmann::json initializer)
    : RemoteObject(std::move(connection), std::move(guid), std::move(type), std::move(initializer)) {
  url_ = this->initializer().value("url", "");
  status_ = this->initializer().value("status", 0);
}

void ResponseImpl::on_created(Connection& connection) {
  if (auto request = connection.find(guid_of(initializer().value("request", nlohmann::json())))) {
    resource_type_ = request->initializer().value("resourceType", "");
  }
}

asio::awaitable<std::string> ResponseImpl::body() const {
  const nlohmann::json result = co_await call("Response.body", "body", nlohmann::json::object());
  co_return base64_decode(result.value("binary", ""));
}

}  // namespace playwright::detail
