// Failures reported by the Playwright driver.
#pragma once

#include <stdexcept>
#include <string>

#include "ravik/export/playwright_export.h"

namespace playwright {

// A driver call failed (the driver's own message), the driver or browser
// went away, or a call came after the client was stopped.
class RAVIK_PLAYWRIGHT_EXPORT Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A driver call ran past its time-out.
class RAVIK_PLAYWRIGHT_EXPORT TimeoutError : public Error {
 public:
  using Error::Error;
};

// The host interrupted the client (interrupt_all): the call was abandoned,
// or made after the interrupt. The message carries the host's reason.
class RAVIK_PLAYWRIGHT_EXPORT InterruptedError : public Error {
 public:
  using Error::Error;
};

// node or the pinned playwright-core package cannot be found.
class RAVIK_PLAYWRIGHT_EXPORT DriverNotInstalledError : public Error {
 public:
  using Error::Error;
};

}  // namespace playwright
