#include "ravik/error.h"

namespace ravik {

DomainError::DomainError(const std::string& message) : std::runtime_error(message) {}

DomainError::~DomainError() = default;

}  // namespace ravik
