#include "cli/error_report.h"

#include <stdexcept>

namespace ravik::cli {
namespace {

void append_chain(std::string& text, std::exception_ptr failure, bool outermost) {
  text += outermost ? "错误：" : "  原因：";
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    text += error.what();
    text += '\n';
    try {
      std::rethrow_if_nested(error);
    } catch (...) {
      append_chain(text, std::current_exception(), false);
    }
  } catch (...) {
    text += "未知错误\n";
  }
}

}  // namespace

std::string describe_failure(std::exception_ptr failure) {
  std::string text;
  append_chain(text, failure, true);
  return text;
}

}  // namespace ravik::cli
