#include "cli/error_report.h"

#include "ravik/error.h"

namespace ravik::cli {

std::string describe_failure(std::exception_ptr failure) { return failure_report(failure); }

}  // namespace ravik::cli
