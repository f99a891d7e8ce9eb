// Turning a failure into the lines shown to the user: its message, then the
// message of each cause it carries, never a stack trace.
#pragma once

#include <exception>
#include <filesystem>
#include <optional>
#include <string>

namespace ravik::cli {

// "错误：<message>" followed by one "  原因：<message>" line per nested
// cause, outermost first. Each line ends with a line end.
std::string describe_failure(std::exception_ptr failure);

// Tells whether one run of a browser command left a failure archive in its
// run directory: the state of run_dir/failure/error.txt is noted when the
// watch is made, so that an archive of an earlier run in the same directory
// does not count.
class FailureArchiveWatch {
 public:
  // `run_dir` empty: the command has no run directory, so no archive.
  explicit FailureArchiveWatch(std::filesystem::path run_dir);
  // run_dir/failure when the run wrote its error.txt since the watch was made.
  std::optional<std::filesystem::path> written_folder() const;

 private:
  std::optional<std::filesystem::file_time_type> error_file_time() const;

  std::filesystem::path run_dir_;
  std::optional<std::filesystem::file_time_type> time_before_;
};

}  // namespace ravik::cli
