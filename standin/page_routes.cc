// The research pages (keyword mining and keyword reverse), the page files,
// and the answering helpers shared by all routes.
#include <httplib.h>

#include "standin/internal/embedded_pages.h"
#include "standin/internal/routes.h"

namespace standin {
namespace {

constexpr std::string_view kStateMarker = "<!--STATE-->";
constexpr std::string_view kStaticPrefix = "/static/";

std::string content_type_of(std::string_view name) {
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".js")) return "application/javascript; charset=utf-8";
  return "text/html; charset=utf-8";
}

// The JSON text of `value`, safe inside an HTML <script> element.
std::string script_json(const ravik::Json& value) {
  std::string text = value.dump();
  std::string safe;
  safe.reserve(text.size());
  for (char c : text) {
    if (c == '<') {
      safe += "\\u003c";
    } else {
      safe += c;
    }
  }
  return safe;
}

// The name of `frame` as the research page's script knows it; "" for none.
std::string_view captcha_frame_name(CaptchaFrame frame) {
  switch (frame) {
    case CaptchaFrame::none:
      return "";
    case CaptchaFrame::badge:
      return "badge";
    case CaptchaFrame::hidden:
      return "hidden";
    case CaptchaFrame::challenge:
      return "challenge";
  }
  return "";
}

void send_research_page(const httplib::Request& request, httplib::Response& response, SiteState& state,
                        std::string_view page) {
  state.record(record_of(request));
  const Switches switches = state.switches();
  const bool logged_in = is_logged_in(request, switches);
  send_page(response, "research.html",
            ravik::Json{{"page", page},
                        {"loggedIn", logged_in},
                        {"guest", switches.guest},
                        {"captcha", switches.captcha},
                        {"neverIdle", switches.network_never_idle},
                        {"hideQueryButton", switches.hide_query_button},
                        {"brokenKeyword", switches.broken_keyword},
                        {"closeButtonClass", switches.rename_drawer_close_button ? "drawer-close" : "close-btn"},
                        {"captchaFrame", captcha_frame_name(switches.captcha_frame)},
                        {"user", logged_in ? std::string(kDemoUsername) : std::string()}});
}

}  // namespace

RecordedRequest record_of(const httplib::Request& request) {
  const auto question = request.target.find('?');
  return RecordedRequest{
      .method = request.method,
      .path = request.path,
      .query = question == std::string::npos ? std::string() : request.target.substr(question + 1),
      .body = request.body,
      .form = std::nullopt,
  };
}

void send_page(httplib::Response& response, std::string_view name, const ravik::Json& page_state) {
  std::string html(embedded_page(name).value());
  const auto marker = html.find(kStateMarker);
  if (marker != std::string::npos) {
    html.replace(marker, kStateMarker.size(), "<script>window.STANDIN = " + script_json(page_state) + ";</script>");
  }
  response.set_header("Cache-Control", "no-store");
  response.set_content(html, "text/html; charset=utf-8");
}

void send_redirect(httplib::Response& response, const std::string& location) {
  response.status = 302;
  response.set_header("Location", location);
  response.set_header("Cache-Control", "no-store");
}

std::string safe_callback(const std::string& callback) {
  const bool local_path = callback.starts_with('/') && !callback.starts_with("//") &&
                          callback.find('\\') == std::string::npos &&
                          callback.find_first_of("\r\n") == std::string::npos;
  return local_path ? callback : std::string(kKeywordMinerPath);
}

void add_page_routes(httplib::Server& server, SiteState& state) {
  server.Get(std::string(kKeywordMinerPath), [&state](const httplib::Request& request, httplib::Response& response) {
    send_research_page(request, response, state, "miner");
  });
  server.Get(std::string(kKeywordReversePath), [&state](const httplib::Request& request, httplib::Response& response) {
    send_research_page(request, response, state, "reverse");
  });
  server.Get("/", [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    send_redirect(response, std::string(kKeywordMinerPath));
  });
  server.Get("/static/(.*)", [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    const std::string name = request.path.substr(kStaticPrefix.size());
    const auto content = name.ends_with(".html") ? std::nullopt : embedded_page(name);
    if (!content) {
      response.status = 404;
      response.set_content("页面不存在", "text/plain; charset=utf-8");
      return;
    }
    response.set_content(std::string(*content), content_type_of(name));
  });
}

}  // namespace standin
