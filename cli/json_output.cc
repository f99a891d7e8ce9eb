#include "cli/json_output.h"

#include "cli/standard_output.h"

namespace ravik::cli {

std::string to_pretty_json(const Json& value) {
  return value.dump(2, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

void print_json(const Json& value) { write_standard_output(to_pretty_json(value) + '\n'); }

}  // namespace ravik::cli
