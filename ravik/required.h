// Required<T>: a member of an argument struct that a caller cannot leave out.
//
// Argument structs are filled with designated initializers, which stand for
// the system's "by name only" arguments. A member of type Required<T> has no
// default constructor, so a call that omits it does not compile:
//
//   struct CollectArgs { Required<Options> options; std::optional<Json> account; };
//   collect({.options = o});   // fine
//   collect({});               // compile error: options is required
//
// A number never loses value on the way in: an arithmetic member accepts an
// arithmetic value only without narrowing (`.page_size = 2.5` does not
// compile for Required<std::int64_t>), and a boolean is no number nor a
// number a boolean.
#pragma once

#include <type_traits>
#include <utility>

namespace ravik {

namespace required_detail {

// True when a `U` can initialize a `T` without losing its value or its kind.
template <typename T, typename U>
concept LosslessFrom = []() {
  using Source = std::remove_cvref_t<U>;
  if constexpr (std::is_arithmetic_v<T> && std::is_arithmetic_v<Source>) {
    if constexpr (std::is_same_v<T, bool> != std::is_same_v<Source, bool>) {
      return false;
    } else {
      return requires(U&& value) { T{std::forward<U>(value)}; };  // braces refuse narrowing
    }
  } else {
    return std::is_constructible_v<T, U&&>;
  }
}();

}  // namespace required_detail

template <typename T>
class Required {
 public:
  Required() = delete;
  template <typename U>
    requires required_detail::LosslessFrom<T, U>
  Required(U&& value) : value_(std::forward<U>(value)) {}  // NOLINT: implicit on purpose

  const T& get() const& { return value_; }
  T& get() & { return value_; }
  T&& get() && { return std::move(value_); }
  const T& operator*() const& { return value_; }
  const T* operator->() const { return &value_; }
  operator const T&() const& { return value_; }  // NOLINT: implicit on purpose

 private:
  T value_;
};

}  // namespace ravik
