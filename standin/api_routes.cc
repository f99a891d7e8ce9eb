// The JSON background calls of the research pages, answered according to the
// answer mode that the switches give each path.
#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <functional>

#include <httplib.h>

#include "standin/internal/payloads.h"
#include "standin/internal/routes.h"

namespace standin {
namespace {

constexpr std::string_view kJsonType = "application/json; charset=utf-8";
constexpr std::string_view kBrokenPage = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>502 Bad Gateway</title>"
                                         "</head><body><h1>502 Bad Gateway</h1></body></html>";
// How long a heartbeat is held while the network is never to be idle: the
// page's two staggered heartbeats then overlap.
constexpr std::chrono::milliseconds kNeverIdleHeartbeatHold{1000};
constexpr std::array<std::string_view, 5> kTrendTabs = {"search", "google", "aba", "ppc", "market"};

using PayloadMaker = std::function<ravik::Json(const FormValues&, const Switches&)>;

void send_json(httplib::Response& response, const ravik::Json& body, int status = 200) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(body.dump(), std::string(kJsonType));
}

// A text member of a request body, or the empty text.
std::string text_member(const ravik::Json& body, const char* key) {
  const auto found = body.find(key);
  return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The phrase count of a request body: an integer, or a text of an integer,
// within the range of int.
std::optional<int> phrase_count_member(const ravik::Json& body) {
  const auto found = body.find("phraseCount");
  if (found == body.end()) return std::nullopt;
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return static_cast<int>(value);
    return std::nullopt;
  }
  if (found->is_number_integer()) {
    const auto value = found->get<std::int64_t>();
    if (value >= std::numeric_limits<int>::min()) return static_cast<int>(value);
    return std::nullopt;
  }
  if (found->is_string()) {
    try {
      std::size_t used = 0;
      const int value = std::stoi(found->get<std::string>(), &used);
      if (used == found->get<std::string>().size()) return value;
    } catch (const std::exception&) {
    }
  }
  return std::nullopt;
}

// The search form values of a POST body, or nothing when it is not a JSON object.
std::optional<FormValues> form_of_body(const std::string& body) {
  const ravik::Json parsed = ravik::Json::parse(body, nullptr, false);
  if (!parsed.is_object()) return std::nullopt;
  return FormValues{
      .site = text_member(parsed, "site"),
      .period = text_member(parsed, "period"),
      .keyword = text_member(parsed, "keyword"),
      .asin = text_member(parsed, "asin"),
      .phrase_count = phrase_count_member(parsed),
  };
}

Search search_of(const FormValues& form, bool reverse) {
  return Search{.site = form.site, .period = form.period, .subject = reverse ? form.asin : form.keyword, .reverse = reverse};
}

// Answers `path` in the mode the switches give it, making the ordinary
// payload with `make` when the mode needs one.
void answer(httplib::Response& response, SiteState& state, const Switches& switches, const std::string& path,
            const std::function<ravik::Json()>& make) {
  const auto mode_entry = switches.api_modes.find(path);
  const AnswerMode mode = mode_entry == switches.api_modes.end() ? AnswerMode::normal : mode_entry->second;
  switch (mode) {
    case AnswerMode::normal:
      send_json(response, make());
      return;
    case AnswerMode::never:
      state.wait_for_stop();
      response.status = 503;
      return;
    case AnswerMode::late:
      if (!state.wait_unless_stopped(switches.late_ms)) {
        response.status = 503;
        return;
      }
      send_json(response, make());
      return;
    case AnswerMode::empty:
      response.set_content("{}", std::string(kJsonType));
      return;
    case AnswerMode::non_json:
      response.set_content(std::string(kBrokenPage), "text/html; charset=utf-8");
      return;
    case AnswerMode::large:
      response.set_content(padded_body(make(), switches.large_body_bytes), std::string(kJsonType));
      return;
  }
}

void send_not_logged_in(httplib::Response& response) {
  send_json(response, ravik::Json{{"code", "NOT_LOGIN"}, {"message", "请先登录"}}, 401);
}

// A search call: POST with the form values as a JSON body.
void add_search_api(httplib::Server& server, SiteState& state, std::string_view path, PayloadMaker make) {
  server.Post(std::string(path), [&state, make = std::move(make)](const httplib::Request& request,
                                                                 httplib::Response& response) {
    RecordedRequest record = record_of(request);
    record.form = form_of_body(request.body);
    state.record(record);
    const Switches switches = state.switches();
    if (!record.form) {
      send_json(response, ravik::Json{{"code", "BAD_REQUEST"}, {"message", "请求参数错误"}}, 400);
    } else if (!is_logged_in(request, switches)) {
      send_not_logged_in(response);
    } else {
      answer(response, state, switches, request.path, [&] { return make(*record.form, switches); });
    }
  });
}

}  // namespace

void add_api_routes(httplib::Server& server, SiteState& state) {
  add_search_api(server, state, kKeywordMinerApi, [](const FormValues& form, const Switches& switches) {
    return keyword_list_payload(search_of(form, false), switches.result_rows, switches.payload_keywords);
  });
  add_search_api(server, state, kKeywordMinerFrequencyApi, [](const FormValues& form, const Switches& switches) {
    return frequency_payload(search_of(form, false), switches.result_rows, form.phrase_count.value_or(1));
  });
  add_search_api(server, state, kReversingApi, [](const FormValues& form, const Switches& switches) {
    return keyword_list_payload(search_of(form, true), switches.result_rows, switches.payload_keywords);
  });
  add_search_api(server, state, kReverseFrequencyApi, [](const FormValues& form, const Switches& switches) {
    return frequency_payload(search_of(form, true), switches.result_rows, form.phrase_count.value_or(1));
  });
  add_search_api(server, state, kReverseMonthlyApi, [](const FormValues& form, const Switches&) {
    return monthly_payload(search_of(form, true));
  });
  add_search_api(server, state, kReverseStatsApi, [](const FormValues& form, const Switches& switches) {
    return stats_payload(search_of(form, true), switches.result_rows);
  });
  for (std::string_view tab : kTrendTabs) {
    server.Get(std::string(kTrendApiPrefix) + std::string(tab),
               [&state, tab](const httplib::Request& request, httplib::Response& response) {
                 RecordedRequest record = record_of(request);
                 record.form.emplace();
                 record.form->site = request.get_param_value("site");
                 record.form->keyword = request.get_param_value("keyword");
                 state.record(record);
                 const Switches switches = state.switches();
                 if (!is_logged_in(request, switches)) {
                   send_not_logged_in(response);
                   return;
                 }
                 answer(response, state, switches, request.path,
                        [&] { return trend_payload(tab, request.get_param_value("keyword")); });
               });
  }
  server.Get(std::string(kHeartbeatApi), [&state](const httplib::Request& request, httplib::Response& response) {
    state.record(record_of(request));
    if (state.switches().network_never_idle && !state.wait_unless_stopped(kNeverIdleHeartbeatHold)) {
      response.status = 503;
      return;
    }
    answer(response, state, state.switches(), request.path,
           [] { return ravik::Json{{"code", "OK"}, {"data", {{"online", true}}}}; });
  });
}

}  // namespace standin
