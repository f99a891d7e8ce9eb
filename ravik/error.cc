#include "ravik/error.h"

namespace ravik {

DomainError::DomainError(const std::string& message) : std::runtime_error(message) {}

DomainError::~DomainError() = default;

std::vector<std::string> failure_messages(std::exception_ptr failure) {
  std::vector<std::string> messages;
  while (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      messages.emplace_back(error.what());
      failure = nullptr;
      try {
        std::rethrow_if_nested(error);
      } catch (...) {
        failure = std::current_exception();
      }
    } catch (...) {
      messages.emplace_back("未知错误");
      failure = nullptr;
    }
  }
  return messages;
}

std::string failure_report(std::exception_ptr failure) {
  std::string text;
  const char* prefix = "错误：";
  for (const std::string& message : failure_messages(failure)) {
    text += prefix + message + '\n';
    prefix = "  原因：";
  }
  return text;
}

}  // namespace ravik
