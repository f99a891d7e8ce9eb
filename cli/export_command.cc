#include "cli/export_command.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/export_csv.h"
#include "cli/export_sources.h"
#include "cli/export_tables.h"
#include "cli/export_xlsx.h"
#include "cli/flag_checks.h"
#include "cli/standard_output.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

struct ExportFlags {
  std::string run_dir;
  std::string format = "csv";
  std::string out;  // empty: under RUN_DIR/export
};

// Where a table went: the file, and the sheet in a workbook.
struct WrittenTable {
  fs::path file;
  std::string sheet;
};

// Creates `dir` with its parents unless it is a directory already.
void make_directory(const fs::path& dir) {
  std::error_code error;
  if (fs::exists(dir, error) && !fs::is_directory(dir, error)) {
    throw std::runtime_error("导出位置 " + dir.string() + " 已存在且不是目录");
  }
  fs::create_directories(dir, error);
  if (error) throw std::runtime_error("无法创建导出目录 " + dir.string() + "：" + error.message());
}

// "<run directory's name>.xlsx"; "export.xlsx" for the root directory.
std::string workbook_name(const fs::path& run_dir) {
  fs::path dir = fs::absolute(run_dir).lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();
  const std::string name = dir.filename().string();
  return (name.empty() ? "export" : name) + ".xlsx";
}

std::vector<WrittenTable> write_csv(const std::vector<Table>& tables, const ExportFlags& flags) {
  const fs::path dir = flags.out.empty() ? fs::path(flags.run_dir) / "export" : fs::path(flags.out);
  make_directory(dir);
  std::vector<WrittenTable> written;
  for (fs::path& file : write_csv_files(tables, dir)) written.push_back({std::move(file), ""});
  return written;
}

std::vector<WrittenTable> write_xlsx(const std::vector<Table>& tables, const ExportFlags& flags) {
  const fs::path file =
      flags.out.empty() ? fs::path(flags.run_dir) / "export" / workbook_name(flags.run_dir) : fs::path(flags.out);
  std::error_code error;
  if (fs::is_directory(file, error)) throw std::runtime_error("导出位置 " + file.string() + " 是目录，xlsx 格式需要文件路径");
  if (file.has_parent_path()) make_directory(file.parent_path());
  std::vector<WrittenTable> written;
  for (std::string& sheet : write_workbook(tables, file)) written.push_back({file, std::move(sheet)});
  return written;
}

void report_skipped(const std::vector<SkippedPart>& skipped, std::size_t result_count) {
  for (const SkippedPart& part : skipped) {
    std::cerr << "已跳过 " << part.part << "：" << part.reason;
    if (result_count > 1) std::cerr << "（" << part.results << " 个结果）";
    std::cerr << '\n';
  }
}

int run_export(const ExportFlags& flags) {
  RunResults results = read_run_results(flags.run_dir);
  for (const std::string& notice : results.notices) std::cerr << notice << '\n';
  const std::size_t result_count = results.sources.size();
  const FoundTables found = find_tables(std::move(results.sources));
  if (found.tables.empty()) {
    report_skipped(found.skipped, result_count);
    std::cerr << std::flush;
    throw std::runtime_error("运行目录 " + flags.run_dir + " 的结果中没有可导出的记录列表（data 下的对象列表）");
  }

  const std::vector<WrittenTable> written =
      flags.format == "xlsx" ? write_xlsx(found.tables, flags) : write_csv(found.tables, flags);
  std::string listing;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const Table& table = found.tables[i];
    std::cerr << "已导出 " << table.name << "：" << table.rows.size() << " 行 → " << written[i].file.string();
    if (!written[i].sheet.empty()) std::cerr << "（工作表 " << written[i].sheet << "）";
    std::cerr << '\n';
    if (i == 0 || written[i].file != written[i - 1].file) listing += written[i].file.string() + '\n';
  }
  report_skipped(found.skipped, result_count);
  std::cerr << std::flush;
  write_standard_output(listing);
  return kExitCompleted;
}

}  // namespace

void add_export_command(CLI::App& seller_sprite, CommandAction& action) {
  auto flags = std::make_shared<ExportFlags>();
  CLI::App* command = seller_sprite.add_subcommand("export", "把运行结果中的记录列表导出为 CSV 文件或 Excel 工作簿");
  command->add_option("run_dir", flags->run_dir, "运行目录（含 result.json 或批量运行的 results.jsonl）")
      ->required()
      ->check(non_blank_text());
  command->add_option("--format", flags->format, "导出格式：csv（每个列表一个文件）或 xlsx（一个工作簿）")
      ->check(CLI::IsMember({"csv", "xlsx"}))
      ->capture_default_str();
  command->add_option("--out", flags->out,
                      "输出位置：csv 为目录（默认 RUN_DIR/export），xlsx 为文件（默认 RUN_DIR/export/<运行目录名>.xlsx）");
  command->callback([&action, flags] { action = [flags] { return run_export(*flags); }; });
}

}  // namespace ravik::cli
