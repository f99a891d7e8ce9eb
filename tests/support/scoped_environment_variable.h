// ScopedEnvironmentVariable: sets or removes one environment variable for a
// scope and puts the earlier value back when the scope ends.
#pragma once

#include <optional>
#include <string>

namespace ravik::test_support {

class ScopedEnvironmentVariable {
 public:
  // Sets `name` to `value`, or removes it when `value` is null.
  ScopedEnvironmentVariable(std::string name, const char* value);
  // Sets `name` to `value`.
  ScopedEnvironmentVariable(std::string name, const std::string& value);
  // Restores the value `name` had before, or removes it if it had none.
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace ravik::test_support
