// Server-level tests of the stand-in site: login, page states, API answer
// modes, recorded form values and shutdown, through an HTTP client on loopback.
#include "standin/site.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "ravik/json.h"

namespace standin {
namespace {

using namespace std::chrono_literals;
using ravik::Json;

const httplib::Headers kNoHeaders;

class SiteTest : public ::testing::Test {
 protected:
  void SetUp() override { origin_ = site_.start(); }

  httplib::Client client() const {
    httplib::Client client(origin_);
    client.set_connection_timeout(2s);
    client.set_read_timeout(10s);
    return client;
  }

  // Posts the demo account to the login form at `path`.
  httplib::Result post_demo_account(const std::string& path = std::string(kLoginUrlPath)) const {
    return client().Post(path, httplib::Params{{"username", std::string(kDemoUsername)},
                                               {"password", std::string(kDemoPassword)}});
  }

  // The Cookie header of a session obtained through the login form.
  std::string log_in() {
    auto answer = post_demo_account();
    EXPECT_TRUE(answer);
    const std::string cookie = answer->get_header_value("Set-Cookie");
    return cookie.substr(0, cookie.find(';'));
  }

  httplib::Result post_api(std::string_view path, const Json& body, const std::string& cookie) {
    return client().Post(std::string(path), httplib::Headers{{"Cookie", cookie}}, body.dump(), "application/json");
  }

  // The state object that the server put into a page for its script.
  static Json page_state(const std::string& html) {
    constexpr std::string_view kStart = "window.STANDIN = ";
    const auto start = html.find(kStart);
    if (start == std::string::npos) return nullptr;
    const auto end = html.find(";</script>", start);
    return Json::parse(html.substr(start + kStart.size(), end - start - kStart.size()));
  }

  Site site_;
  std::string origin_;
};

TEST_F(SiteTest, OriginIsLoopbackWithChosenPort) {
  EXPECT_EQ(site_.origin(), origin_);
  EXPECT_TRUE(origin_.starts_with("http://127.0.0.1:"));
  EXPECT_THROW(site_.start(), SiteError);
  Site rival;
  const auto port = static_cast<std::uint16_t>(std::stoi(origin_.substr(origin_.rfind(':') + 1)));
  EXPECT_THROW(rival.start(port), SiteError);
  site_.stop();
  EXPECT_EQ(site_.origin(), "");
}

TEST_F(SiteTest, CorrectAccountSetsExpiringCookieAndRedirectsToCallback) {
  auto answer = post_demo_account();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 302);
  EXPECT_EQ(answer->get_header_value("Location"), kKeywordMinerPath);
  const std::string cookie = answer->get_header_value("Set-Cookie");
  EXPECT_TRUE(cookie.starts_with(std::string(kSessionCookie) + "=")) << cookie;
  EXPECT_NE(cookie.find("Max-Age=2592000"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("Path=/"), std::string::npos) << cookie;

  // Once logged in, the login page sends the browser straight on.
  auto again = client().Get(std::string(kLoginUrlPath), httplib::Headers{{"Cookie", log_in()}});
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 302);
  EXPECT_EQ(again->get_header_value("Location"), kKeywordMinerPath);
}

TEST_F(SiteTest, WrongAccountStaysOnLoginPageWithError) {
  for (const auto& [username, password] : std::vector<std::pair<std::string, std::string>>{
           {std::string(kDemoUsername), "wrong"}, {"someone@else.test", std::string(kDemoPassword)}, {"", ""}}) {
    SCOPED_TRACE(username + " / " + password);
    auto answer = client().Post(std::string(kLoginUrlPath), httplib::Params{{"username", username}, {"password", password}});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_FALSE(answer->has_header("Set-Cookie"));
    EXPECT_EQ(answer->get_header_value("Content-Type"), "text/html; charset=utf-8");
    const Json state = page_state(answer->body);
    EXPECT_EQ(state["error"], "账号或密码错误");
    EXPECT_EQ(state["username"], username);
  }
}

TEST_F(SiteTest, CallbackToAnotherOriginIsNotFollowed) {
  for (const std::string callback : {"//evil.example/x", "https://evil.example/", "/\\evil.example", "v3/keyword-reverse"}) {
    SCOPED_TRACE(callback);
    auto answer = post_demo_account("/w/user/login?callback=" + httplib::detail::encode_query_param(callback));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->get_header_value("Location"), kKeywordMinerPath);
  }
  auto local = post_demo_account("/w/user/login?callback=/v3/keyword-reverse");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->get_header_value("Location"), kKeywordReversePath);
}

