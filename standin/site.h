// The local stand-in for the SellerSprite keyword-research web site.
//
// `Site` serves, on 127.0.0.1, the login page, the keyword-mining and the
// keyword-reverse pages and the JSON background calls those pages make, with
// the DOM shapes of the real site's component library, so that a browser
// collector runs end to end against it. Tests steer it through `Switches`
// (captcha, logged out, slow or broken API answers, ...) and read back what
// the pages sent through `requests()`.
//
// Login state: posting the demo account to the login page sets the cookie
// `kSessionCookie` (Max-Age 30 days, Path=/, HttpOnly) and redirects to the
// page named by `callback`. The research pages check that cookie when they are
// served; without it (or with `Switches::logged_out`) they show "未登录", with
// `Switches::guest` they show "游客", and in both cases no search form and no
// data; their API calls (all but the heartbeat) then answer 401 with the code
// "NOT_LOGIN". The cookie's value is fixed, so a browser profile that logged in once
// stays logged in on later runs of the stand-in, on any port.
//
// Captcha: when shown (on the research pages with `Switches::captcha`, on the
// login page with `Switches::captcha_at_login`), the page holds a visible
// element `#captcha.captcha-container` carrying the text "请完成安全验证" and a
// slider `.slider-captcha`; no other page carries any of these. Apart from
// that, `Switches::captcha_frame` puts a third-party style captcha frame
// (`iframe.captcha-frame` whose src holds "captcha", loading nothing) on the
// research pages beside their normal content.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ravik/export/standin_export.h"

namespace standin {

// The demo account that the login page accepts.
inline constexpr std::string_view kDemoUsername = "demo@ravik.test";
inline constexpr std::string_view kDemoPassword = "ravik-demo";

// Name of the login cookie.
inline constexpr std::string_view kSessionCookie = "ss_session";

// Page paths.
inline constexpr std::string_view kLoginPath = "/w/user/login";
inline constexpr std::string_view kLoginUrlPath = "/w/user/login?callback=/v3/keyword-miner";
// The second-confirmation page (its path contains the login path on purpose:
// until the user confirms, nobody is logged in).
inline constexpr std::string_view kConfirmPath = "/w/user/login/confirm";
inline constexpr std::string_view kLogoutPath = "/w/user/logout";
inline constexpr std::string_view kKeywordMinerPath = "/v3/keyword-miner";
inline constexpr std::string_view kKeywordReversePath = "/v3/keyword-reverse";

// Background calls of the pages (JSON answers).
inline constexpr std::string_view kKeywordMinerApi = "/v3/api/keyword-miner";
inline constexpr std::string_view kKeywordMinerFrequencyApi = "/v3/api/keyword-miner/high/frequency-new";
inline constexpr std::string_view kReversingApi = "/v3/api/relation/reversing";
inline constexpr std::string_view kReverseFrequencyApi = "/v3/api/relation/ta/high-frequency-words-new";
inline constexpr std::string_view kReverseMonthlyApi = "/v3/api/relation/ta/monthly";
inline constexpr std::string_view kReverseStatsApi = "/v3/api/relation/stat-keywords";
// Trend drawer calls: this prefix followed by the tab key ("search", "google",
// "aba", "ppc", "market"), e.g. "/v3/api/trends/aba?keyword=yoga%20mat".
inline constexpr std::string_view kTrendApiPrefix = "/v3/api/trends/";
// The periodic call of a page whose network never goes idle.
inline constexpr std::string_view kHeartbeatApi = "/v3/api/user/heartbeat";

// How the site answers one API path.
enum class AnswerMode {
  normal,    // the ordinary JSON payload
  never,     // holds the request until the site stops
  late,      // the ordinary payload after `Switches::late_ms`
  empty,     // the JSON body "{}"
  non_json,  // an HTML error page instead of JSON (status 200)
  large,     // a valid payload padded to at least `Switches::large_body_bytes`
};

// A third-party captcha frame on the research pages.
enum class CaptchaFrame {
  none,
  badge,      // a visible 40x24 badge in the corner, as invisible captchas show
  hidden,     // a full-size frame with visibility:hidden
  challenge,  // a visible 300x300 challenge a person has to solve
};

// Behaviour switches of one site; read afresh for every request.
struct Switches {
  bool captcha = false;              // research pages show a captcha instead of their content
  bool captcha_at_login = false;     // a correct login shows a captcha instead of redirecting
  bool second_confirmation = false;  // a correct login leads to the confirmation page first
  bool logged_out = false;           // research pages show "未登录" even with the cookie
  bool guest = false;                // research pages show "游客" even with the cookie
  bool network_never_idle = false;   // pages keep a `kHeartbeatApi` call in flight (read at page load)
  CaptchaFrame captcha_frame = CaptchaFrame::none;  // research pages carry this captcha frame
  bool qr_code_login_only = false;   // the login page shows only its QR-code login: no password field
  bool hide_query_button = false;    // research pages have no query button (a form the collector cannot send)
  // A search for this keyword breaks the keyword-mining page: its phrase
  // length choice goes away, so a collector that sets it runs into its
  // time-out. Empty: no keyword does.
  std::string broken_keyword{};
  bool rename_drawer_close_button = false;  // the trend drawer's close button loses its class "close-btn"
  // Answer mode per API path (exact path, without query); absent means normal.
  std::map<std::string, AnswerMode, std::less<>> api_modes{};
  std::chrono::milliseconds late_ms{4000};
  std::size_t large_body_bytes = 8u << 20;
  // Result rows of a keyword list (keyword mining and reverse), 0..500.
  int result_rows = 20;
  // How many of those rows carry their text under "keyword"/"keywords" in the
  // payload; the others carry it only under "term". Absent: all of them.
  std::optional<int> payload_keywords{};
};

// Search form values that a page sent with one API call.
struct FormValues {
  std::string site{};    // marketplace code chosen in the dropdown, e.g. "us"
  std::string period{};  // period code chosen in the dropdown, e.g. "30d"
  std::string keyword{};
  std::string asin{};
  std::optional<int> phrase_count{};  // frequency calls only
};

// One request the site received.
struct RecordedRequest {
  std::string method;
  std::string path;
  std::string query;  // raw query text, without "?"
  std::string body;
  // The search and trend calls only: the search form values they carried
  // (a trend call carries its "keyword" and "site" query values).
  std::optional<FormValues> form;
};

// Raised when the site cannot start (port taken, already started).
class RAVIK_STANDIN_EXPORT SiteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One stand-in site served on a background thread pool; thread-safe.
class RAVIK_STANDIN_EXPORT Site {
 public:
  explicit Site(Switches switches = {});
  ~Site();  // stops the site
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  // Binds 127.0.0.1:`port` (0 picks a free port), starts serving and returns
  // the origin "http://127.0.0.1:PORT". Throws SiteError on failure.
  std::string start(std::uint16_t port = 0);
  // Stops serving; held and late requests are released. Idempotent; returns
  // promptly whatever requests are in progress.
  void stop();
  // "http://127.0.0.1:PORT" while started, else the empty text.
  std::string origin() const;

  Switches switches() const;
  void set_switches(Switches switches);
  // Changes some switches atomically, e.g.
  //   site.update_switches([](Switches& s) { s.captcha = true; });
  void update_switches(const std::function<void(Switches&)>& change);

  // Every request received so far, in arrival order.
  std::vector<RecordedRequest> requests() const;
  // The requests received for one exact path.
  std::vector<RecordedRequest> requests_to(std::string_view path) const;
  void clear_requests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace standin
