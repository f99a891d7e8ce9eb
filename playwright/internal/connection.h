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
// When the driver goes away, or sends anything this client cannot take (a
// corrupt frame, a malformed message), the connection closes: every pending
// call fails at once with Error, and so does every later call.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <nlohmann/json.hpp>

#include "playwright/driver_location.h"
#include "playwright/internal/driver_endpoint.h"
#include "playwright/internal/remote_object.h"
#include "playwright/internal/waiter.h"

namespace playwright::detail {

// The message of calls made after the client was stopped and destroyed.
inline constexpr std::string_view kConnectionGone = "the Playwright driver has been stopped";

struct CallOptions {
  // Prefixes error messages, e.g. "Locator.click".
  std::string_view api_name;
  // The call's time-out, zero for none; travels in the message's metadata
  // (as a number of milliseconds), where the driver reads it.
  std::chrono::milliseconds timeout{0};
  // The call closes something (a context, a browser): it still goes to the
  // driver after an interrupt, so that the caller's cleanup runs in order.
  bool closes = false;
};

// Time limits of a connection.
struct ConnectionLimits {
  // How long the driver may take to answer "initialize".
  std::chrono::milliseconds start_timeout{30000};
  // How long the driver's standard error is still read after its output
  // ended, for the reason of its end.
  std::chrono::milliseconds stderr_drain{2000};
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // Starts the driver found at `location` and initializes the protocol, on
  // the calling coroutine's executor.
  static asio::awaitable<std::shared_ptr<Connection>> start(DriverLocation location);
  // Initializes the protocol with the driver behind `driver`; throws Error
  // when it does not answer within `limits.start_timeout`, sends anything
  // malformed, or ends.
  static asio::awaitable<std::shared_ptr<Connection>> start(std::unique_ptr<DriverEndpoint> driver,
                                                            ConnectionLimits limits);

  Connection(const asio::any_io_executor& executor, std::unique_ptr<DriverEndpoint> driver, ConnectionLimits limits);
  // A connection dropped without stop() ends its driver (blocking briefly).
  ~Connection();

  const asio::any_io_executor& executor() const { return executor_; }

  // Sends `method` to the object `guid` and awaits its result. Throws
  // TimeoutError when the driver reports a time-out, InterruptedError after
  // interrupt(), Error for any other failure, including a connection that
  // closes before the answer.
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

  // Fails every pending call at once with InterruptedError carrying
  // `reason`, and every later call except those that close something; the
  // driver keeps running and stop() works as before. Idempotent.
  void interrupt(const std::string& reason);
  // The reason given to interrupt(), if it was called.
  const std::optional<std::string>& interruption() const { return interruption_; }
  // Interrupts every connection of the process that is still alive. For
  // the thread that runs the connections' io_context (see interrupt_all).
  static void interrupt_all(const std::string& reason);

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
  // Closes with the reason of the driver's end once its standard error has
  // ended too (or the drain time has passed).
  asio::awaitable<void> close_after_driver_end();
  // Takes the frame `body` in; answers false when it closed the connection.
  bool take_frame(const std::string& body);

  void dispatch(const nlohmann::json& message);
  void resolve(const nlohmann::json& message);
  void create_object(const std::string& parent_guid, const nlohmann::json& params);
  void adopt(const std::string& parent_guid, const nlohmann::json& params);
  void dispose(const std::string& guid);
  // Fails every pending call with `reason` and disposes of every object.
  void close(const std::string& reason);
  // Why the connection ends now that the driver's output ended.
  std::string driver_exit_reason();
  // `reason`, followed by the last lines the driver wrote on its standard
  // error (what is readable right now included).
  std::string with_stderr_tail(std::string reason);
  // Reads what the driver's standard error holds now, without waiting;
  // answers false once it has ended.
  bool read_available_stderr();

  asio::any_io_executor executor_;
  ConnectionLimits limits_;
  std::unique_ptr<DriverEndpoint> process_;
  asio::local::stream_protocol::socket output_;
  std::shared_ptr<asio::posix::stream_descriptor> input_;
  std::shared_ptr<asio::posix::stream_descriptor> errors_;

  std::deque<std::string> outbox_;
  bool writing_ = false;
  int last_call_id_ = 0;
  std::unordered_map<int, std::shared_ptr<PendingCall>> pending_;
  // Ids whose answers will come but are awaited by nobody: post()ed calls
  // and calls failed by an interrupt.
  std::unordered_set<int> unawaited_;
  std::map<std::string, std::shared_ptr<RemoteObject>> objects_;
  std::shared_ptr<RemoteObject> playwright_;
  std::string stderr_tail_;
  bool stderr_ended_ = false;
  Waiter stderr_end_;
  bool driver_ending_ = false;
  bool stopping_ = false;
  bool closed_ = false;
  std::string close_reason_;
  std::optional<std::string> interruption_;
};

}  // namespace playwright::detail
