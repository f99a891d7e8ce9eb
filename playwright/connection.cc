#include "playwright/internal/connection.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "playwright/error.h"
#include "playwright/internal/driver_process.h"
#include "playwright/internal/remote_object_factory.h"
#include "playwright/internal/waiter.h"

namespace playwright::detail {

namespace {

using nlohmann::json;

// How long the driver may take to close its browsers after its input closed.
constexpr std::chrono::milliseconds kStopGrace{15000};
// Larger frames are taken for a corrupted stream. The largest real messages
// carry screenshots and response bodies as base64 text: a full-page
// screenshot of a 1440 x 13,800 pixel result list is about 5 MB; node cannot
// build a text beyond 512 MiB at all.
constexpr std::uint32_t kMaxMessageBytes = 256u << 20;
// How much of the driver's standard error is kept for error messages.
constexpr std::size_t kStderrTailBytes = 4096;
constexpr std::string_view kSdkLanguage = "python";

std::uint32_t read_le32(const std::array<unsigned char, 4>& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The text member `key` of `object`, or "" when it is absent or no text.
std::string text_member(const json& object, const char* key) {
  if (!object.is_object()) return "";
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

// "Timeout 30000ms exceeded." and the call log the driver sent with it.
std::string driver_error_text(const json& message) {
  const json& error = message["error"];
  std::string text;
  if (error.is_object() && error.contains("error") && error["error"].is_object()) {
    text = text_member(error["error"], "message");
    if (text.empty()) text = "unknown error";
  } else if (error.is_object() && error.contains("value")) {
    text = error["value"].dump();
  } else {
    text = "unknown error";
  }
  auto log = message.find("log");
  if (log != message.end() && log->is_array() && !log->empty()) {
    text += "\nCall log:";
    for (const auto& line : *log) {
      if (line.is_string()) text += "\n" + line.get<std::string>();
    }
  }
  return text;
}

bool is_timeout_error(const json& message) {
  const json& error = message["error"];
  return error.is_object() && error.contains("error") && text_member(error["error"], "name") == "TimeoutError";
}

// "30 s" or "250 ms".
std::string duration_text(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
  return std::to_string(duration.count()) + " ms";
}

// The connections of this process that may still be alive, for
// interrupt_all(). Used on the io_context's thread only.
std::vector<std::weak_ptr<Connection>>& live_connections() {
  static std::vector<std::weak_ptr<Connection>> connections;
  return connections;
}

void register_live_connection(const std::shared_ptr<Connection>& connection) {
  auto& connections = live_connections();
  std::erase_if(connections, [](const std::weak_ptr<Connection>& weak) { return weak.expired(); });
  connections.push_back(connection);
}

}  // namespace

struct Connection::PendingCall {
  PendingCall(const asio::any_io_executor& executor, std::string_view api) : waiter(executor), api_name(api) {}
  Waiter waiter;
  std::string api_name;
  json result;
  std::exception_ptr failure;
};

asio::awaitable<std::shared_ptr<Connection>> Connection::start(DriverLocation location) {
  auto driver = std::make_unique<DriverProcess>(location);
  const ConnectionLimits limits;
  co_return co_await start(std::move(driver), limits);
}

asio::awaitable<std::shared_ptr<Connection>> Connection::start(std::unique_ptr<DriverEndpoint> driver,
                                                               ConnectionLimits limits) {
  auto executor = co_await asio::this_coro::executor;
  auto connection = std::make_shared<Connection>(executor, std::move(driver), limits);
  connection->objects_.emplace("", std::make_shared<RemoteObject>(connection, "", "Root", json::object()));
  register_live_connection(connection);
  const std::weak_ptr<Connection> weak = connection;
  asio::co_spawn(executor, read_loop(weak, connection->input_), [weak](std::exception_ptr failure) {
    if (!failure) return;
    auto self = weak.lock();
    if (!self) return;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      self->close(self->with_stderr_tail(std::string("reading the Playwright driver's output failed: ") + e.what()));
    } catch (...) {
      self->close(self->with_stderr_tail("reading the Playwright driver's output failed"));
    }
  });
  asio::co_spawn(executor, read_stderr(weak, connection->errors_), asio::detached);

  asio::steady_timer start_timer(executor, limits.start_timeout);
  start_timer.async_wait([weak, limits](const asio::error_code& ec) {
    auto self = weak.lock();
    if (ec || !self) return;
    self->close(self->with_stderr_tail("the Playwright driver did not answer within " +
                                       duration_text(limits.start_timeout) + " of its start"));
  });
  const std::string root_guid;
  const CallOptions options{.api_name = "Playwright.start"};
  json params = {{"sdkLanguage", kSdkLanguage}};
  const json result = co_await connection->call(root_guid, "initialize", std::move(params), options);
  start_timer.cancel();
  connection->playwright_ = connection->find(guid_of(result.value("playwright", json())));
  if (!connection->playwright_) throw Error("Playwright.start: the driver answered no Playwright object");
  co_return connection;
}

Connection::Connection(const asio::any_io_executor& executor, std::unique_ptr<DriverEndpoint> driver,
                       ConnectionLimits limits)
    : executor_(executor),
      limits_(limits),
      process_(std::move(driver)),
      output_(executor, asio::local::stream_protocol(), process_->take_stdin()),
      input_(std::make_shared<asio::posix::stream_descriptor>(executor, process_->take_stdout())),
      errors_(std::make_shared<asio::posix::stream_descriptor>(executor, process_->take_stderr())),
      stderr_end_(executor) {
  asio::error_code ignored;
  errors_->non_blocking(true, ignored);
}

Connection::~Connection() {
  asio::error_code ignored;
  output_.close(ignored);
  input_->close(ignored);
  errors_->close(ignored);
  // process_ ends and reaps the driver.
}

std::string Connection::frame_message(const json& message, std::string_view api_name) const {
  std::string body;
  try {
    body = message.dump();
  } catch (const json::exception&) {
    throw Error(std::string(api_name) + ": the call holds text that is not valid UTF-8");
  }
  const auto size = static_cast<std::uint32_t>(body.size());
  std::string frame;
  frame.reserve(4 + body.size());
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((size >> shift) & 0xFF));
  frame += body;
  return frame;
}

asio::awaitable<json> Connection::call(const std::string& guid, std::string_view method, json params,
                                       CallOptions options) {
  const std::string api_name(options.api_name);
  if (closed_) throw Error(api_name + ": " + close_reason_);
  if (interruption_ && !options.closes) throw InterruptedError(api_name + ": " + *interruption_);
  if (stopping_) throw Error(api_name + ": " + std::string(kConnectionGone));
  const int id = next_call_id();
  json message = {{"id", id},
                  {"guid", guid},
                  {"method", method},
                  {"params", params.is_null() ? json::object() : std::move(params)},
                  {"metadata", {{"timeout", options.timeout.count()}}}};
  std::string frame = frame_message(message, api_name);
  auto self = shared_from_this();
  auto pending = std::make_shared<PendingCall>(executor_, api_name);
  pending_.emplace(id, pending);
  enqueue(std::move(frame));
  co_await pending->waiter.wait();
  if (pending->failure) std::rethrow_exception(pending->failure);
  co_return std::move(pending->result);
}

void Connection::post(const std::string& guid, std::string_view method, json params) {
  if (closed_ || stopping_) return;
  const int id = next_call_id();
  json message = {{"id", id},
                  {"guid", guid},
                  {"method", method},
                  {"params", std::move(params)},
                  {"metadata", {{"timeout", 0}}}};
  std::string frame = frame_message(message, method);
  unawaited_.insert(id);
  enqueue(std::move(frame));
}

void Connection::enqueue(std::string frame) {
  outbox_.push_back(std::move(frame));
  if (writing_) return;
  writing_ = true;
  asio::co_spawn(executor_, write_loop(shared_from_this()), asio::detached);
}

asio::awaitable<void> Connection::write_loop(std::shared_ptr<Connection> self) {
  while (!self->outbox_.empty()) {
    asio::error_code ec;
    co_await asio::async_write(self->output_, asio::buffer(self->outbox_.front()),
                               asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      self->outbox_.clear();
      self->writing_ = false;
      co_await self->close_after_driver_end();
      co_return;
    }
    self->outbox_.pop_front();
  }
  self->writing_ = false;
}

asio::awaitable<void> Connection::read_loop(std::weak_ptr<Connection> weak,
                                            std::shared_ptr<asio::posix::stream_descriptor> input) {
  std::array<unsigned char, 4> header{};
  std::string body;
  for (;;) {
    asio::error_code ec;
    co_await asio::async_read(*input, asio::buffer(header), asio::redirect_error(asio::use_awaitable, ec));
    const std::uint32_t size = read_le32(header);
    if (!ec && size <= kMaxMessageBytes) {
      body.resize(size);
      co_await asio::async_read(*input, asio::buffer(body), asio::redirect_error(asio::use_awaitable, ec));
    }
    auto self = weak.lock();
    if (!self || self->closed_) co_return;
    if (ec) {
      co_await self->close_after_driver_end();
      co_return;
    }
    if (size > kMaxMessageBytes) {
      self->close(self->with_stderr_tail("the Playwright driver's output is corrupt (a message of " +
                                         std::to_string(size) + " bytes announced)"));
      co_return;
    }
    if (!self->take_frame(body)) co_return;
  }
}

bool Connection::take_frame(const std::string& body) {
  const json message = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded()) {
    close(with_stderr_tail("the Playwright driver's output is corrupt (a message that is not JSON)"));
    return false;
  }
  try {
    if (!message.is_object()) throw Error("not a JSON object");
    dispatch(message);
  } catch (const std::exception& e) {
    close(std::string("the Playwright driver sent a malformed message: ") + e.what());
  }
  return !closed_;
}

