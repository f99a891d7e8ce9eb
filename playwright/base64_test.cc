#include "playwright/internal/base64.h"

#include <gtest/gtest.h>

#include "playwright/error.h"

namespace playwright::detail {
namespace {

TEST(Base64Test, DecodesEveryPaddingLengthAndBinaryBytes) {
  const struct {
    std::string encoded;
    std::string decoded;
  } cases[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"5YWz6ZSu6K+N", "关键词"},
      {"AP+AfwA=", std::string("\x00\xff\x80\x7f\x00", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoded);
    EXPECT_EQ(base64_decode(c.encoded), c.decoded);
  }
}

TEST(Base64Test, RejectsForeignCharactersAndTruncatedInput) {
  EXPECT_THROW(base64_decode("Zm9v!"), Error);
  EXPECT_THROW(base64_decode("Zm9 v"), Error);
  EXPECT_THROW(base64_decode("Zm9vY"), Error);
}

}  // namespace
}  // namespace playwright::detail
