// Required<T>: a member of an argument struct that a caller cannot leave out.
//
// Argument structs are filled with designated initializers, which stand for
// the system's "by name only" arguments. A member of type Required<T> has no
// default constructor, so a call that omits it does not compile:
//
//   struct CollectArgs { Required<Options> options; std::optional<Json> account; };
//   collect({.options = o});   // fine
//   collect({});               // compile error: options is required
#pragma once

#include <utility>

namespace ravik {

template <typename T>
class Required {
 public:
  Required() = delete;
  template <typename U>
    requires std::is_constructible_v<T, U&&>
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
