// SiteState: what the request handlers of one stand-in site share -- the
// switches, the record of requests, the login tickets and the stop signal
// that releases held requests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "standin/site.h"

namespace httplib {
struct Request;
}

namespace standin {

// The value of the login cookie that the site hands out and accepts.
inline constexpr std::string_view kSessionValue = "demo-session-7f3a9c";
// Login cookie lifetime: 30 days.
inline constexpr int kSessionMaxAgeSeconds = 30 * 24 * 3600;

class SiteState {
 public:
  explicit SiteState(Switches switches) : switches_(std::move(switches)) {}

  Switches switches() const;
  void set_switches(Switches switches);
  void update_switches(const std::function<void(Switches&)>& change);

  void record(RecordedRequest request);
  std::vector<RecordedRequest> requests() const;
  void clear_requests();

  // A fresh one-use ticket for a login waiting on a captcha or confirmation.
  std::string issue_ticket();
  // True (and the ticket used up) when `ticket` was issued and not yet used.
  bool redeem_ticket(const std::string& ticket);

  // Blocks until the site stops, or until `duration` has passed; answers true
  // when the full duration passed without a stop.
  bool wait_unless_stopped(std::chrono::milliseconds duration);
  // Blocks until the site stops.
  void wait_for_stop();
  void signal_stop();
  void reset_stop();

 private:
  mutable std::mutex mutex_;
  Switches switches_;
  std::vector<RecordedRequest> requests_;
  std::set<std::string> tickets_;
  std::condition_variable stop_changed_;
  bool stopping_ = false;
};

// True when the request carries the site's login cookie and the switches do
// not turn the visitor into a logged-out user or a guest.
bool is_logged_in(const httplib::Request& request, const Switches& switches);

}  // namespace standin
