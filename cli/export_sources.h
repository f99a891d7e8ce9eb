// Reading the results a run directory holds, for the exporter.
//
// A single browser command keeps the result dictionary it printed in
// RUN_DIR/result.json. A batch appends one line to RUN_DIR/results.jsonl as
// each item finishes, a JSON object on one line ending in "\n":
//
//   {"index": 2,
//    "item": {"keyword": "yoga mat", "site": "us", ...},
//    "status": "completed",
//    "result": {...},
//    "duration_s": 41.7}
//
//   "index"       the item's number in the batch, from 1 (its folder is
//                 RUN_DIR/items/NNN_<keyword or ASIN>); a resumed batch
//                 appends a new line for an item it ran again, the last
//                 line of an item is its current state.
//   "item"        what the item was asked for: "keyword" (or "asin" for a
//                 keyword reverse), "site", and whatever else it was given.
//   "status"      "completed", "incomplete", "blocked" or "failed".
//   "result"      the collector's result dictionary, as the single commands
//                 print it; absent when the item failed without one.
//   "error"       absent when there is a result; else {"message": ...,
//                 "causes": [...]}, what went wrong.
//   "duration_s"  the seconds the item took, a number.
//
// Lines are appended whole and flushed before the next item starts, so only
// the last line can be torn, by a batch that was killed while writing it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/export_tables.h"

namespace ravik::cli {

struct RunResults {
  std::filesystem::path file;         // the file that was read
  std::vector<ExportSource> sources;  // in the file's order
  std::vector<std::string> notices;   // lines that were passed over, and why
};

// The results of the run in `run_dir`: results.jsonl when it is there, one
// source per line with a "result" object (of the lines with the same
// "index", only the last one), led by the item's "item.keyword",
// "item.asin" and "item.site" cells (those it has); else result.json as one
// source without item cells. Lines without a "result" object and a torn
// last line (no line end, not JSON) are passed over with a notice, blank
// lines without one. Throws std::runtime_error naming the directory or file when the
// directory or both files are missing, a file cannot be read, or a file, or
// a line of results.jsonl, is not a JSON object.
RunResults read_run_results(const std::filesystem::path& run_dir);

}  // namespace ravik::cli
