// Shared by the command's tests: runs the built `ravik` with a test's own
// environment (no update check, a private configuration directory) and
// parses what it printed.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/process_runner.h"
#include "ravik/json.h"
#include "tests/support/temp_dir.h"

namespace ravik::cli::testing_support {

using Environment = std::map<std::string, std::optional<std::string>>;

using ravik::test_support::TempDir;

// The request that runs RAVIK_CLI_PATH with `args` in `working_dir`. The
// environment has RAVIK_NO_UPDATE_CHECK set, RAVIK_CONFIG_DIR = `config_dir`
// and the account variables removed, then `extra` applied on top; `input`
// is its standard input.
ProcessRequest ravik_request(const std::vector<std::string>& args, const std::filesystem::path& config_dir,
                             const std::filesystem::path& working_dir, const Environment& extra = {},
                             const std::string& input = "");

// Runs ravik_request(...) to completion.
ProcessResult run_ravik(const std::vector<std::string>& args, const std::filesystem::path& config_dir,
                        const std::filesystem::path& working_dir, const Environment& extra = {},
                        const std::string& input = "");

// The JSON printed on standard output; fails the test (and answers null)
// when it is not JSON.
Json stdout_json(const ProcessResult& result);

}  // namespace ravik::cli::testing_support
