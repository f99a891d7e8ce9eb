// Connection: the message channel to the Playwright driver process.
//
// Messages are JSON texts framed by a 4-byte little-endian length, written to
// the driver's standard input and read from its standard output. A call
// carries an id and is answered by a message with the same id; everything
// else is an event: objects appear ("__create__"), move ("__adopt__"), leave
// ("__dispose__"), or report something on their own channel.
//
// All of it runs on one io_context, on one thread. The reader never waits on
// anything but the driver: events are handed to the objects synchronously,
// and anything that needs to await (response listeners) is spawned apart.
// When the driver goes away, every pending call fails at once with Error.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <nlohmann/json.hpp>

#include "playwright/driver_location.h"
#include "playwright/remote_object.h"

namespace playwright::detail {

class DriverProcess;

// The message of calls made after the client was stopped and destroyed.
inline constexpr std::string_view kConnectionGone = "the Playwright driver has been stopped";

struct CallOptions {
  // Prefixes error messages, e.g. "Locator.click".
  std::string_view api_name;
  // The call's time-out in milliseconds, 0 for none; travels in the
  // message's metadata, where the driver reads it.
  double timeout_ms = 0;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // Starts the driver found at `location` and initializes the protocol, on
  // the calling coroutine's executor.
  static asio::awaitable<std::shared_ptr<Connection>> start(DriverLocation location);

  Connection(const asio::any_io_executor& executor, std::unique_ptr<DriverProcess> process);
  // A connection dropped without stop() ends its driver (blocking briefly).
  ~Connection();

  const asio::any_io_executor& executor() const { return executor_; }

  // Sends `method` to the object `guid` and awaits its result. Throws
  // TimeoutError when the driver reports a time-out, Error for any other
  // failure, including a connection that closes before the answer.
  asio::awaitable<nlohmann::json> call(const std::string& guid, std::string_view method, nlohmann::json params,
                                       CallOptions options);
  // Sends `method` without waiting for (or caring about) the answer.
  void post(const std::string& guid, std::string_view method, nlohmann::json params);

  // The object with `guid`, or null.
  std::shared_ptr<RemoteObject> find(const std::string& guid) const;
  // The object of type T that `reference` ({"guid": ...}) names, or null.
  template <typename T>
  std::shared_ptr<T> find_as(const nlohmann::json& reference) const {
    return std::dynamic_pointer_cast<T>(find(guid_of(reference)));
  }

  // The Playwright object answered by "initialize".
  std::shared_ptr<RemoteObject> playwright_object() const { return playwright_; }

  // Closes the driver's input and waits for it to exit (it then closes its
  // browsers), killing it after a grace period. Idempotent.
  asio::awaitable<void> stop();
  bool closed() const { return closed_; }

 private:
  struct PendingCall;

  int next_call_id() { return ++last_call_id_; }
  std::string frame_message(const nlohmann::json& message, std::string_view api_name) const;
  void enqueue(std::string frame);
  static asio::awaitable<void> write_loop(std::shared_ptr<Connection> self);
  static asio::awaitable<void> read_loop(std::weak_ptr<Connection> weak,
                                         std::shared_ptr<asio::posix::stream_descriptor> input);
  static asio::awaitable<void> read_stderr(std::weak_ptr<Connection> weak,
                                           std::shared_ptr<asio::posix::stream_descriptor> errors);

  void dispatch(const nlohmann::json& message);
  void resolve(const nlohmann::json& message);
  void create_object(const std::string& parent_guid, const nlohmann::json& params);
  void adopt(const std::string& parent_guid, const std::string& child_guid);
  void dispose(const std::string& guid);
  // Fails every pending call with `reason` and disposes of every object.
  void close(const std::string& reason);
  std::string driver_exit_reason() const;

  asio::any_io_executor executor_;
  std::unique_ptr<DriverProcess> process_;
  asio::local::stream_protocol::socket output_;
  std::shared_ptr<asio::posix::stream_descriptor> input_;
  std::shared_ptr<asio::posix::stream_descriptor> errors_;

  std::deque<std::string> outbox_;
  bool writing_ = false;
  int last_call_id_ = 0;
  std::unordered_map<int, std::shared_ptr<PendingCall>> pending_;
  std::map<std::string, std::shared_ptr<RemoteObject>> objects_;
  std::shared_ptr<RemoteObject> playwright_;
  std::string stderr_tail_;
  bool stopping_ = false;
  bool closed_ = false;
  std::string close_reason_;
};

}  // namespace playwright::detail
