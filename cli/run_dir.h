// Run identifiers and the run directory where one command's files go.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ravik::cli {

struct RunLocation {
  std::string run_id;
  std::filesystem::path run_dir;
};

// A new run identifier: the UTC time of the call and a random suffix,
// e.g. "20261208-045146-3fa9c2".
std::string make_run_id();

// Chooses and creates the run directory. With `requested`, that directory
// (created with its parents if missing; an existing one is reused). Without,
// a directory that did not exist before, named by a fresh run identifier,
// under `runs_root`. Throws std::runtime_error when the directory cannot be
// created.
RunLocation prepare_run_dir(const std::optional<std::filesystem::path>& requested,
                            const std::filesystem::path& runs_root);

}  // namespace ravik::cli
