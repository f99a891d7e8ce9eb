// A one-line "still working" display on standard error while a browser
// operation runs: the operation's name and the seconds elapsed, redrawn in
// place once a second. It draws nothing when standard error is not a
// terminal. pause() clears the line while a console prompt waits for the
// user (see ConsoleRedirect), so prompts are never overwritten.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace ravik::cli {

class ProgressIndicator {
 public:
  // Ticks on `loop`; `label` names the operation, e.g. "collect".
  ProgressIndicator(asio::io_context& loop, std::string label);
  ~ProgressIndicator();
  ProgressIndicator(const ProgressIndicator&) = delete;
  ProgressIndicator& operator=(const ProgressIndicator&) = delete;

  // Draws the line now and then every second until stop().
  void start();
  // Clears the line and stops drawing for good; the loop no longer waits on it.
  void stop();
  // Clears the line and suspends drawing; may be called from any thread.
  void pause();
  // Resumes drawing after pause(); may be called from any thread.
  void resume();

 private:
  void schedule_tick();
  void draw_locked();
  void clear_locked();

  asio::steady_timer timer_;
  std::string label_;
  bool enabled_;
  std::chrono::steady_clock::time_point started_{};
  std::mutex mutex_;
  bool running_ = false;
  int pause_depth_ = 0;
  bool drawn_ = false;
};

}  // namespace ravik::cli