TEST_F(SiteTest, CaptchaAtLoginHoldsTheLoginUntilSolvedOnce) {
  site_.update_switches([](Switches& s) { s.captcha_at_login = true; });
  auto answer = post_demo_account();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_FALSE(answer->has_header("Set-Cookie"));
  const std::string ticket = page_state(answer->body)["captchaTicket"];
  ASSERT_FALSE(ticket.empty());

  const httplib::Params solve{{"ticket", ticket}, {"callback", "/v3/keyword-reverse"}};
  auto solved = client().Post("/w/user/login/captcha", solve);
  ASSERT_TRUE(solved);
  EXPECT_EQ(solved->get_header_value("Location"), kKeywordReversePath);
  EXPECT_TRUE(solved->has_header("Set-Cookie"));

  auto reused = client().Post("/w/user/login/captcha", solve);
  ASSERT_TRUE(reused);
  EXPECT_TRUE(reused->get_header_value("Location").starts_with(kLoginPath));
  EXPECT_FALSE(reused->has_header("Set-Cookie"));
}

TEST_F(SiteTest, SecondConfirmationWaitsForTheConfirmButton) {
  site_.update_switches([](Switches& s) { s.second_confirmation = true; });
  auto answer = post_demo_account();
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->has_header("Set-Cookie"));
  const std::string location = answer->get_header_value("Location");
  ASSERT_TRUE(location.starts_with(std::string(kConfirmPath) + "?")) << location;

  auto page = client().Get(location);
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("确认登录"), std::string::npos);
  const Json state = page_state(page->body);
  EXPECT_EQ(state["callback"], kKeywordMinerPath);

  auto confirmed = client().Post(std::string(kConfirmPath),
                                 httplib::Params{{"ticket", state["ticket"].get<std::string>()},
                                                 {"callback", state["callback"].get<std::string>()}});
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->get_header_value("Location"), kKeywordMinerPath);
  EXPECT_TRUE(confirmed->has_header("Set-Cookie"));
}

TEST_F(SiteTest, ResearchPagesStateFollowsCookieAndSwitches) {
  const std::string cookie = log_in();
  struct Case {
    const char* name;
    bool with_cookie;
    std::function<void(Switches&)> change;
    bool logged_in, guest, captcha;
  };
  const std::vector<Case> cases = {
      {"no cookie", false, [](Switches&) {}, false, false, false},
      {"cookie", true, [](Switches&) {}, true, false, false},
      {"logged out switch", true, [](Switches& s) { s.logged_out = true; }, false, false, false},
      {"guest switch", true, [](Switches& s) { s.guest = true; }, false, true, false},
      {"captcha switch", true, [](Switches& s) { s.captcha = true; }, true, false, true},
  };
  for (const auto& c : cases) {
    for (std::string_view path : {kKeywordMinerPath, kKeywordReversePath}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::string(path));
      site_.set_switches({});
      site_.update_switches(c.change);
      auto page = client().Get(std::string(path), c.with_cookie ? httplib::Headers{{"Cookie", cookie}} : kNoHeaders);
      ASSERT_TRUE(page);
      EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
      EXPECT_NE(page->body.find("<meta charset=\"utf-8\">"), std::string::npos);
      const Json state = page_state(page->body);
      EXPECT_EQ(state["loggedIn"], c.logged_in);
      EXPECT_EQ(state["guest"], c.guest);
      EXPECT_EQ(state["captcha"], c.captcha);
      EXPECT_EQ(state["page"], path == kKeywordMinerPath ? "miner" : "reverse");
    }
  }
}

TEST_F(SiteTest, PageFilesAreServedWithUtf8Types) {
  for (const auto& [path, type] : std::vector<std::pair<std::string, std::string>>{
           {"/static/site.css", "text/css; charset=utf-8"}, {"/static/research.js", "application/javascript; charset=utf-8"}}) {
    SCOPED_TRACE(path);
    auto answer = client().Get(path);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->get_header_value("Content-Type"), type);
    EXPECT_FALSE(answer->body.empty());
  }
  for (const std::string missing : {"/static/nothing.js", "/static/login.html", "/static/../site.h"}) {
    SCOPED_TRACE(missing);
    auto answer = client().Get(missing);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 404);
  }
}

