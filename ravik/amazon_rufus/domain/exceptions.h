// Errors of the Amazon Rufus domain.
#pragma once

#include "ravik/error.h"
#include "ravik/export/host_export.h"

namespace ravik::amazon_rufus::domain {

// The question bank is not installed or not usable; the message tells the
// user what to run. A lower failure, when there is one, is nested in it.
class RAVIK_HOST_EXPORT AskpoolNotReadyError : public DomainError {
 public:
  using DomainError::DomainError;
};

}  // namespace ravik::amazon_rufus::domain
