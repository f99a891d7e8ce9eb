#include "cli/export_csv.h"

#include <exception>
#include <stdexcept>

#include "cli/export_names.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

// File names stay well below the usual 255-byte limit even in 4-byte
// characters, with room for a number and ".csv".
constexpr std::size_t kMaxFileStemCharacters = 60;

// Characters that no file name may hold here or on Windows, where the
// files are often opened.
constexpr std::string_view kFileNameForbidden = "/\\:*?\"<>|";

void append_field(std::string& line, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    line += field;
    return;
  }
  line += '"';
  for (const char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

void append_line(std::string& text, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ',';
    append_field(text, fields[i]);
  }
  text += "\r\n";
}

// A file stem that is neither hidden nor "." / "..".
std::string file_stem(const std::string& table_name) {
  std::string stem = replace_unsafe_characters(table_name, kFileNameForbidden);
  if (!stem.empty() && stem.front() == '.') stem.front() = '_';
  return stem;
}

}  // namespace

std::string csv_text(const Table& table) {
  std::string text = "\xEF\xBB\xBF";
  append_line(text, table.columns);
  std::vector<std::string> fields;
  for (const std::vector<Json>& row : table.rows) {
    fields.clear();
    for (const Json& cell : row) fields.push_back(cell_text(cell));
    append_line(text, fields);
  }
  return text;
}

std::vector<fs::path> write_csv_files(const std::vector<Table>& tables, const fs::path& dir) {
  NameRegistry file_names(kMaxFileStemCharacters);
  std::vector<fs::path> written;
  for (const Table& table : tables) {
    const fs::path path = dir / (file_names.claim(file_stem(table.name)) + ".csv");
    try {
      shared::write_file_atomically(path, csv_text(table));
    } catch (const std::exception&) {
      std::throw_with_nested(std::runtime_error("无法写入 " + path.string()));
    }
    written.push_back(path);
  }
  return written;
}

}  // namespace ravik::cli