TEST_F(SiteTest, ApiNeedsLoginAndAWellFormedBodyAndIgnoresUnusablePhraseCounts) {
  auto anonymous = post_api(kKeywordMinerApi, Json{{"keyword", "yoga mat"}}, "");
  ASSERT_TRUE(anonymous);
  EXPECT_EQ(anonymous->status, 401);
  EXPECT_EQ(Json::parse(anonymous->body)["code"], "NOT_LOGIN");

  const std::string cookie = log_in();
  site_.clear_requests();
  for (const Json& count : {Json(4294967296LL), Json(-4294967296LL), Json("3x"), Json(2.5)}) {
    SCOPED_TRACE(count.dump());
    ASSERT_TRUE(post_api(kKeywordMinerFrequencyApi, Json{{"keyword", "yoga mat"}, {"phraseCount", count}}, cookie));
  }
  for (const auto& request : site_.requests()) EXPECT_EQ(request.form->phrase_count, std::nullopt) << request.body;

  auto broken = client().Post(std::string(kKeywordMinerApi), httplib::Headers{{"Cookie", cookie}}, "{not json",
                              "application/json");
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->status, 400);
}

TEST_F(SiteTest, RecordsTheFormValuesOfEverySearchCall) {
  const std::string cookie = log_in();
  site_.clear_requests();
  ASSERT_TRUE(post_api(kKeywordMinerFrequencyApi,
                       Json{{"site", "de"}, {"period", "30d"}, {"keyword", "yoga mat"}, {"phraseCount", -1}}, cookie));
  ASSERT_TRUE(client().Post(std::string(kReversingApi) + "?market=JP", httplib::Headers{{"Cookie", cookie}},
                            Json{{"site", "jp"}, {"period", "90d"}, {"asin", "B0C1234567"}}.dump(), "application/json"));
  ASSERT_TRUE(client().Get(std::string(kTrendApiPrefix) + "aba?keyword=yoga%20mat&site=de",
                           httplib::Headers{{"Cookie", cookie}}));

  const auto requests = site_.requests();
  ASSERT_EQ(requests.size(), 3u);
  const FormValues& frequency = requests[0].form.value();
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, kKeywordMinerFrequencyApi);
  EXPECT_EQ(frequency.site, "de");
  EXPECT_EQ(frequency.period, "30d");
  EXPECT_EQ(frequency.keyword, "yoga mat");
  EXPECT_EQ(frequency.phrase_count, -1);

  EXPECT_EQ(requests[1].query, "market=JP");
  EXPECT_EQ(requests[1].form->asin, "B0C1234567");
  EXPECT_EQ(requests[1].form->period, "90d");
  EXPECT_EQ(requests[1].form->phrase_count, std::nullopt);

  EXPECT_EQ(requests[2].path, "/v3/api/trends/aba");
  EXPECT_EQ(requests[2].form->keyword, "yoga mat");
  EXPECT_EQ(site_.requests_to(kReversingApi).size(), 1u);

  site_.clear_requests();
  EXPECT_TRUE(site_.requests().empty());
}

TEST_F(SiteTest, PayloadsCarryTheRequestedRowsAndKeywords) {
  const std::string cookie = log_in();
  site_.update_switches([](Switches& s) {
    s.result_rows = 3;
    s.payload_keywords = 1;
  });
  struct Case {
    std::string_view path;
    const char* subject_key;
    const char* keyword_key;
  };
  for (const Case& c : {Case{kKeywordMinerApi, "keyword", "keyword"}, Case{kReversingApi, "asin", "keywords"}}) {
    SCOPED_TRACE(std::string(c.path));
    auto answer = post_api(c.path, Json{{"site", "us"}, {"period", "30d"}, {c.subject_key, "yoga mat"}}, cookie);
    ASSERT_TRUE(answer);
    const Json payload = Json::parse(answer->body);
    EXPECT_EQ(payload["code"], "OK");
    const Json& items = payload["data"]["items"];
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0][c.keyword_key].is_string());
    for (std::size_t i = 1; i < items.size(); ++i) {
      EXPECT_FALSE(items[i].contains("keyword"));
      EXPECT_FALSE(items[i].contains("keywords"));
      EXPECT_TRUE(items[i]["term"].is_string());
    }
  }
  auto frequency = post_api(kKeywordMinerFrequencyApi, Json{{"keyword", "yoga mat"}, {"phraseCount", 2}}, cookie);
  ASSERT_TRUE(frequency);
  const Json words = Json::parse(frequency->body)["data"]["items"];
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words[0]["keyword"], "yoga mat");
}

