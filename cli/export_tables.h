// Finding the record lists in collector results and laying them out as
// tables. The site decides what its records hold, so nothing is guessed
// beyond one rule: for every top-level entry of a result whose value is an
// object with a "data" object, each non-empty list of objects directly under
// "data" is a list of records. One table per such list, named after the
// entry ("keyword_mining"), or "<entry>_<list key>" when that entry's data
// holds more than one list of records.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "ravik/json.h"

namespace ravik::cli {

// One result dictionary to export, with the item it belongs to in a batch.
struct ExportSource {
  // Cells put in front of every row taken from this result, e.g.
  // {"item.keyword", "yoga mat"}, {"item.site", "us"}; none for a single run.
  std::vector<std::pair<std::string, Json>> item_cells;
  Json result;
};

// Rows of the same width under a header. A cell whose record lacked the
// field is null.
struct Table {
  std::string name;
  std::vector<std::string> columns;
  std::vector<std::vector<Json>> rows;
};

// A part of the results that holds no records, and why: e.g. "files",
// "没有 data 项"; `results` counts the results in which it was so.
struct SkippedPart {
  std::string part;
  std::string reason;
  std::size_t results = 0;
};

struct FoundTables {
  std::vector<Table> tables;       // in the order their entries first appear
  std::vector<SkippedPart> skipped;  // in first-seen order, each part and reason once
};

// The tables of all `sources` together: the rows of one table follow the
// sources' order, then the records' order. Columns: the item cells' names
// (all sources' names, first seen first), then the union of the records'
// fields in first-seen order. Table names are unique.
FoundTables find_tables(std::vector<ExportSource> sources);

// A cell as text: a string as it is, a number as JSON writes it, true or
// false, null as the empty text, an object or array as compact JSON.
std::string cell_text(const Json& value);

}  // namespace ravik::cli
