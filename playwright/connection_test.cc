// The connection against a stand-in driver: whatever the driver sends or
// fails to send (corrupt frames, malformed messages, an early end, silence at
// the start), the connection closes with an Error that says what happened and
// fails every call; nothing crashes or hangs. And the host's interrupt.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/this_coro.hpp>
#include <gtest/gtest.h>

#include "playwright/error.h"
#include "playwright/fake_driver.h"
#include "playwright/internal/connection.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/internal/waiter.h"
#include "playwright/playwright.h"

namespace playwright {
namespace {

using detail::Connection;
using detail::ConnectionLimits;
using nlohmann::json;
using std::chrono::milliseconds;
using testing::FakeDriver;
using testing::frame;

// Generous: only a case that is about them comes near.
const ConnectionLimits kLimits{.start_timeout = milliseconds(20000), .stderr_drain = milliseconds(20000)};

// Runs the coroutine of `make_operation()` on `loop` until it completes
// (the connection's reader may still wait on the driver); rethrows its
// failure.
template <typename MakeOperation>
void run(asio::io_context& loop, MakeOperation&& make_operation) {
  std::exception_ptr failure;
  bool done = false;
  asio::co_spawn(loop, make_operation(), [&](std::exception_ptr e) {
    failure = e;
    done = true;
  });
  while (!done && loop.run_one() > 0) {
  }
  ASSERT_TRUE(done) << "the loop ran out of work before the operation ended";
  if (failure) std::rethrow_exception(failure);
}

// The text of the Error that `operation` fails with; fails the test when it
// fails otherwise or not at all. A time-out or interrupt is not taken for
// the plain Error.
std::string error_of(asio::io_context& loop, const std::function<asio::awaitable<void>()>& operation) {
  try {
    run(loop, operation);
  } catch (const TimeoutError& e) {
    ADD_FAILURE() << "a TimeoutError: " << e.what();
  } catch (const InterruptedError& e) {
    ADD_FAILURE() << "an InterruptedError: " << e.what();
  } catch (const Error& e) {
    return e.what();
  }
  ADD_FAILURE() << "no Error";
  return "";
}

json create(const std::string& parent, const std::string& type, const std::string& guid, json initializer) {
  return {{"guid", parent},
          {"method", "__create__"},
          {"params", {{"type", type}, {"guid", guid}, {"initializer", std::move(initializer)}}}};
}

// A call started apart: the test awaits its end later.
class StartedCall {
 public:
  StartedCall(const asio::any_io_executor& executor, asio::awaitable<void> operation)
      : state_(std::make_shared<State>(executor)) {
    asio::co_spawn(executor, std::move(operation), [state = state_](std::exception_ptr e) {
      state->failure = e;
      state->done.notify();
    });
  }
  // Awaits the end; answers its failure, null for success.
  asio::awaitable<std::exception_ptr> failure() {
    co_await state_->done.wait();
    co_return state_->failure;
  }

