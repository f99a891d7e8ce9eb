// The console of the login hand-over: where the collector shows its prompt
// and waits for the user's Enter while the user works in the browser.
//
// The collector holds one Console (ScraperSettings::console) and awaits at
// most one prompt at a time through it. TerminalConsole, the default, is the
// process's terminal; a host passes its own console to put the prompt
// elsewhere or to end a wait early, and tests pass a scripted one.
#pragma once

#include <iostream>
#include <stdexcept>
#include <string>

#include <asio/awaitable.hpp>

#include "ravik/export/scraper_export.h"

namespace ravik::seller_sprite_legacy::scraping {

// The console delivered no line: its input ended before the user pressed
// Enter, or its owner ended the wait.
class RAVIK_SCRAPER_EXPORT ConsoleInputClosedError : public std::runtime_error {
 public:
  ConsoleInputClosedError() : std::runtime_error("终端输入已结束，未收到回车") {}
};

// What the collector asks the user through during a login hand-over.
class RAVIK_SCRAPER_EXPORT Console {
 public:
  virtual ~Console();

  // Shows `prompt` exactly as given (no line end added) and completes once
  // the user answered with one line, which is dropped. While it waits, the
  // awaiting coroutine's event loop stays free to serve the browser. Throws
  // ConsoleInputClosedError when no line can come.
  virtual asio::awaitable<void> prompt_and_wait_for_enter(std::string prompt) = 0;
};

// A console whose prompt and read are plain blocking calls: each wait runs
// them on a thread of its own and resumes the awaiting coroutine on its
// executor when they return, so the loop is never blocked.
class RAVIK_SCRAPER_EXPORT BlockingConsole : public Console {
 public:
  asio::awaitable<void> prompt_and_wait_for_enter(std::string prompt) final;

 protected:
  // Shows `prompt` and blocks until one line was read; throws
  // ConsoleInputClosedError when none can come. Runs on the worker thread.
  virtual void show_prompt_and_read_line(const std::string& prompt) = 0;
};

// The terminal: the prompt written to `out` and flushed, one line read from
// `in`. By default standard output and standard input; the streams are used,
// never rebound, and must outlive the console.
class RAVIK_SCRAPER_EXPORT TerminalConsole : public BlockingConsole {
 public:
  explicit TerminalConsole(std::istream& in = std::cin, std::ostream& out = std::cout) : in_(in), out_(out) {}

 protected:
  void show_prompt_and_read_line(const std::string& prompt) override;

 private:
  std::istream& in_;
  std::ostream& out_;
};

}  // namespace ravik::seller_sprite_legacy::scraping
