// The record of a batch run in RUN_DIR/results.jsonl: one line per finished
// item, appended whole and on disk before the next item starts (the line
// format is described in export_sources.h), read back to resume the run.
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "ravik/json.h"

namespace ravik::cli {

// How an item ended: "completed", "incomplete", "blocked" or "failed".
inline constexpr std::string_view kCompleted = "completed";
inline constexpr std::string_view kIncomplete = "incomplete";
inline constexpr std::string_view kBlocked = "blocked";
inline constexpr std::string_view kFailed = "failed";

// The status of an item whose flow answered `result`: blocked when the
// site stood in the way, incomplete when sections are missing, else
// completed (as the single commands' exit status tells them apart).
std::string_view status_of_result(const Json& result);

// The line of item number `index` (1-based) asked for as `item` whose flow
// answered `result`.
Json result_line(std::size_t index, const Json& item, const Json& result, double duration_s);

// The line of item number `index` whose flow failed with `failure`: status
// "failed" and "error" {"message", "causes"}.
Json failure_line(std::size_t index, const Json& item, std::exception_ptr failure, double duration_s);

// The latest status recorded for each item number in `file`; an absent
// file records nothing. Lines that are no JSON object with a number
// "index" and a text "status" (a torn last line, mostly) are passed over.
// Throws std::runtime_error naming the file when it cannot be read.
std::map<std::size_t, std::string> recorded_statuses(const std::filesystem::path& file);

// results.jsonl open for appending.
class ResultsLog {
 public:
  // Opens `file`, creating it. A last line without its line end, torn by a
  // run that was killed while writing it, is cut off first, so that the
  // next line starts on a line of its own. Throws std::runtime_error naming
  // the file.
  explicit ResultsLog(std::filesystem::path file);
  ~ResultsLog();
  ResultsLog(const ResultsLog&) = delete;
  ResultsLog& operator=(const ResultsLog&) = delete;

  // Writes `line` as compact JSON and a line end in one write and waits
  // until it is on disk. Throws std::runtime_error naming the file.
  void append(const Json& line);

 private:
  std::filesystem::path file_;
  int descriptor_ = -1;
};

}  // namespace ravik::cli