 private:
  struct State {
    explicit State(const asio::any_io_executor& executor) : done(executor) {}
    detail::Waiter done;
    std::exception_ptr failure;
  };
  std::shared_ptr<State> state_;
};

asio::awaitable<void> call(std::shared_ptr<Connection> connection, std::string guid, std::string method,
                           std::string api_name, bool closes = false) {
  const detail::CallOptions options{.api_name = api_name, .closes = closes};
  json params = json::object();
  co_await connection->call(guid, method, std::move(params), options);
}

asio::awaitable<void> start_connection(FakeDriver& driver) { co_await Connection::start(driver.endpoint(), kLimits); }

std::string what(const std::exception_ptr& failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

template <typename E>
bool is_a(const std::exception_ptr& failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const E&) {
    return true;
  } catch (...) {
  }
  return false;
}

struct StartCase {
  const char* name;
  // What the driver writes before it goes silent.
  std::function<void(FakeDriver&)> driver;
  // The start's failure begins with "Playwright.start: " and this.
  std::string expected;
  ConnectionLimits limits = kLimits;
};

TEST(ConnectionStartTest, EveryFaultOfTheDriverFailsTheStartWithItsReason) {
  const std::string corrupt = "the Playwright driver's output is corrupt";
  const std::string malformed = "the Playwright driver sent a malformed message: ";
  const std::string exited = "the Playwright driver exited unexpectedly";
  const json frame_ref = {{"guid", "frame@1"}};
  const std::vector<StartCase> cases = {
      {"stray text on the output announces a huge frame",
       [](FakeDriver& d) {
         d.write_stderr("(node:12) Warning: something\n");
         d.send_raw("abc warning: something\n");
       },
       corrupt + " (a message of 543384161 bytes announced):\n(node:12) Warning: something"},
      {"a frame just over the cap", [](FakeDriver& d) { d.send_raw(frame("").replace(0, 4, "\x01\x00\x00\x10", 4)); },
       corrupt + " (a message of 268435457 bytes announced)"},
      {"a frame that is not JSON", [](FakeDriver& d) { d.send_raw(frame("{\"id\": 1, ")); },
       corrupt + " (a message that is not JSON)"},
      {"JSON that is not an object", [](FakeDriver& d) { d.send_raw(frame("[1, 2]")); },
       malformed + "not a JSON object"},
      {"an event without a guid", [](FakeDriver& d) { d.send({{"method", "navigated"}, {"params", json::object()}}); },
       malformed + "an event without a guid"},
      {"a guid that is a number", [](FakeDriver& d) { d.send({{"guid", 5}, {"method", "navigated"}}); },
       malformed + "an event without a guid"},
      {"an event without a method", [](FakeDriver& d) { d.send({{"guid", ""}}); },
       malformed + "an event without a method"},
      {"parameters that are a list",
       [](FakeDriver& d) { d.send({{"guid", ""}, {"method", "__create__"}, {"params", json::array()}}); },
       malformed + "the parameters of \"__create__\" are not a JSON object"},
      {"__create__ without a guid",
       [](FakeDriver& d) {
         d.send({{"guid", ""}, {"method", "__create__"}, {"params", {{"type", "Frame"}, {"initializer", json::object()}}}});
       },
       malformed + "\"__create__\" without a guid"},
      {"__create__ without a type",
       [](FakeDriver& d) {
         d.send({{"guid", ""}, {"method", "__create__"}, {"params", {{"guid", "x"}, {"initializer", json::object()}}}});
       },
       malformed + "\"__create__\" of \"x\" without a type"},
      {"__create__ without an initializer",
       [](FakeDriver& d) {
         d.send({{"guid", ""}, {"method", "__create__"}, {"params", {{"guid", "x"}, {"type", "Frame"}}}});
       },
       malformed + "\"__create__\" of Frame \"x\" without an initializer"},
      {"__create__ under an unknown parent",
       [](FakeDriver& d) { d.send(create("context@9", "Page", "page@1", json::object())); },
       malformed + "\"__create__\" of Page \"page@1\" under the unknown object \"context@9\""},
      {"__create__ of an object that exists",
       [](FakeDriver& d) {
         d.send(create("", "Frame", "frame@1", json::object()));
         d.send(create("", "Frame", "frame@1", json::object()));
       },
       malformed + "\"__create__\" of Frame \"frame@1\", which exists already"},
      {"a page without a main frame, then the answer to initialize",
       [](FakeDriver& d) {
         d.send(create("", "Page", "page@1", json::object()));
         d.send_handshake();
       },
       malformed + "Page \"page@1\" names no known main frame"},
      {"a page whose main frame is unknown",
       [&](FakeDriver& d) { d.send(create("", "Page", "page@1", {{"mainFrame", frame_ref}})); },
       malformed + "Page \"page@1\" names no known main frame"},
      {"a frame whose address is a number",
       [](FakeDriver& d) { d.send(create("", "Frame", "frame@1", {{"url", 5}})); },
       malformed + "\"__create__\" of Frame \"frame@1\": [json.exception.type_error"},
      {"an event of a frame with a wrong type",
       [](FakeDriver& d) {
         d.send(create("", "Frame", "frame@1", json::object()));
         d.send({{"guid", "frame@1"}, {"method", "navigated"}, {"params", {{"url", json::array()}}}});
       },
       malformed + "\"navigated\" for Frame \"frame@1\": [json.exception.type_error"},
      {"__adopt__ of an unknown object",
       [](FakeDriver& d) { d.send({{"guid", ""}, {"method", "__adopt__"}, {"params", {{"guid", "page@7"}}}}); },
       malformed + "\"__adopt__\" of the unknown object \"page@7\""},
      {"__adopt__ by an unknown object",
       [](FakeDriver& d) {
         d.send(create("", "Frame", "frame@1", json::object()));
         d.send({{"guid", "page@7"}, {"method", "__adopt__"}, {"params", {{"guid", "frame@1"}}}});
       },
       malformed + "\"__adopt__\" for the unknown object \"page@7\""},
      {"__adopt__ under its own descendant",
       [](FakeDriver& d) {
         d.send(create("", "Frame", "frame@1", json::object()));
         d.send(create("frame@1", "Frame", "frame@2", json::object()));
         d.send({{"guid", "frame@2"}, {"method", "__adopt__"}, {"params", {{"guid", "frame@1"}}}});
       },
       malformed + "\"__adopt__\" of \"frame@1\" under itself"},
      {"__dispose__ of an unknown object", [](FakeDriver& d) { d.send({{"guid", "page@7"}, {"method", "__dispose__"}}); },
       malformed + "\"__dispose__\" for the unknown object \"page@7\""},
      {"an event of an unknown object",
       [](FakeDriver& d) { d.send({{"guid", "page@7"}, {"method", "close"}, {"params", json::object()}}); },
       malformed + "\"close\" for the unknown object \"page@7\""},
      {"an answer to a call never made", [](FakeDriver& d) { d.send({{"id", 7}, {"result", json::object()}}); },
       malformed + "an answer to call 7, which was never made"},
      {"an answer whose result is a number", [](FakeDriver& d) { d.send({{"id", 1}, {"result", 5}}); },
       malformed + "an answer to call 1 whose result is not a JSON object"},
      {"an id that is text", [](FakeDriver& d) { d.send({{"id", "1"}, {"result", json::object()}}); },
       malformed + "an answer whose id is not an integer"},
      {"the end in the middle of a frame",
       [](FakeDriver& d) {
         d.send_raw(frame(R"({"id": 1, "result": {}})").substr(0, 10));
         d.write_stderr("Error: Cannot find module 'x'\n    at node:internal\n");
         d.close_stdout();
         d.close_stderr();
       },
       exited + ":\nError: Cannot find module 'x'\n    at node:internal"},
      {"an end whose last words come after the output closed",
       [](FakeDriver& d) {
         d.close_stdout();
         d.write_stderr("first line\n");
         d.write_stderr("last line\n");
         d.close_stderr();
       },
       exited + ":\nfirst line\nlast line"},
      {"an end while something still holds the error output",
       [](FakeDriver& d) {
         d.write_stderr("killed by the OOM killer\n");
         d.close_stdout();
       },
       exited + ":\nkilled by the OOM killer",
       {.start_timeout = milliseconds(20000), .stderr_drain = milliseconds(50)}},
      {"a long error output keeps its whole last lines",
       [](FakeDriver& d) {
         for (int i = 0; i < 1000; ++i) d.write_stderr("noise noise noise\n");
         d.write_stderr("the cause\n");
         d.close_stdout();
         d.close_stderr();
       },
       exited + ":\nnoise noise noise\n"},
      {"silence after the start",
       [](FakeDriver& d) { d.write_stderr("still loading\n"); },
       "the Playwright driver did not answer within 100 ms of its start:\nstill loading",
       {.start_timeout = milliseconds(100), .stderr_drain = milliseconds(20000)}},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    asio::io_context loop;
    FakeDriver driver(loop.get_executor());
    c.driver(driver);
    const std::string error = error_of(loop, [&]() -> asio::awaitable<void> {
      co_await Connection::start(driver.endpoint(), c.limits);
    });
    EXPECT_EQ(error.rfind("Playwright.start: " + c.expected, 0), 0u) << error;
    if (std::string_view(c.name).starts_with("a long")) {
      EXPECT_TRUE(error.ends_with("\nthe cause")) << error;
    }
  }
}

TEST(ConnectionTest, AMalformedMessageFailsEveryPendingCallAndEveryLaterOne) {
  asio::io_context loop;
  FakeDriver driver(loop.get_executor());
  driver.send_handshake();
  run(loop, [&]() -> asio::awaitable<void> {
    auto connection = co_await Connection::start(driver.endpoint(), kLimits);
    auto executor = co_await asio::this_coro::executor;
    co_await driver.receive();  // "initialize"
    StartedCall first(executor, call(connection, "Playwright", "waitForSelector", "Locator.wait_for"));
    StartedCall second(executor, call(connection, "Playwright", "goto", "Page.goto"));
    co_await driver.receive();
    co_await driver.receive();
    driver.send(create("", "Page", "page@1", json::object()));

    const std::string reason = "the Playwright driver sent a malformed message: Page \"page@1\" names no known main frame";
    const std::exception_ptr first_failure = co_await first.failure();
    const std::exception_ptr second_failure = co_await second.failure();
    EXPECT_EQ(what(first_failure), "Locator.wait_for: " + reason);
    EXPECT_EQ(what(second_failure), "Page.goto: " + reason);
    EXPECT_TRUE(connection->closed());
    try {
      co_await call(connection, "Playwright", "content", "Page.content");
      ADD_FAILURE() << "a call after the close was made";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Page.content: " + reason);
    }
    co_await connection->stop();
  });
}

TEST(ConnectionTest, InterruptFailsWaitingCallsAndLaterOnesButLetsClosingCallsThrough) {
  asio::io_context loop;
  FakeDriver driver(loop.get_executor());
  driver.send(create("", "Frame", "frame@1", {{"url", "about:blank"}, {"loadStates", json::array()}}));
  driver.send_handshake();
  run(loop, [&]() -> asio::awaitable<void> {
    auto connection = co_await Connection::start(driver.endpoint(), kLimits);
    auto executor = co_await asio::this_coro::executor;
    auto frame = connection->find_as<detail::FrameImpl>({{"guid", "frame@1"}});
    EXPECT_TRUE(frame);
    if (!frame) co_return;

    co_await driver.receive();  // "initialize"
    // One call waits for the driver, one wait is kept by the client.
    StartedCall driver_wait(executor, call(connection, "frame@1", "waitForSelector", "Locator.wait_for"));
    StartedCall load_wait(executor, frame->wait_for_load_state("networkidle", milliseconds(0)));
    const json abandoned = co_await driver.receive();
    interrupt_all("已中断");
    const std::exception_ptr driver_wait_failure = co_await driver_wait.failure();
    const std::exception_ptr load_wait_failure = co_await load_wait.failure();
    EXPECT_TRUE(is_a<InterruptedError>(driver_wait_failure));
    EXPECT_EQ(what(driver_wait_failure), "Locator.wait_for: 已中断");
    EXPECT_TRUE(is_a<InterruptedError>(load_wait_failure));
    EXPECT_EQ(what(load_wait_failure), "Page.wait_for_load_state: 已中断");

    // A later call fails at once without reaching the driver; a closing
    // call still goes, and the abandoned call's late answer is let be.
    EXPECT_THROW(co_await call(connection, "frame@1", "goto", "Page.goto"), InterruptedError);
    StartedCall close(executor, call(connection, "context@1", "close", "BrowserContext.close", /*closes=*/true));
    const json close_message = co_await driver.receive();
    EXPECT_EQ(close_message.value("method", ""), "close");
    driver.send({{"id", abandoned["id"]}, {"result", json::object()}});
    driver.send({{"id", close_message["id"]}, {"result", json::object()}});
    const std::exception_ptr close_failure = co_await close.failure();
    EXPECT_EQ(what(close_failure), "");
    EXPECT_FALSE(connection->closed());
    co_await connection->stop();
    EXPECT_TRUE(connection->closed());
  });
}

TEST(ConnectionTest, InterruptDuringTheStartFailsIt) {
  asio::io_context loop;
  FakeDriver driver(loop.get_executor());
  run(loop, [&]() -> asio::awaitable<void> {
    auto executor = co_await asio::this_coro::executor;
    StartedCall start(executor, start_connection(driver));
    co_await driver.receive();  // "initialize"
    interrupt_all("已中断");
    const std::exception_ptr failure = co_await start.failure();
    EXPECT_TRUE(is_a<InterruptedError>(failure));
    EXPECT_EQ(what(failure), "Playwright.start: 已中断");
  });
}

}  // namespace
}  // namespace playwright
