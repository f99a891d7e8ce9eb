#include "ravik/error.h"

namespace ravik {

DomainError::DomainError(const std::string& message) : std::runtime_error(message) {}

DomainError::~DomainError() = default;

std::string failure_report(std::exception_ptr failure) {
  std::string text;
  const char* prefix = "错误：";
  while (failure) {
    text += prefix;
    prefix = "  原因：";
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      text += error.what();
      failure = nullptr;
      try {
        std::rethrow_if_nested(error);
      } catch (...) {
        failure = std::current_exception();
      }
    } catch (...) {
      text += "未知错误";
      failure = nullptr;
    }
    text += '\n';
  }
  return text;
}

}  // namespace ravik
