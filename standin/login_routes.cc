// The login page and what follows a submitted account: the login cookie and
// redirect, or a captcha, or the second-confirmation page; and logout.
#include <httplib.h>

#include "standin/internal/routes.h"

namespace standin {
namespace {

constexpr std::string_view kCaptchaPath = "/w/user/login/captcha";

std::string session_cookie() {
  return std::string(kSessionCookie) + "=" + std::string(kSessionValue) +
         "; Max-Age=" + std::to_string(kSessionMaxAgeSeconds) + "; Path=/; HttpOnly; SameSite=Lax";
}

// The callback of a login request: from its form fields, else its query.
std::string callback_of(const httplib::Request& request) {
  return safe_callback(request.get_param_value("callback"));
}

void send_login_page(httplib::Response& response, const Switches& switches, const std::string& callback,
                     const std::string& username, const std::string& error, const std::string& captcha_ticket) {
  send_page(response, "login.html",
            ravik::Json{{"callback", callback},
                        {"username", username},
                        {"error", error},
                        {"captchaTicket", captcha_ticket},
                        {"qrCodeOnly", switches.qr_code_login_only}});
}

void log_in_and_redirect(httplib::Response& response, const std::string& callback) {
  response.set_header("Set-Cookie", session_cookie());
  send_redirect(response, callback);
}

void handle_login_form(const httplib::Request& request, httplib::Response& response, SiteState& state) {
  state.record(record_of(request));
  const std::string callback = callback_of(request);
  const std::string username = request.get_param_value("username");
  const Switches switches = state.switches();
  if (username != kDemoUsername || request.get_param_value("password") != kDemoPassword) {
    send_login_page(response, switches, callback, username, "账号或密码错误", "");
    return;
  }
  if (switches.captcha_at_login) {
    send_login_page(response, switches, callback, username, "", state.issue_ticket());
  } else if (switches.second_confirmation) {
    send_redirect(response, std::string(kConfirmPath) + "?callback=" + httplib::detail::encode_query_param(callback) +
                                "&ticket=" + state.issue_ticket());
  } else {
    log_in_and_redirect(response, callback);
  }
}

// Finishes a login held by a captcha or a confirmation: a valid ticket logs
// in, anything else goes back to the login page.
void handle_ticket(const httplib::Request& request, httplib::Response& response, SiteState& state) {
  state.record(record_of(request));
  const std::string callback = callback_of(request);
  if (state.redeem_ticket(request.get_param_value("ticket"))) {
    log_in_and_redirect(response, callback);
  } else {
    send_redirect(response, std::string(kLoginPath) + "?callback=" + callback);
  }
}

}  // namespace

void add_login_routes(httplib::Server& server, SiteState& state) {
  server.Get(std::string(kLoginPath), [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    const std::string callback = callback_of(request);
    const Switches switches = state.switches();
    if (is_logged_in(request, switches)) {
      send_redirect(response, callback);
    } else {
      send_login_page(response, switches, callback, "", "", "");
    }
  });
  server.Post(std::string(kLoginPath), [&state](const httplib::Request& request, httplib::Response& response) {
    handle_login_form(request, response, state);
  });
  server.Post(std::string(kCaptchaPath), [&state](const httplib::Request& request, httplib::Response& response) {
    handle_ticket(request, response, state);
  });
  server.Get(std::string(kConfirmPath), [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    send_page(response, "confirm.html",
              ravik::Json{{"callback", callback_of(request)}, {"ticket", request.get_param_value("ticket")}});
  });
  server.Post(std::string(kConfirmPath), [&state](const httplib::Request& request, httplib::Response& response) {
    handle_ticket(request, response, state);
  });
  server.Get(std::string(kLogoutPath), [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    response.set_header("Set-Cookie", std::string(kSessionCookie) + "=; Max-Age=0; Path=/; HttpOnly; SameSite=Lax");
    send_redirect(response, std::string(kLoginUrlPath));
  });
}

}  // namespace standin
