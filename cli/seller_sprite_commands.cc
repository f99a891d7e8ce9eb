#include "cli/seller_sprite_commands.h"

#include "cli/collector_commands.h"
#include "cli/scenario_commands.h"

namespace ravik::cli {

void add_seller_sprite_commands(CLI::App& app, CommandAction& action) {
  CLI::App* seller_sprite = app.add_subcommand("seller-sprite", "卖家精灵：浏览器采集与接口场景");
  seller_sprite->require_subcommand(1);
  add_collector_commands(*seller_sprite, action);
  add_scenario_commands(*seller_sprite, action);
}

}  // namespace ravik::cli
