// Small helpers of the search-flow browser tests: result key order, saved
// JSON files, and a profile logged in once per test program.
#pragma once

#include <fstream>
#include <string>
#include <vector>

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

// Logs the profile in on first call. Tests that forget the profile log it in
// again through their own automatic login.
inline void ensure_logged_in() {
  static bool logged_in = false;
  if (!logged_in) log_profile_in();
  logged_in = true;
}

}  // namespace ravik::seller_sprite_legacy::scraping::testing
