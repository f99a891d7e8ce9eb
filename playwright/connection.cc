#include "playwright/connection.h"

#include <array>
#include <chrono>
#include <cstdint>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "playwright/driver_process.h"
#include "playwright/error.h"
#include "playwright/remote_object_factory.h"
#include "playwright/waiter.h"

namespace playwright::detail {

namespace {

using nlohmann::json;

// How long the driver may take to close its browsers after its input closed.
constexpr std::chrono::milliseconds kStopGrace{15000};
// Larger frames are taken for a corrupted stream.
constexpr std::uint32_t kMaxMessageBytes = 1u << 30;
// How much of the driver's standard error is kept for error messages.
constexpr std::size_t kStderrTailBytes = 4096;
constexpr std::string_view kSdkLanguage = "python";

std::uint32_t read_le32(const std::array<unsigned char, 4>& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// "Timeout 30000ms exceeded." and the call log the driver sent with it.
std::string driver_error_text(const json& message) {
  const json& error = message["error"];
  std::string text;
  if (error.contains("error") && error["error"].is_object()) {
    text = error["error"].value("message", "unknown error");
  } else if (error.contains("value")) {
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
  return error.contains("error") && error["error"].is_object() && error["error"].value("name", "") == "TimeoutError";
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
  auto executor = co_await asio::this_coro::executor;
  auto connection = std::make_shared<Connection>(executor, std::make_unique<DriverProcess>(location));
  connection->objects_.emplace("", std::make_shared<RemoteObject>(connection, "", "Root", json::object()));
  asio::co_spawn(executor, read_loop(connection, connection->input_), asio::detached);
  asio::co_spawn(executor, read_stderr(connection, connection->errors_), asio::detached);
  const std::string root_guid;
  const CallOptions options{.api_name = "Playwright.start"};
  json params = {{"sdkLanguage", kSdkLanguage}};
  const json result = co_await connection->call(root_guid, "initialize", std::move(params), options);
  connection->playwright_ = connection->find(guid_of(result.value("playwright", json())));
  if (!connection->playwright_) throw Error("Playwright.start: the driver answered no Playwright object");
  co_return connection;
}

Connection::Connection(const asio::any_io_executor& executor, std::unique_ptr<DriverProcess> process)
    : executor_(executor),
      process_(std::move(process)),
      output_(executor, asio::local::stream_protocol(), process_->take_stdin()),
      input_(std::make_shared<asio::posix::stream_descriptor>(executor, process_->take_stdout())),
      errors_(std::make_shared<asio::posix::stream_descriptor>(executor, process_->take_stderr())) {}

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
  if (closed_ || stopping_) {
    throw Error(api_name + ": " + (closed_ ? close_reason_ : std::string(kConnectionGone)));
  }
  const int id = next_call_id();
  json message = {{"id", id},
                  {"guid", guid},
                  {"method", method},
                  {"params", params.is_null() ? json::object() : std::move(params)},
                  {"metadata", {{"timeout", options.timeout_ms}}}};
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
  json message = {{"id", next_call_id()},
                  {"guid", guid},
                  {"method", method},
                  {"params", std::move(params)},
                  {"metadata", {{"timeout", 0}}}};
  enqueue(frame_message(message, method));
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
      self->close(self->driver_exit_reason());
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
    if (!self) co_return;
    if (ec) {
      self->close(self->driver_exit_reason());
      co_return;
    }
    if (size > kMaxMessageBytes) {
      self->close("the Playwright driver sent a message of " + std::to_string(size) + " bytes");
      co_return;
    }
    const json message = json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (message.is_discarded() || !message.is_object()) {
      self->close("the Playwright driver sent a message that is not a JSON object");
      co_return;
    }
    try {
      self->dispatch(message);
    } catch (const std::exception& e) {
      self->close(std::string("the Playwright driver sent an unexpected message: ") + e.what());
      co_return;
    }
  }
}

asio::awaitable<void> Connection::read_stderr(std::weak_ptr<Connection> weak,
                                              std::shared_ptr<asio::posix::stream_descriptor> errors) {
  std::array<char, 4096> chunk{};
  for (;;) {
    asio::error_code ec;
    const std::size_t got =
        co_await errors->async_read_some(asio::buffer(chunk), asio::redirect_error(asio::use_awaitable, ec));
    auto self = weak.lock();
    if (!self || ec) co_return;
    self->stderr_tail_.append(chunk.data(), got);
    if (self->stderr_tail_.size() > kStderrTailBytes) {
      self->stderr_tail_.erase(0, self->stderr_tail_.size() - kStderrTailBytes);
    }
  }
}

void Connection::dispatch(const json& message) {
  if (message.contains("id")) {
    resolve(message);
    return;
  }
  const std::string guid = message.value("guid", "");
  const std::string method = message.value("method", "");
  static const json kNoParams = json::object();
  auto params_it = message.find("params");
  const json& params = params_it != message.end() && params_it->is_object() ? *params_it : kNoParams;
  if (method == "__create__") {
    create_object(guid, params);
  } else if (method == "__adopt__") {
    adopt(guid, params.at("guid").get<std::string>());
  } else if (method == "__dispose__") {
    dispose(guid);
  } else if (auto object = find(guid)) {
    object->on_event(method, params);
  }
}

void Connection::resolve(const json& message) {
  auto it = pending_.find(message.at("id").get<int>());
  if (it == pending_.end()) return;  // an answer to post()
  auto pending = it->second;
  pending_.erase(it);
  if (message.contains("error") && !message.contains("result")) {
    const std::string text = pending->api_name + ": " + driver_error_text(message);
    pending->failure = is_timeout_error(message) ? std::make_exception_ptr(TimeoutError(text))
                                                 : std::make_exception_ptr(Error(text));
  } else {
    pending->result = message.value("result", json::object());
  }
  pending->waiter.notify();
}

void Connection::create_object(const std::string& parent_guid, const json& params) {
  std::string guid = params.at("guid").get<std::string>();
  auto object = make_remote_object(weak_from_this(), guid, params.at("type").get<std::string>(),
                                   params.value("initializer", json::object()));
  object->parent_guid_ = parent_guid;
  if (auto parent = find(parent_guid)) parent->children_.insert(guid);
  objects_[guid] = object;
  object->on_created(*this);
}

void Connection::adopt(const std::string& parent_guid, const std::string& child_guid) {
  auto child = find(child_guid);
  auto parent = find(parent_guid);
  if (!child || !parent) return;
  if (auto old_parent = find(child->parent_guid_)) old_parent->children_.erase(child_guid);
  parent->children_.insert(child_guid);
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
  for (auto& [id, call] : pending) {
    call->failure = std::make_exception_ptr(Error(call->api_name + ": " + reason));
    call->waiter.notify();
  }
  auto objects = std::move(objects_);
  objects_.clear();
  for (auto& [guid, object] : objects) object->on_dispose();
}

std::string Connection::driver_exit_reason() const {
  if (stopping_) return std::string(kConnectionGone);
  std::string reason = "the Playwright driver exited unexpectedly";
  if (!stderr_tail_.empty()) reason += ":\n" + stderr_tail_;
  return reason;
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
