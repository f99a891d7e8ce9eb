// A one-line "still working" display on standard error while a browser
// operation runs: the operation's name and the seconds elapsed, redrawn in
// place once a second. It draws nothing when standard error is not a
// terminal. pause() clears the line while a console prompt waits for the
// user (see CommandConsole), so prompts are never overwritten.
//
// The indicator may go while a tick of its timer is already due on the loop
// (the tick and the operation's last step finished in the same pass, so
// stop() came too late to cancel it): the timer and the drawing state live
// in a shared record that the pending tick holds only weakly, so such a
// tick finds the indicator gone and does nothing.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace ravik::cli {

class ProgressIndicator {
 public:
  // Ticks on `loop` every `tick_period`; `label` names the operation, e.g. "collect".
  ProgressIndicator(asio::io_context& loop, std::string label,
                    std::chrono::milliseconds tick_period = std::chrono::seconds(1));
  ~ProgressIndicator();
  ProgressIndicator(const ProgressIndicator&) = delete;
  ProgressIndicator& operator=(const ProgressIndicator&) = delete;

  // Draws the line now and then every tick until stop().
  void start();
  // Clears the line and stops drawing for good; the loop no longer waits on it.
  void stop();
  // Clears the line and suspends drawing; may be called from any thread.
  void pause();
  // Resumes drawing after pause(); may be called from any thread.
  void resume();
  // Names the operation anew, e.g. the item a batch is at; redraws at once.
  void set_label(std::string label);

 private:
  struct State {
    State(asio::io_context& loop, std::string label, std::chrono::milliseconds tick_period)
        : timer(loop), tick_period(tick_period), label(std::move(label)) {}
    void draw_locked();
    void clear_locked();

    asio::steady_timer timer;  // used on the loop's thread only
    const std::chrono::milliseconds tick_period;
    std::chrono::steady_clock::time_point started{};
    std::mutex mutex;  // guards the fields below
    std::string label;
    bool running = false;
    int pause_depth = 0;
    bool drawn = false;
  };

  // Arms the timer for the next tick of `state`.
  static void schedule_tick(const std::shared_ptr<State>& state);

  const bool enabled_;
  const std::shared_ptr<State> state_;
};

}  // namespace ravik::cli
