#include "cli/error_report.h"

#include <system_error>
#include <utility>

#include "ravik/error.h"

namespace ravik::cli {

std::string describe_failure(std::exception_ptr failure) { return failure_report(failure); }

FailureArchiveWatch::FailureArchiveWatch(std::filesystem::path run_dir)
    : run_dir_(std::move(run_dir)), time_before_(error_file_time()) {}

std::optional<std::filesystem::file_time_type> FailureArchiveWatch::error_file_time() const {
  if (run_dir_.empty()) return std::nullopt;
  std::error_code missing;
  const auto time = std::filesystem::last_write_time(run_dir_ / "failure" / "error.txt", missing);
  if (missing) return std::nullopt;
  return time;
}

std::optional<std::filesystem::path> FailureArchiveWatch::written_folder() const {
  const std::optional<std::filesystem::file_time_type> now = error_file_time();
  if (!now || now == time_before_) return std::nullopt;
  return run_dir_ / "failure";
}

}  // namespace ravik::cli
