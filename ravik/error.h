// DomainError: the base of the host's typed errors (configuration,
// dependency, question bank, ...).
//
// Each is built from one message text, which what() answers exactly. An
// error that replaces a lower-level failure carries it as its cause: it is
// thrown with std::throw_with_nested from the handler of that failure, and
// std::rethrow_if_nested reaches the cause. Browser-free, like every error of
// the host's domains.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "ravik/export/host_export.h"

namespace ravik {

class RAVIK_HOST_EXPORT DomainError : public std::runtime_error {
 public:
  explicit DomainError(const std::string& message);
  ~DomainError() override;
};

// "错误：<message>" followed by one "  原因：<message>" line per cause nested
// in `failure`, outermost first, each line ended; "未知错误" stands for a
// failure that is no std::exception.
[[nodiscard]] RAVIK_HOST_EXPORT std::string failure_report(std::exception_ptr failure);

// The messages of `failure` and of each cause nested in it, outermost
// first; "未知错误" stands for a failure that is no std::exception.
[[nodiscard]] RAVIK_HOST_EXPORT std::vector<std::string> failure_messages(std::exception_ptr failure);

}  // namespace ravik
