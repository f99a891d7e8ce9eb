// Request handlers of the stand-in site, grouped by page family, and the
// helpers they share for answering.
#pragma once

#include <string>
#include <string_view>

#include "ravik/json.h"
#include "standin/internal/site_state.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace standin {

// The research pages, the static page files and the site root.
void add_page_routes(httplib::Server& server, SiteState& state);
// Login form, captcha, second confirmation and logout.
void add_login_routes(httplib::Server& server, SiteState& state);
// The JSON background calls.
void add_api_routes(httplib::Server& server, SiteState& state);

// The record of `request`, without form values.
RecordedRequest record_of(const httplib::Request& request);

// Answers with the embedded HTML page `name`, its "<!--STATE-->" marker
// replaced by a script that sets `window.STANDIN` to `page_state`.
void send_page(httplib::Response& response, std::string_view name, const ravik::Json& page_state);

// Answers with a redirect to `location` (a path on this site).
void send_redirect(httplib::Response& response, const std::string& location);

// `callback` when it is a path on this site, else the keyword-mining page;
// a callback pointing at another origin is never followed.
std::string safe_callback(const std::string& callback);

}  // namespace standin
