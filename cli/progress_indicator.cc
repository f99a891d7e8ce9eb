#include "cli/progress_indicator.h"

#include <unistd.h>

#include <string_view>

namespace ravik::cli {
namespace {

constexpr std::chrono::seconds kTickPeriod{1};
constexpr std::string_view kClearLine = "\r\x1b[K";

void write_stderr(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

ProgressIndicator::ProgressIndicator(asio::io_context& loop, std::string label)
    : timer_(loop), label_(std::move(label)), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressIndicator::~ProgressIndicator() { stop(); }

void ProgressIndicator::start() {
  if (!enabled_) return;
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    started_ = std::chrono::steady_clock::now();
    draw_locked();
  }
  schedule_tick();
}

void ProgressIndicator::stop() {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  running_ = false;
  timer_.cancel();
  clear_locked();
}

void ProgressIndicator::pause() {
  std::lock_guard lock(mutex_);
  ++pause_depth_;
  clear_locked();
}

void ProgressIndicator::resume() {
  std::lock_guard lock(mutex_);
  if (pause_depth_ > 0) --pause_depth_;
  draw_locked();
}

void ProgressIndicator::schedule_tick() {
  timer_.expires_after(kTickPeriod);
  timer_.async_wait([this](const std::error_code& error) {
    if (error) return;
    {
      std::lock_guard lock(mutex_);
      if (!running_) return;
      draw_locked();
    }
    schedule_tick();
  });
}

void ProgressIndicator::draw_locked() {
  if (!running_ || pause_depth_ > 0) return;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
  write_stderr(std::string(kClearLine) + label_ + " ... " + std::to_string(elapsed.count()) + "s");
  drawn_ = true;
}

void ProgressIndicator::clear_locked() {
  if (!drawn_) return;
  write_stderr(kClearLine);
  drawn_ = false;
}

}  // namespace ravik::cli
