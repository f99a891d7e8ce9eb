// The console hand-over of the login flows: a prompt on standard output and
// one line read from standard input, on a worker thread, while the event
// loop keeps serving the browser.
#pragma once

#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "ravik/export/scraper_export.h"

namespace ravik::seller_sprite_legacy::scraping {

// Standard input ended before the user pressed Enter.
class RAVIK_SCRAPER_EXPORT ConsoleInputClosedError : public std::runtime_error {
 public:
  ConsoleInputClosedError() : std::runtime_error("终端输入已结束，未收到回车") {}
};

// Writes `prompt` (no line end) to std::cout and waits until one line has
// been read from std::cin; the line itself is dropped. The read runs on its
// own thread and the result comes back to the calling coroutine's executor,
// so the loop is never blocked. Throws ConsoleInputClosedError at end of input.
RAVIK_SCRAPER_EXPORT asio::awaitable<void> prompt_and_wait_for_enter(std::string prompt);

}  // namespace ravik::seller_sprite_legacy::scraping
