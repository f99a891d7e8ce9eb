// Turning a failure into the lines shown to the user: its message, then the
// message of each cause it carries, never a stack trace.
#pragma once

#include <exception>
#include <string>

namespace ravik::cli {

// "错误：<message>" followed by one "  原因：<message>" line per nested
// cause, outermost first. Each line ends with a line end.
std::string describe_failure(std::exception_ptr failure);

}  // namespace ravik::cli
