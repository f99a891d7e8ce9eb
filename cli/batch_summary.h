// What a batch run tells at its end: the state of every item of the run
// directory (the latest line of results.jsonl, or pending), as JSON for
// standard output and as a table for the person at the terminal, and the
// exit status.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/batch_jobs.h"
#include "cli/exit_codes.h"
#include "ravik/json.h"

namespace ravik::cli {

// The status of an item that no line records yet.
inline constexpr std::string_view kPending = "pending";

struct BatchSummary {
  Json json;         // for standard output
  std::string text;  // for standard error, ending with a line end
  ExitCode exit_status;
};

// Sums up the run in `run_dir` of `jobs`, whose items' latest statuses are
// `statuses` (by item number). `stop` is what run_batch_items answered, or
// {} when nothing ran. Exit status: kExitBlocked when stopped by a block,
// kExitError when the browser was lost, kExitCompleted when every item is
// completed, else kExitIncomplete.
BatchSummary summarize_batch(const std::filesystem::path& run_dir, const std::vector<BatchJob>& jobs,
                             const std::map<std::size_t, std::string>& statuses, const Json& stop);

// The command that resumes the run in `run_dir`.
std::string resume_command(const std::filesystem::path& run_dir);

}  // namespace ravik::cli
