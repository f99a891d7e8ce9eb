// A one-line "still working" display on standard error while a browser
// operation runs: the operation's name, or the collector step under way
// (ProgressLine), and the time elapsed, redrawn in place once a second. It
// draws nothing when standard error is not a terminal. pause() clears the
// line while a console prompt waits for the user (see CommandConsole), so
// prompts are never overwritten. With step lines on (--verbose), each step
// is also written as a line of its own with a timestamp, terminal or not.
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

#include "cli/progress_steps.h"

namespace ravik::cli {

class ProgressIndicator {
 public:
  // Ticks on `loop` every `tick_period`; `label` names the operation, e.g.
  // "collect"; `step_lines`: write each step as a line of its own.
  ProgressIndicator(asio::io_context& loop, std::string label,
                    std::chrono::milliseconds tick_period = std::chrono::seconds(1), bool step_lines = false);
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
  // Shows `step` as the step under way from now on (and writes its line
  // with step lines on); may be called from any thread.
  void show_step(const ProgressStep& step);

 private:
  struct State {
    State(asio::io_context& loop, std::string label, std::chrono::milliseconds tick_period, bool step_lines)
        : timer(loop),
          tick_period(tick_period),
          step_lines(step_lines),
          line(std::move(label), std::chrono::steady_clock::now()) {}
    void draw_locked();
    void clear_locked();

    asio::steady_timer timer;  // used on the loop's thread only
    const std::chrono::milliseconds tick_period;
    const bool step_lines;
    std::mutex mutex;  // guards the fields below
    ProgressLine line;
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