asio::awaitable<void> Connection::close_after_driver_end() {
  if (driver_ending_ || closed_) co_return;
  driver_ending_ = true;
  auto self = shared_from_this();
  if (!stopping_ && !stderr_ended_) {
    stderr_end_.reset();
    co_await stderr_end_.wait(Waiter::Clock::now() + limits_.stderr_drain);
  }
  close(driver_exit_reason());
}

asio::awaitable<void> Connection::read_stderr(std::weak_ptr<Connection> weak,
                                              std::shared_ptr<asio::posix::stream_descriptor> errors) {
  // Waits for readiness and reads itself, so that bytes are never held in a
  // completed read that has not run yet: with_stderr_tail() sees them all.
  for (;;) {
    asio::error_code ec;
    co_await errors->async_wait(asio::posix::stream_descriptor::wait_read,
                                asio::redirect_error(asio::use_awaitable, ec));
    auto self = weak.lock();
    if (!self) co_return;
    if (ec || !self->read_available_stderr()) {
      self->stderr_ended_ = true;
      self->stderr_end_.notify();
      co_return;
    }
  }
}

bool Connection::read_available_stderr() {
  const int fd = errors_->native_handle();
  if (fd < 0) return false;
  std::array<char, 4096> chunk{};
  // A bounded number of reads, so that a flood cannot hold the loop.
  for (int reads = 0; reads < 64; ++reads) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got > 0) {
      stderr_tail_.append(chunk.data(), static_cast<std::size_t>(got));
      if (stderr_tail_.size() > kStderrTailBytes) stderr_tail_.erase(0, stderr_tail_.size() - kStderrTailBytes);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
  }
  return true;
}

