#include "ravik/required.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

namespace ravik {
namespace {

struct PageArgs {
  Required<std::int64_t> page_size;
};

// Whether `PageArgs{.page_size = value}` compiles for a value of type V.
template <typename V>
concept PageSizeFrom = requires(V value) { PageArgs{.page_size = value}; };

// An integer argument takes integers that fit, and no floating-point or
// boolean value: those would be truncated or taken for a number silently.
static_assert(PageSizeFrom<int>);
static_assert(PageSizeFrom<std::int64_t>);
static_assert(PageSizeFrom<const std::int64_t&>);
static_assert(PageSizeFrom<unsigned>);
static_assert(!PageSizeFrom<double>);
static_assert(!PageSizeFrom<float>);
static_assert(!PageSizeFrom<bool>);
static_assert(!PageSizeFrom<std::uint64_t>);  // may not fit

// Other arithmetic members refuse narrowing too; other types are unchanged.
static_assert(std::is_constructible_v<Required<double>, float>);
static_assert(!std::is_constructible_v<Required<double>, std::int64_t>);
static_assert(!std::is_constructible_v<Required<float>, double>);
static_assert(!std::is_constructible_v<Required<bool>, int>);
static_assert(std::is_constructible_v<Required<bool>, bool>);
static_assert(std::is_constructible_v<Required<std::string>, const char*>);
static_assert(!std::is_default_constructible_v<Required<std::int64_t>>);

TEST(RequiredTest, KeepsTheValueGiven) {
  const PageArgs args{.page_size = 50};
  EXPECT_EQ(args.page_size.get(), 50);
}

}  // namespace
}  // namespace ravik
