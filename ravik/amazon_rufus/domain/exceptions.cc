#include "ravik/amazon_rufus/domain/exceptions.h"

namespace ravik::amazon_rufus::domain {

AskpoolNotReadyError::AskpoolNotReadyError(const std::string& message)
    : std::runtime_error(message) {}

AskpoolNotReadyError::~AskpoolNotReadyError() = default;

}  // namespace ravik::amazon_rufus::domain
