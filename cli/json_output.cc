#include "cli/json_output.h"

namespace ravik::cli {

std::string to_pretty_json(const Json& value) {
  return value.dump(2, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

void print_json(std::ostream& out, const Json& value) {
  out << to_pretty_json(value) << '\n';
  out.flush();
}

}  // namespace ravik::cli
