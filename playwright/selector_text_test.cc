// Client-side selector composition, which must match what the official
// bindings send so that Playwright's engine reads it the same way.
#include <gtest/gtest.h>

#include "playwright/error.h"
#include "playwright/internal/selector_text.h"
#include "playwright/locator.h"

namespace playwright {
namespace {

TEST(SelectorTextTest, LocatorCompositionMatchesTheOfficialBindings) {
  const Locator base(nullptr, "div.row");
  const struct {
    Locator locator;
    std::string expected;
  } cases[] = {
      {base.first(), "div.row >> nth=0"},
      {base.nth(3), "div.row >> nth=3"},
      {base.locator("span"), "div.row >> span"},
      {base.filter({.has_text = "美国站"}), "div.row >> internal:has-text=\"美国站\"i"},
      {base.filter({}), "div.row"},
      {base.filter({.has_text = "say \"hi\"\\"}).first(), "div.row >> internal:has-text=\"say \\\"hi\\\"\\\\\"i >> nth=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.locator.selector(), c.expected);
  }
}

TEST(SelectorTextTest, TextSelectorsAreJsonQuotedAndRejectBrokenUtf8) {
  EXPECT_EQ(detail::escape_for_text_selector("关键词\n", false), "\"关键词\\n\"i");
  EXPECT_EQ(detail::escape_for_text_selector("x", true), "\"x\"s");
  EXPECT_THROW(detail::escape_for_text_selector("\xff", false), Error);
}

}  // namespace
}  // namespace playwright
