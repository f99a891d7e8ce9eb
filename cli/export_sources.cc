#include "cli/export_sources.h"

#include <exception>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBatchFile = "results.jsonl";
constexpr std::string_view kSingleFile = "result.json";
// The item's fields that lead each row, in this order.
constexpr std::string_view kItemFields[] = {"keyword", "asin", "site"};

std::string read_text(const fs::path& file) {
  try {
    return shared::read_regular_file(file);
  } catch (const std::exception&) {
    std::throw_with_nested(std::runtime_error("无法读取 " + file.string()));
  }
}

// `text` as a JSON object; `what` names it in the error.
Json parse_object(std::string_view text, const std::string& what) {
  Json value;
  try {
    value = Json::parse(text);
  } catch (const Json::parse_error&) {
    std::throw_with_nested(std::runtime_error(what + " 不是有效的 JSON"));
  }
  if (!value.is_object()) throw std::runtime_error(what + " 不是 JSON 对象");
  return value;
}

bool is_blank(std::string_view text) { return text.find_first_not_of(" \t\r") == std::string_view::npos; }

std::vector<std::pair<std::string, Json>> item_cells(const Json& line) {
  std::vector<std::pair<std::string, Json>> cells;
  const auto item = line.find("item");
  if (item == line.end() || !item->is_object()) return cells;
  for (const std::string_view field : kItemFields) {
    const auto value = item->find(field);
    if (value != item->end()) cells.emplace_back("item." + std::string(field), *value);
  }
  return cells;
}

// "（yoga mat，failed）": the item's keyword or ASIN and the line's status,
// those that the line has.
std::string line_label(const Json& line) {
  std::vector<std::string> parts;
  const auto item = line.find("item");
  if (item != line.end() && item->is_object()) {
    for (const char* field : {"keyword", "asin"}) {
      if (item->contains(field)) {
        parts.push_back(text_form(item->at(field)));
        break;
      }
    }
  }
  const auto status = line.find("status");
  if (status != line.end()) parts.push_back(text_form(*status));
  if (parts.empty()) return "";
  std::string label = "（" + parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) label += "，" + parts[i];
  return label + "）";
}

// A result line of results.jsonl, where it was and what it was for.
struct ResultLine {
  std::string where;
  std::string label;
  std::optional<std::size_t> index;  // the batch's item number, when the line has one
  ExportSource source;
};

// Moves the result lines into results.sources in their order, but only the
// last one of each item number: a resumed batch appends a new line for an
// item it ran again, and the earlier one is passed over with a notice.
void keep_latest_per_item(std::vector<ResultLine>& lines, RunResults& results) {
  std::map<std::size_t, std::size_t> latest;  // item number -> its last line's position
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].index) latest[*lines[i].index] = i;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ResultLine& line = lines[i];
    if (line.index && latest[*line.index] != i) {
      results.notices.push_back(line.where + line.label + "已由同一项后来的结果（" + lines[latest[*line.index]].where +
                                "）取代，已跳过");
      continue;
    }
    results.sources.push_back(std::move(line.source));
  }
}

void read_batch(const fs::path& file, RunResults& results) {
  const std::string text = read_text(file);
  const std::string name = file.filename().string();
  std::vector<ResultLine> result_lines;
  std::size_t start = 0;
  for (std::size_t number = 1; start < text.size(); ++number) {
    const std::size_t end = text.find('\n', start);
    const bool terminated = end != std::string::npos;
    const std::string_view line_text = std::string_view(text).substr(start, terminated ? end - start : std::string::npos);
    start = terminated ? end + 1 : text.size();
    if (is_blank(line_text)) continue;
    const std::string where = name + " 第 " + std::to_string(number) + " 行";
    if (!terminated && !Json::accept(line_text)) {
      results.notices.push_back(where + "（最后一行）不完整，可能是批量运行写到一半时被中断，已跳过");
      break;
    }
    Json line = parse_object(line_text, where);
    const auto result = line.find("result");
    if (result == line.end() || !result->is_object()) {
      results.notices.push_back(where + line_label(line) + "没有结果，已跳过");
      continue;
    }
    const auto index = line.find("index");
    result_lines.push_back({.where = where,
                            .label = line_label(line),
                            .index = index != line.end() && index->is_number_unsigned()
                                         ? std::optional<std::size_t>(index->get<std::size_t>())
                                         : std::nullopt,
                            .source = {item_cells(line), std::move(*result)}});
  }
  keep_latest_per_item(result_lines, results);
}

bool exists(const fs::path& path, const fs::path& run_dir) {
  std::error_code error;
  const bool found = fs::exists(path, error);
  if (error) {
    throw std::runtime_error("无法读取运行目录 " + run_dir.string() + "：" + error.message());
  }
  return found;
}

}  // namespace

RunResults read_run_results(const fs::path& run_dir) {
  if (!exists(run_dir, run_dir)) throw std::runtime_error("运行目录不存在：" + run_dir.string());
  if (!fs::is_directory(run_dir)) throw std::runtime_error(run_dir.string() + " 不是目录");
  RunResults results;
  results.file = run_dir / kBatchFile;
  if (exists(results.file, run_dir)) {
    read_batch(results.file, results);
    return results;
  }
  results.file = run_dir / kSingleFile;
  if (!exists(results.file, run_dir)) {
    throw std::runtime_error("运行目录 " + run_dir.string() + " 中没有 " + std::string(kSingleFile) + " 或 " +
                             std::string(kBatchFile));
  }
  results.sources.push_back({{}, parse_object(read_text(results.file), results.file.string())});
  return results;
}

}  // namespace ravik::cli
