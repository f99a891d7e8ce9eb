#include "cli/progress_indicator.h"

#include <unistd.h>

#include <string_view>

namespace ravik::cli {
namespace {

constexpr std::string_view kClearLine = "\r\x1b[K";

void write_stderr(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

ProgressIndicator::ProgressIndicator(asio::io_context& loop, std::string label,
                                     std::chrono::milliseconds tick_period, bool step_lines)
    : enabled_(isatty(STDERR_FILENO) == 1),
      state_(std::make_shared<State>(loop, std::move(label), tick_period, step_lines)) {}

ProgressIndicator::~ProgressIndicator() { stop(); }

void ProgressIndicator::start() {
  {
    std::lock_guard lock(state_->mutex);
    state_->line.restart(std::chrono::steady_clock::now());
    if (!enabled_) return;
    state_->running = true;
    state_->draw_locked();
  }
  schedule_tick(state_);
}

void ProgressIndicator::stop() {
  std::lock_guard lock(state_->mutex);
  if (!state_->running) return;
  state_->running = false;
  state_->timer.cancel();
  state_->clear_locked();
}

void ProgressIndicator::pause() {
  std::lock_guard lock(state_->mutex);
  ++state_->pause_depth;
  state_->clear_locked();
}

void ProgressIndicator::resume() {
  std::lock_guard lock(state_->mutex);
  if (state_->pause_depth > 0) --state_->pause_depth;
  state_->draw_locked();
}

void ProgressIndicator::show_step(const ProgressStep& step) {
  std::lock_guard lock(state_->mutex);
  const auto now = std::chrono::steady_clock::now();
  state_->line.note(step, now);
  if (state_->step_lines) {
    state_->clear_locked();
    write_stderr(step_log_line(step, std::chrono::system_clock::now(), state_->line.elapsed(now)) + "\n");
  }
  state_->draw_locked();
}

void ProgressIndicator::schedule_tick(const std::shared_ptr<State>& state) {
  state->timer.expires_after(state->tick_period);
  state->timer.async_wait([weak_state = std::weak_ptr<State>(state)](const std::error_code& error) {
    const std::shared_ptr<State> state = weak_state.lock();
    if (error || !state) return;
    {
      std::lock_guard lock(state->mutex);
      if (!state->running) return;
      state->draw_locked();
    }
    schedule_tick(state);
  });
}

void ProgressIndicator::State::draw_locked() {
  if (!running || pause_depth > 0) return;
  write_stderr(std::string(kClearLine) + line.text(std::chrono::steady_clock::now()));
  drawn = true;
}

void ProgressIndicator::State::clear_locked() {
  if (!drawn) return;
  write_stderr(kClearLine);
  drawn = false;
}

}  // namespace ravik::cli
