// Helpers of the search-flow browser tests: result checks, saved JSON files,
// and a profile logged in once per test program.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ravik/json.h"
#include "ravik/seller_sprite_legacy/scraping/testing/collector_fixture.h"

namespace ravik::seller_sprite_legacy::scraping::testing {

// The keys of a result dictionary, in order.
inline std::vector<std::string> keys_of(const Json& result) {
  std::vector<std::string> keys;
  for (const auto& entry : result.items()) keys.push_back(entry.key());
  return keys;
}

inline Json read_json_file(const std::string& path) {
  std::ifstream in(path);
  return Json::parse(in);
}

// "missing_sections" is `sections` and "errors" one missing record for each.
inline void expect_missing(const Json& result, const std::vector<std::string>& sections) {
  Json errors = Json::array();
  for (const std::string& section : sections) {
    errors.push_back({{"code", "SELLER_SPRITE_RESPONSE_MISSING"}, {"message", section + " 响应未捕获"}});
  }
  EXPECT_EQ(result["missing_sections"], Json(sections));
  EXPECT_EQ(result["errors"], errors);
}

// The form values of the last search call the site received on `path`.
inline standin::FormValues last_form(std::string_view path) {
  const auto calls = site().requests_to(path);
  if (calls.empty() || !calls.back().form) throw std::runtime_error("no search call to " + std::string(path));
  return *calls.back().form;
}

// Logs the profile in on first call. Tests that forget the profile log it in
// again through their own automatic login. The site's request log then
// starts empty, whether this call logged in or an earlier test did.
inline void ensure_logged_in() {
  static bool logged_in = false;
  if (!logged_in) log_profile_in();
  logged_in = true;
  site().clear_requests();
}

}  // namespace ravik::seller_sprite_legacy::scraping::testing