std::string Connection::with_stderr_tail(std::string reason) {
  read_available_stderr();  // what the driver wrote just before, read or not
  std::string tail = stderr_tail_;
  if (tail.size() == kStderrTailBytes) {
    // Only whole lines: drop the cut first one.
    const auto first_break = tail.find('\n');
    if (first_break != std::string::npos) tail.erase(0, first_break + 1);
  }
  while (!tail.empty() && std::isspace(static_cast<unsigned char>(tail.back()))) tail.pop_back();
  if (!tail.empty()) reason += ":\n" + tail;
  return reason;
}

void Connection::dispatch(const json& message) {
  if (message.contains("id")) {
    resolve(message);
    return;
  }
  auto guid_it = message.find("guid");
  auto method_it = message.find("method");
  if (guid_it == message.end() || !guid_it->is_string()) throw Error("an event without a guid");
  if (method_it == message.end() || !method_it->is_string()) throw Error("an event without a method");
  const std::string& guid = guid_it->get_ref<const std::string&>();
  const std::string& method = method_it->get_ref<const std::string&>();
  static const json kNoParams = json::object();
  auto params_it = message.find("params");
  if (params_it != message.end() && !params_it->is_object() && !params_it->is_null()) {
    throw Error("the parameters of \"" + method + "\" are not a JSON object");
  }
  const json& params = params_it != message.end() && params_it->is_object() ? *params_it : kNoParams;
  if (method == "__create__") {
    create_object(guid, params);
    return;
  }
  auto object = find(guid);
  if (!object) throw Error("\"" + method + "\" for the unknown object \"" + guid + "\"");
  if (method == "__adopt__") {
    adopt(guid, params);
  } else if (method == "__dispose__") {
    dispose(guid);
  } else {
    try {
      object->on_event(method, params);
    } catch (const json::exception& e) {
      throw Error("\"" + method + "\" for " + object->type() + " \"" + guid + "\": " + e.what());
    }
  }
}

void Connection::resolve(const json& message) {
  const json& id_value = message["id"];
  if (!id_value.is_number_integer()) throw Error("an answer whose id is not an integer");
  const int id = id_value.get<int>();
  auto it = pending_.find(id);
  if (it == pending_.end()) {
    if (unawaited_.erase(id) == 0) throw Error("an answer to call " + id_value.dump() + ", which was never made");
    return;
  }
  auto result = message.find("result");
  if (result != message.end() && !result->is_object()) {
    throw Error("an answer to call " + id_value.dump() + " whose result is not a JSON object");
  }
  auto pending = it->second;
  pending_.erase(it);
  if (message.contains("error") && result == message.end()) {
    const std::string text = pending->api_name + ": " + driver_error_text(message);
    pending->failure = is_timeout_error(message) ? std::make_exception_ptr(TimeoutError(text))
                                                 : std::make_exception_ptr(Error(text));
  } else {
    pending->result = result != message.end() ? *result : json::object();
  }
  pending->waiter.notify();
}

