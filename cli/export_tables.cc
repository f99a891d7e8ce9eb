#include "cli/export_tables.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>

#include "cli/export_names.h"

namespace ravik::cli {
namespace {

bool is_record_list(const Json& value) {
  return value.is_array() && !value.empty() &&
         std::all_of(value.begin(), value.end(), [](const Json& item) { return item.is_object(); });
}

// One list of records found in one result.
struct FoundList {
  const ExportSource* source;
  std::string entry;
  std::string list_key;
  Json* records;
};

// Collects the lists of records of every result and, for the rest, why not.
class ListFinder {
 public:
  // Looks through the entries of `source`'s result.
  void inspect(ExportSource& source) {
    if (!source.result.is_object()) return;
    for (auto& [entry, value] : source.result.items()) inspect_entry(source, entry, value);
  }

  const std::vector<FoundList>& lists() const { return lists_; }
  std::vector<SkippedPart> take_skipped() { return std::move(skipped_); }

  // Each entry with lists and their keys, both in first-seen order.
  const std::vector<std::pair<std::string, std::vector<std::string>>>& entry_keys() const { return entry_keys_; }

 private:
  void inspect_entry(ExportSource& source, const std::string& entry, Json& value) {
    if (value.is_null()) return skip(entry, "值为 null");
    if (!value.is_object()) return skip(entry, "不是对象");
    const auto data = value.find("data");
    if (data == value.end()) return skip(entry, "没有 data 项");
    if (!data->is_object()) return skip(entry, "data 不是对象");
    bool has_lists = false;
    for (auto& [key, item] : data->items()) {
      if (!item.is_array()) continue;
      has_lists = true;
      if (item.empty()) {
        skip(entry + ".data." + key, "空列表");
      } else if (!is_record_list(item)) {
        skip(entry + ".data." + key, "不是对象列表");
      } else {
        lists_.push_back({&source, entry, key, &item});
        note_key(entry, key);
      }
    }
    if (!has_lists) skip(entry, "data 下没有列表");
  }

  void skip(const std::string& part, const char* reason) {
    const auto same = std::find_if(skipped_.begin(), skipped_.end(), [&](const SkippedPart& skipped) {
      return skipped.part == part && skipped.reason == reason;
    });
    if (same != skipped_.end()) {
      ++same->results;
    } else {
      skipped_.push_back({part, reason, 1});
    }
  }

  void note_key(const std::string& entry, const std::string& key) {
    auto found = std::find_if(entry_keys_.begin(), entry_keys_.end(), [&](const auto& known) { return known.first == entry; });
    if (found == entry_keys_.end()) found = entry_keys_.insert(entry_keys_.end(), {entry, {}});
    std::vector<std::string>& keys = found->second;
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
  }

  std::vector<FoundList> lists_;
  std::vector<SkippedPart> skipped_;
  std::vector<std::pair<std::string, std::vector<std::string>>> entry_keys_;
};

// Lays out the records of one table, growing its columns as new fields appear.
class TableBuilder {
 public:
  TableBuilder(std::string name, const std::vector<std::string>& item_columns) {
    table_.name = std::move(name);
    table_.columns = item_columns;
  }

  // One row per record of `records` (objects whose values are moved out),
  // led by `item_cells`.
  void add_records(const std::vector<std::pair<std::string, Json>>& item_cells, Json& records) {
    for (Json& record : records) {
      std::vector<Json> row(table_.columns.size());
      for (const auto& [name, value] : item_cells) {
        const auto column = std::find(table_.columns.begin(), table_.columns.end(), name);
        row[static_cast<std::size_t>(column - table_.columns.begin())] = value;
      }
      for (auto& [field, value] : record.items()) {
        const std::size_t column = field_column(field);
        if (column >= row.size()) row.resize(column + 1);
        row[column] = std::move(value);
      }
      table_.rows.push_back(std::move(row));
    }
  }

  // The table, every row as wide as the header.
  Table finish() && {
    for (std::vector<Json>& row : table_.rows) row.resize(table_.columns.size());
    return std::move(table_);
  }

 private:
  std::size_t field_column(const std::string& field) {
    const auto [known, added] = field_columns_.try_emplace(field, table_.columns.size());
    if (added) table_.columns.push_back(field);
    return known->second;
  }

  Table table_;
  std::unordered_map<std::string, std::size_t> field_columns_;  // record fields only
};

std::vector<std::string> item_column_names(const std::vector<ExportSource>& sources) {
  std::vector<std::string> names;
  for (const ExportSource& source : sources) {
    for (const auto& [name, value] : source.item_cells) {
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  return names;
}

}  // namespace

FoundTables find_tables(std::vector<ExportSource> sources) {
  ListFinder finder;
  for (ExportSource& source : sources) finder.inspect(source);

  const std::vector<std::string> item_columns = item_column_names(sources);
  NameRegistry names(std::numeric_limits<std::size_t>::max());
  std::vector<TableBuilder> builders;
  std::map<std::pair<std::string, std::string>, std::size_t> table_of;  // (entry, list key) -> builder
  for (const auto& [entry, keys] : finder.entry_keys()) {
    for (const std::string& key : keys) {
      table_of[{entry, key}] = builders.size();
      builders.emplace_back(names.claim(keys.size() > 1 ? entry + "_" + key : entry), item_columns);
    }
  }
  for (const FoundList& list : finder.lists()) {
    builders[table_of.at({list.entry, list.list_key})].add_records(list.source->item_cells, *list.records);
  }

  FoundTables found;
  for (TableBuilder& builder : builders) found.tables.push_back(std::move(builder).finish());
  found.skipped = finder.take_skipped();
  return found;
}

std::string cell_text(const Json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  return value.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

}  // namespace ravik::cli
