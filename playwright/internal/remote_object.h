// RemoteObject: the client side of one object that lives in the driver
// (a page, a frame, a response, ...), known by its guid.
//
// The Connection creates them from "__create__" messages, hands them their
// events, and disposes of them on "__dispose__" or when it closes. They hold
// the connection weakly: once it is gone, every call fails with Error.
#pragma once

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

namespace playwright::detail {

class Connection;

class RemoteObject : public std::enable_shared_from_this<RemoteObject> {
 public:
  RemoteObject(std::weak_ptr<Connection> connection, std::string guid, std::string type, nlohmann::json initializer);
  virtual ~RemoteObject() = default;
  RemoteObject(const RemoteObject&) = delete;
  RemoteObject& operator=(const RemoteObject&) = delete;

  const std::string& guid() const { return guid_; }
  const std::string& type() const { return type_; }
  const nlohmann::json& initializer() const { return initializer_; }
  const std::string& parent_guid() const { return parent_guid_; }

  // Called before the object is registered, once its parent is known: it
  // may look up its parent and the objects its initializer names. Throws
  // Error when the initializer cannot be used; the object is then dropped.
  virtual void on_created(Connection& /*connection*/) {}
  // An event the driver sent to this object. Must not throw for well-formed
  // events and must never wait.
  virtual void on_event(std::string_view /*method*/, const nlohmann::json& /*params*/) {}
  // The object left the driver, or the connection closed.
  virtual void on_dispose() {}
  // The connection was interrupted: waits kept on the client side end.
  virtual void on_interrupt() {}

  // Calls `method` on this object; see Connection::call.
  asio::awaitable<nlohmann::json> call(std::string_view api_name, std::string_view method, nlohmann::json params,
                                       std::chrono::milliseconds timeout = {}) const;

 protected:
  // The live connection; throws Error naming `api_name` when it is gone.
  std::shared_ptr<Connection> connection(std::string_view api_name) const;
  const std::weak_ptr<Connection>& weak_connection() const { return connection_; }

 private:
  friend class Connection;

  std::weak_ptr<Connection> connection_;
  std::string guid_;
  std::string type_;
  nlohmann::json initializer_;
  // The object tree, kept by the Connection.
  std::string parent_guid_;
  std::set<std::string> children_;
};

// The guid in a channel reference {"guid": "..."}, or "" when `reference`
// is absent or not a reference.
std::string guid_of(const nlohmann::json& reference);

}  // namespace playwright::detail
