// run_then and undo_on_failure: which steps run, and which failure wins.
#include "playwright/run_then.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include <gtest/gtest.h>

namespace playwright {
namespace {

// Runs `operation` on a fresh loop; answers its value, or "error: <what>".
template <typename MakeOperation>
std::string outcome_of(MakeOperation make_operation) {
  asio::io_context loop;
  std::string outcome;
  asio::co_spawn(loop, make_operation(), [&](std::exception_ptr failure, int value) {
    if (!failure) {
      outcome = std::to_string(value);
      return;
    }
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      outcome = std::string("error: ") + error.what();
    }
  });
  loop.run();
  return outcome;
}

asio::awaitable<int> step(bool fails, const char* name, int value, int& runs) {
  ++runs;
  if (fails) throw std::runtime_error(name);
  co_return value;
}

asio::awaitable<void> cleanup_step(bool fails, int& runs) {
  ++runs;
  if (fails) throw std::runtime_error("cleanup");
  co_return;
}

struct Case {
  bool body_fails;
  bool cleanup_fails;
  std::string expected;
};

TEST(RunThenTest, CleanupAlwaysRunsAndTheBodysFailureWins) {
  const Case cases[] = {
      {false, false, "7"},
      {true, false, "error: body"},
      {false, true, "error: cleanup"},
      {true, true, "error: body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "body fails " << c.body_fails << ", cleanup fails " << c.cleanup_fails);
    int body_runs = 0;
    int cleanup_runs = 0;
    const std::string outcome = outcome_of([&] {
      return run_then([&] { return step(c.body_fails, "body", 7, body_runs); },
                      [&] { return cleanup_step(c.cleanup_fails, cleanup_runs); });
    });
    EXPECT_EQ(outcome, c.expected);
    EXPECT_EQ(body_runs, 1);
    EXPECT_EQ(cleanup_runs, 1);
  }
}

TEST(RunThenTest, PlainCleanupAndVoidBodyCompose) {
  std::vector<std::string> order;
  const std::string outcome = outcome_of([&]() -> asio::awaitable<int> {
    co_await run_then([&]() -> asio::awaitable<void> {
                        order.push_back("body");
                        co_return;
                      },
                      [&] { order.push_back("cleanup"); });
    co_return 1;
  });
  EXPECT_EQ(outcome, "1");
  EXPECT_EQ(order, (std::vector<std::string>{"body", "cleanup"}));
}

TEST(UndoOnFailureTest, UndoRunsOnlyAfterAFailureAndNeverHidesIt) {
  const Case cases[] = {
      {false, false, "7"},
      {false, true, "7"},  // undo not run, so its failure never happens
      {true, false, "error: body"},
      {true, true, "error: body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "body fails " << c.body_fails << ", undo fails " << c.cleanup_fails);
    int body_runs = 0;
    int undo_runs = 0;
    const std::string outcome = outcome_of([&] {
      return undo_on_failure([&] { return step(c.body_fails, "body", 7, body_runs); },
                             [&] { return cleanup_step(c.cleanup_fails, undo_runs); });
    });
    EXPECT_EQ(outcome, c.expected);
    EXPECT_EQ(body_runs, 1);
    EXPECT_EQ(undo_runs, c.body_fails ? 1 : 0);
  }
}

}  // namespace
}  // namespace playwright