TEST_F(SiteTest, AnswerModesShapeTheBody) {
  const std::string cookie = log_in();
  const Json body{{"site", "us"}, {"period", "30d"}, {"keyword", "yoga mat"}};
  const auto normal = post_api(kKeywordMinerApi, body, cookie);
  ASSERT_TRUE(normal);
  const Json ordinary = Json::parse(normal->body);
  ASSERT_EQ(ordinary["data"]["items"].size(), 20u);

  site_.update_switches([](Switches& s) {
    s.api_modes[std::string(kKeywordMinerApi)] = AnswerMode::empty;
    s.large_body_bytes = 3u << 20;
  });
  auto empty = post_api(kKeywordMinerApi, body, cookie);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->body, "{}");

  site_.update_switches([](Switches& s) { s.api_modes[std::string(kKeywordMinerApi)] = AnswerMode::non_json; });
  auto html = post_api(kKeywordMinerApi, body, cookie);
  ASSERT_TRUE(html);
  EXPECT_TRUE(Json::parse(html->body, nullptr, false).is_discarded());
  EXPECT_EQ(html->get_header_value("Content-Type"), "text/html; charset=utf-8");

  site_.update_switches([](Switches& s) { s.api_modes[std::string(kKeywordMinerApi)] = AnswerMode::large; });
  auto large = post_api(kKeywordMinerApi, body, cookie);
  ASSERT_TRUE(large);
  EXPECT_GE(large->body.size(), 3u << 20);
  EXPECT_EQ(Json::parse(large->body)["data"]["items"], ordinary["data"]["items"]);

  // Other paths keep answering normally.
  auto other = post_api(kKeywordMinerFrequencyApi, body, cookie);
  ASSERT_TRUE(other);
  EXPECT_EQ(Json::parse(other->body)["code"], "OK");
}

TEST_F(SiteTest, LateAnswerComesAfterTheDelay) {
  const std::string cookie = log_in();
  site_.update_switches([](Switches& s) {
    s.api_modes[std::string(kReverseStatsApi)] = AnswerMode::late;
    s.late_ms = 300ms;
  });
  const auto started = std::chrono::steady_clock::now();
  auto late = post_api(kReverseStatsApi, Json{{"asin", "B0C1234567"}}, cookie);
  ASSERT_TRUE(late);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  EXPECT_EQ(Json::parse(late->body)["code"], "OK");
}

TEST_F(SiteTest, NeverAnsweringRequestIsReleasedByStop) {
  const std::string cookie = log_in();
  site_.update_switches([](Switches& s) { s.api_modes[std::string(kReverseFrequencyApi)] = AnswerMode::never; });

  auto impatient = client();
  impatient.set_read_timeout(300ms);
  auto timed_out = impatient.Post(std::string(kReverseFrequencyApi), httplib::Headers{{"Cookie", cookie}}, "{}",
                                  "application/json");
  EXPECT_FALSE(timed_out);

  // A second held request, still waiting when the site stops.
  std::thread waiting([&] {
    auto patient = client();
    patient.set_read_timeout(60s);
    patient.Post(std::string(kReverseFrequencyApi), httplib::Headers{{"Cookie", cookie}}, "{}", "application/json");
  });
  while (site_.requests_to(kReverseFrequencyApi).size() < 2) std::this_thread::yield();
  const auto started = std::chrono::steady_clock::now();
  site_.stop();
  waiting.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(SiteRestart, ServesAgainAfterStop) {
  Site site({.result_rows = 2});
  site.start();
  site.stop();
  const std::string origin = site.start();
  httplib::Client client(origin);
  auto answer = client.Get(std::string(kKeywordMinerPath));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(site.switches().result_rows, 2);
}

}  // namespace
}  // namespace standin
