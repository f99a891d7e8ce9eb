#include "tests/support/scoped_environment_variable.h"

#include <stdlib.h>

#include <utility>

namespace ravik::test_support {

namespace {

void set_or_remove(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const char* value) : name_(std::move(name)) {
  if (const char* old = ::getenv(name_.c_str())) saved_ = old;
  set_or_remove(name_, value ? std::optional<std::string>(value) : std::nullopt);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::string& value)
    : ScopedEnvironmentVariable(std::move(name), value.c_str()) {}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { set_or_remove(name_, saved_); }

}  // namespace ravik::test_support
