// Errors of the Amazon Rufus domain.
#pragma once

#include <stdexcept>
#include <string>

#include "ravik/export/host_export.h"

namespace ravik::amazon_rufus::domain {

// The question bank is not installed or not usable; the message tells the
// user what to run. A lower failure, when there is one, is nested in it.
class RAVIK_HOST_EXPORT AskpoolNotReadyError : public std::runtime_error {
 public:
  explicit AskpoolNotReadyError(const std::string& message);
  ~AskpoolNotReadyError() override;
};

}  // namespace ravik::amazon_rufus::domain
