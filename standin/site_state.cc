// SiteState: switches, request record, login tickets and the stop signal.
#include "standin/internal/site_state.h"

#include <cstdio>
#include <random>

#include <httplib.h>

namespace standin {

Switches SiteState::switches() const {
  std::lock_guard lock(mutex_);
  return switches_;
}

void SiteState::set_switches(Switches switches) {
  std::lock_guard lock(mutex_);
  switches_ = std::move(switches);
}

void SiteState::update_switches(const std::function<void(Switches&)>& change) {
  std::lock_guard lock(mutex_);
  change(switches_);
}

void SiteState::record(RecordedRequest request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
}

std::vector<RecordedRequest> SiteState::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void SiteState::clear_requests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

std::string SiteState::issue_ticket() {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  std::lock_guard lock(mutex_);
  tickets_.insert(text);
  return text;
}

bool SiteState::redeem_ticket(const std::string& ticket) {
  std::lock_guard lock(mutex_);
  return tickets_.erase(ticket) == 1;
}

bool SiteState::wait_unless_stopped(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !stop_changed_.wait_for(lock, duration, [this] { return stopping_; });
}

void SiteState::wait_for_stop() {
  std::unique_lock lock(mutex_);
  stop_changed_.wait(lock, [this] { return stopping_; });
}

void SiteState::signal_stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_changed_.notify_all();
}

void SiteState::reset_stop() {
  std::lock_guard lock(mutex_);
  stopping_ = false;
}

namespace {

bool has_session_cookie(const httplib::Request& request) {
  const std::string header = request.get_header_value("Cookie");
  std::string_view rest = header;
  while (!rest.empty()) {
    const auto end = rest.find(';');
    std::string_view pair = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    while (!pair.empty() && pair.back() == ' ') pair.remove_suffix(1);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos) continue;
    if (pair.substr(0, equals) == kSessionCookie && pair.substr(equals + 1) == kSessionValue) return true;
  }
  return false;
}

}  // namespace

bool is_logged_in(const httplib::Request& request, const Switches& switches) {
  return has_session_cookie(request) && !switches.logged_out && !switches.guest;
}

}  // namespace standin
