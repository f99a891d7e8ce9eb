#include "cli/seller_sprite_commands.h"

#include "cli/batch_command.h"
#include "cli/collector_commands.h"
#include "cli/doctor_command.h"
#include "cli/export_command.h"
#include "cli/scenario_commands.h"

namespace ravik::cli {

void add_seller_sprite_commands(CLI::App& app, CommandAction& action) {
  CLI::App* seller_sprite = app.add_subcommand("seller-sprite", "卖家精灵：浏览器采集、接口场景与表格导出");
  seller_sprite->require_subcommand(1);
  add_collector_commands(*seller_sprite, action);
  add_scenario_commands(*seller_sprite, action);
  add_export_command(*seller_sprite, action);
  add_batch_command(*seller_sprite, action);
  add_doctor_command(*seller_sprite, action);
}

}  // namespace ravik::cli
