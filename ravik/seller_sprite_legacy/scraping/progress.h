// Progress of a collector operation: the steps a flow reports as it reaches
// them, for a caller that wants to show where a long operation is (the
// collector itself shows nothing). Hand an observer to the collector through
// ScraperSettings::progress; without one nothing is reported.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ravik::seller_sprite_legacy::scraping {

// What a flow is about to do. Each step is reported as it begins, so the
// latest step is the one under way.
enum class ProgressStage {
  starting_browser,       // the driver and Chromium start
  opening_page,           // `detail`: the address
  checking_login,         // the captcha check and the login test
  logging_in,             // the automatic login with the account
  filling_form,           // the search form, the query, the phrase length
  waiting_for_responses,  // `sections_arrived` of `sections_awaited` are in; reported again at each arrival
  archiving,              // the page archive and the saved captures; `detail`: the section
  trend_row,              // row `row` of `row_count` opens its trend drawer; `detail`: the row's keyword
  trend_tab,              // tab `tab` of `tab_count` (`tab_label`) of row `row` of `row_count`; `detail`: the keyword
  closing_browser,        // the browser closes, after the flow finished or failed
};

struct ProgressStep {
  ProgressStage stage = ProgressStage::starting_browser;
  std::string detail{};
  std::vector<std::string> sections_arrived{};  // in the order awaited
  std::vector<std::string> sections_awaited{};
  int row = 0;  // 1-based
  int row_count = 0;
  int tab = 0;  // 1-based
  int tab_count = 0;
  std::string tab_label{};
};

// Called on the operation's own thread, between its browser steps: it
// should return quickly. Whatever it throws is dropped; a step that cannot
// be shown never changes what the operation does.
using ProgressObserver = std::function<void(const ProgressStep&)>;

}  // namespace ravik::seller_sprite_legacy::scraping
