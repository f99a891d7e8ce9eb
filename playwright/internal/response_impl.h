// ResponseImpl: one network response as the driver reports it, with the
// resource type of the request behind it.
#pragma once

#include <string>

#include "playwright/internal/remote_object.h"

namespace playwright::detail {

class ResponseImpl : public RemoteObject {
 public:
  ResponseImpl(std::weak_ptr<Connection> connection, std::string guid, std::string type, nlohmann::json initializer);

  void on_created(Connection& connection) override;

  const std::string& url() const { return url_; }
  int status() const { return status_; }
  const std::string& resource_type() const { return resource_type_; }

  // The raw body bytes; throws Error when the driver no longer has them.
  asio::awaitable<std::string> body() const;

 private:
  std::string url_;
  int status_ = 0;
  std::string resource_type_;
};

}  // namespace playwright::detail
