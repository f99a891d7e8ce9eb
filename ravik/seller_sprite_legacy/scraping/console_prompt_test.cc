// The terminal console of the login hand-over, over streams the test owns:
// what it writes, how much it reads, end of input, and a loop left free
// while the user has not answered; and which console a collector uses.
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <streambuf>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "ravik/run_sync.h"
#include "ravik/seller_sprite_legacy/scraping/console_prompt.h"
#include "ravik/seller_sprite_legacy/scraping/seller_sprite_scraper.h"

namespace ravik::seller_sprite_legacy::scraping {
namespace {

constexpr char kPrompt[] = "完成后回到终端按回车继续...";

TEST(TerminalConsole, WritesThePromptAloneAndTakesOneLine) {
  const struct {
    const char* name;
    const char* input;
    bool answered;
    const char* left_unread;
  } cases[] = {
      {"Enter", "\n", true, ""},
      {"a line and more", "ok\nnext\n", true, "next\n"},
      {"a last line without line end", "ok", true, ""},
      {"nothing before the end", "", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(c.input);
    std::ostringstream out;
    auto console = std::make_shared<TerminalConsole>(in, out);
    bool answered = false;
    try {
      ravik::run_sync([&](asio::io_context&) { return console->prompt_and_wait_for_enter(kPrompt); });
      answered = true;
    } catch (const ConsoleInputClosedError& closed) {
      EXPECT_STREQ(closed.what(), "终端输入已结束，未收到回车");
    }
    EXPECT_EQ(answered, c.answered);
    EXPECT_EQ(out.str(), kPrompt) << "no line end is added";
    in.clear();
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.left_unread);
  }
}

// Reads a pipe byte by byte; after a minute without a byte it reports the
// end of input, so that a console blocking its own loop fails the test
// instead of hanging it.
class PipeInput : public std::streambuf {
 public:
  PipeInput() {
    if (::pipe(ends_) != 0) throw std::runtime_error("pipe failed");
  }
  ~PipeInput() override {
    ::close(ends_[0]);
    ::close(ends_[1]);
  }
  PipeInput(const PipeInput&) = delete;
  PipeInput& operator=(const PipeInput&) = delete;

  void write(std::string_view text) {
    ASSERT_EQ(::write(ends_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

 protected:
  int_type underflow() override {
    pollfd readable{.fd = ends_[0], .events = POLLIN, .revents = 0};
    if (::poll(&readable, 1, 60000) != 1 || ::read(ends_[0], &current_, 1) != 1) return traits_type::eof();
    setg(&current_, &current_, &current_ + 1);
    return traits_type::to_int_type(current_);
  }

 private:
  int ends_[2] = {-1, -1};
  char current_ = 0;
};

TEST(TerminalConsole, TheLoopRunsWhileTheUserHasNotAnswered) {
  PipeInput pipe;
  std::istream in(&pipe);
  std::ostringstream out;
  auto console = std::make_shared<TerminalConsole>(in, out);
  bool answered_from_the_loop = false;
  ravik::run_sync([&](asio::io_context& loop) -> asio::awaitable<void> {
    // The user's Enter comes from the loop itself: it arrives only if the
    // wait leaves the loop free.
    auto user = [&]() -> asio::awaitable<void> {
      co_await asio::post(loop, asio::use_awaitable);
      answered_from_the_loop = true;
      pipe.write("\n");
    };
    asio::co_spawn(loop, std::move(user), asio::detached);
    co_await console->prompt_and_wait_for_enter(kPrompt);
  });
  EXPECT_TRUE(answered_from_the_loop);
  EXPECT_EQ(out.str(), kPrompt);
}

TEST(ScraperSettings, TheCollectorPromptsThroughTheGivenConsoleOrElseTheTerminal) {
  EXPECT_NE(dynamic_cast<const TerminalConsole*>(SellerSpriteScraper().console.get()), nullptr);
  const auto given = std::make_shared<TerminalConsole>();
  EXPECT_EQ(SellerSpriteScraper({.console = given}).console, given);
}

}  // namespace
}  // namespace ravik::seller_sprite_legacy::scraping
