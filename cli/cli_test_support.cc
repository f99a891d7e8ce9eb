#include "cli/cli_test_support.h"

#include <gtest/gtest.h>

#include "cli/account_prompt.h"

namespace ravik::cli::testing_support {

namespace fs = std::filesystem;

ProcessRequest ravik_request(const std::vector<std::string>& args, const fs::path& config_dir,
                             const fs::path& working_dir, const Environment& extra, const std::string& input) {
  ProcessRequest request;
  request.argv.push_back(RAVIK_CLI_PATH);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.environment = {
      {"RAVIK_NO_UPDATE_CHECK", "1"},
      {"RAVIK_CONFIG_DIR", config_dir.string()},
      {kUsernameVariable, std::nullopt},
      {kPasswordVariable, std::nullopt},
  };
  for (const auto& [name, value] : extra) request.environment[name] = value;
  request.working_dir = working_dir;
  request.input = input;
  return request;
}

ProcessResult run_ravik(const std::vector<std::string>& args, const fs::path& config_dir,
                        const fs::path& working_dir, const Environment& extra, const std::string& input) {
  return run_process(ravik_request(args, config_dir, working_dir, extra, input));
}

Json stdout_json(const ProcessResult& result) {
  Json parsed = Json::parse(result.out, nullptr, /*allow_exceptions=*/false);
  EXPECT_FALSE(parsed.is_discarded()) << "standard output is not JSON:\n" << result.out << "\nstderr:\n" << result.err;
  return parsed.is_discarded() ? Json() : parsed;
}

}  // namespace ravik::cli::testing_support