void Connection::create_object(const std::string& parent_guid, const json& params) {
  const std::string guid = text_member(params, "guid");
  const std::string type = text_member(params, "type");
  if (guid.empty()) throw Error("\"__create__\" without a guid");
  if (type.empty()) throw Error("\"__create__\" of \"" + guid + "\" without a type");
  auto initializer = params.find("initializer");
  if (initializer == params.end() || !initializer->is_object()) {
    throw Error("\"__create__\" of " + type + " \"" + guid + "\" without an initializer");
  }
  auto parent = find(parent_guid);
  if (!parent) throw Error("\"__create__\" of " + type + " \"" + guid + "\" under the unknown object \"" + parent_guid + "\"");
  if (find(guid)) throw Error("\"__create__\" of " + type + " \"" + guid + "\", which exists already");
  // The object is registered only once it is complete: one that fails
  // here is dropped as if it had never come.
  std::shared_ptr<RemoteObject> object;
  try {
    object = make_remote_object(weak_from_this(), guid, type, *initializer);
    object->parent_guid_ = parent_guid;
    object->on_created(*this);
  } catch (const json::exception& e) {
    throw Error("\"__create__\" of " + type + " \"" + guid + "\": " + e.what());
  }
  parent->children_.insert(guid);
  objects_.emplace(guid, std::move(object));
}

void Connection::adopt(const std::string& parent_guid, const json& params) {
  const std::string child_guid = text_member(params, "guid");
  auto child = find(child_guid);
  if (!child) throw Error("\"__adopt__\" of the unknown object \"" + child_guid + "\"");
  // The tree stays a tree: nothing moves under itself or its descendants.
  for (auto ancestor = find(parent_guid); ancestor; ancestor = find(ancestor->parent_guid_)) {
    if (ancestor == child) throw Error("\"__adopt__\" of \"" + child_guid + "\" under itself");
    if (ancestor->guid_.empty()) break;
  }
  if (auto old_parent = find(child->parent_guid_)) old_parent->children_.erase(child_guid);
  find(parent_guid)->children_.insert(child_guid);
  child->parent_guid_ = parent_guid;
}

void Connection::dispose(const std::string& guid) {
  auto object = find(guid);
  if (!object) return;
  const auto children = object->children_;
  for (const auto& child : children) dispose(child);
  if (auto parent = find(object->parent_guid_)) parent->children_.erase(guid);
  objects_.erase(guid);
  object->on_dispose();
}

std::shared_ptr<RemoteObject> Connection::find(const std::string& guid) const {
  auto it = objects_.find(guid);
  return it == objects_.end() ? nullptr : it->second;
}

void Connection::close(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  close_reason_ = reason;
  auto pending = std::move(pending_);
  pending_.clear();
  unawaited_.clear();
  for (auto& [id, call] : pending) {
    call->failure = std::make_exception_ptr(Error(call->api_name + ": " + reason));
    call->waiter.notify();
  }
  auto objects = std::move(objects_);
  objects_.clear();
  for (auto& [guid, object] : objects) object->on_dispose();
}

void Connection::interrupt(const std::string& reason) {
  if (closed_ || interruption_) return;
  interruption_ = reason;
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto& [id, call] : pending) {
    unawaited_.insert(id);
    call->failure = std::make_exception_ptr(InterruptedError(call->api_name + ": " + reason));
    call->waiter.notify();
  }
  // Waits that the client keeps itself (load states) end too.
  const auto objects = objects_;
  for (const auto& [guid, object] : objects) object->on_interrupt();
}

void Connection::interrupt_all(const std::string& reason) {
  const auto connections = live_connections();
  for (const auto& weak : connections) {
    if (auto connection = weak.lock()) connection->interrupt(reason);
  }
}

std::string Connection::driver_exit_reason() {
  if (stopping_) return std::string(kConnectionGone);
  return with_stderr_tail("the Playwright driver exited unexpectedly");
}

asio::awaitable<void> Connection::stop() {
  if (stopping_) co_return;
  stopping_ = true;
  auto self = shared_from_this();
  asio::error_code ignored;
  output_.close(ignored);
  co_await process_->wait_for_exit(executor_, kStopGrace);
  close(std::string(kConnectionGone));
}

}  // namespace playwright::detail
