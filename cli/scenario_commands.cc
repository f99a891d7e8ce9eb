#include "cli/scenario_commands.h"

#include <cstdint>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "ravik/seller_sprite/api/scenarios.h"

namespace ravik::cli {
namespace {

using ravik::seller_sprite::api::get_scenario;
using ravik::seller_sprite::api::list_scenarios;
using ravik::seller_sprite::api::SellerSpriteScenario;

struct PayloadFlags {
  std::string scenario_id;
  std::vector<std::string> parameters;
  std::string site = "us";
  std::string period = "30d";
  std::int64_t page_size = 50;
};

int print_list() {
  const std::vector<Json> scenarios = list_scenarios();
  print_json(Json(scenarios));
  std::cerr << "共 " << scenarios.size() << " 个场景\n";
  return kExitCompleted;
}

int print_scenario(const std::string& scenario_id) {
  print_json(get_scenario(scenario_id).to_public_dict());
  return kExitCompleted;
}

// The request the scenario makes of these parameters: its paths, referer and body.
int print_request(const PayloadFlags& flags) {
  const SellerSpriteScenario& scenario = get_scenario(flags.scenario_id);
  const Json body = scenario.build_payload(
      {.params = parse_parameters(flags.parameters), .site = flags.site, .period = flags.period, .page_size = flags.page_size});
  const std::optional<std::string> high_frequency = scenario.high_frequency_endpoint_for(body);
  print_json(Json{
                            {"scenario_id", scenario.scenario_id()},
                            {"endpoint", scenario.endpoint_for(body)},
                            {"high_frequency_endpoint", high_frequency ? Json(*high_frequency) : Json()},
                            {"referer", scenario.build_referer(body)},
                            {"payload", body},
                        });
  return kExitCompleted;
}

}  // namespace

Json parse_parameters(const std::vector<std::string>& words) {
  Json parameters = Json::object();
  for (const std::string& word : words) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) {
      throw std::invalid_argument("参数 " + word + " 不是 key=value 或 key:=json 形式");
    }
    const bool is_json = equals > 0 && word[equals - 1] == ':';
    const std::string key = word.substr(0, is_json ? equals - 1 : equals);
    const std::string value = word.substr(equals + 1);
    if (key.empty()) throw std::invalid_argument("参数 " + word + " 缺少键名");
    if (!is_json) {
      parameters[key] = value;
      continue;
    }
    Json parsed = Json::parse(value, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded()) {
      throw std::invalid_argument("参数 " + key + " 的值不是合法的 JSON：" + value);
    }
    parameters[key] = std::move(parsed);
  }
  return parameters;
}

void add_scenario_commands(CLI::App& seller_sprite, CommandAction& action) {
  CLI::App* scenarios = seller_sprite.add_subcommand("scenarios", "列出卖家精灵接口场景");
  scenarios->require_subcommand(0, 1);

  auto show_id = std::make_shared<std::string>();
  CLI::App* show = scenarios->add_subcommand("show", "查看一个场景");
  show->add_option("scenario_id", *show_id, "场景 ID")->required();
  show->callback([&action, show_id] { action = [show_id] { return print_scenario(*show_id); }; });

  auto flags = std::make_shared<PayloadFlags>();
  CLI::App* payload = scenarios->add_subcommand("payload", "用 key=value 参数生成场景的请求");
  payload->add_option("scenario_id", flags->scenario_id, "场景 ID")->required();
  payload->add_option("parameters", flags->parameters, "请求参数：key=value（文本）或 key:=json（JSON 值）");
  payload->add_option("--site", flags->site, "站点代码")->capture_default_str();
  payload->add_option("--period", flags->period, "时间范围代码")->capture_default_str();
  payload->add_option("--page-size", flags->page_size, "每页条数")->capture_default_str();
  payload->callback([&action, flags] { action = [flags] { return print_request(*flags); }; });

  scenarios->callback([&action, scenarios] {
    if (scenarios->get_subcommands().empty()) action = print_list;
  });
}

}  // namespace ravik::cli
