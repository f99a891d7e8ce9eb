#include "cli/export_xlsx.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include <xlsxwriter.h>

#include "cli/export_names.h"
#include "ravik/shared/file_io.h"

namespace ravik::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxSheetNameCharacters = 31;
constexpr std::string_view kSheetNameForbidden = "[]:*?/\\'";
// Excel keeps 15 significant digits of a number.
constexpr std::int64_t kExactIntegerBound = 1'000'000'000'000'000;
// The most characters Excel keeps in one cell.
constexpr std::size_t kMaxCellCharacters = 32767;

std::string plain_words(lxw_error error) {
  switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
      return "内存不足";
    case LXW_ERROR_CREATING_XLSX_FILE:
      return "无法创建文件，请检查目录的写入权限";
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
      return "无法使用临时文件，请检查临时目录的空间和权限";
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
      return "无法写入文件，磁盘可能已满";
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED:
      return "文本超过 Excel 单元格 32767 个字符的上限";
    case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
      return "超出 Excel 工作表的行列上限";
    default:
      return std::string("写入工作簿失败（") + lxw_strerror(error) + "）";
  }
}

void check(lxw_error error, const std::string& where) {
  if (error != LXW_NO_ERROR) throw std::runtime_error(where + "：" + plain_words(error));
}

// A sheet name Excel accepts, before it is cut to length and made unique.
std::string sheet_name_stem(const std::string& table_name) {
  std::string stem = replace_unsafe_characters(table_name, kSheetNameForbidden);
  std::string lower = stem;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower == "history") stem += '_';  // reserved by Excel
  return stem;
}

bool is_exact_in_excel(const Json& number) {
  if (number.is_number_unsigned()) return number.get<std::uint64_t>() < static_cast<std::uint64_t>(kExactIntegerBound);
  if (number.is_number_integer()) {
    const auto value = number.get<std::int64_t>();
    return value > -kExactIntegerBound && value < kExactIntegerBound;
  }
  return true;
}

lxw_error write_cell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, const Json& value) {
  if (value.is_null()) return LXW_NO_ERROR;
  if (value.is_boolean()) return worksheet_write_boolean(sheet, row, column, value.get<bool>(), nullptr);
  if (value.is_number() && is_exact_in_excel(value)) {
    return worksheet_write_number(sheet, row, column, value.get<double>(), nullptr);
  }
  const std::string text = cell_text(value);
  if (lxw_utf8_strlen(text.c_str()) > kMaxCellCharacters) return LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED;
  return worksheet_write_string(sheet, row, column, text.c_str(), nullptr);
}

void add_sheet(lxw_workbook* workbook, const std::string& name, const Table& table, lxw_format* bold) {
  const std::string where = "工作表 " + name;
  // Checked before anything is written: the library reports these on
  // standard error in its own words, and its indices would wrap.
  if (table.columns.size() > LXW_COL_MAX) {
    throw std::runtime_error(where + "：有 " + std::to_string(table.columns.size()) + " 列，超过 Excel 的 " +
                             std::to_string(LXW_COL_MAX) + " 列上限");
  }
  if (table.rows.size() >= LXW_ROW_MAX) {
    throw std::runtime_error(where + "：有 " + std::to_string(table.rows.size()) + " 行记录，超过 Excel 的 " +
                             std::to_string(LXW_ROW_MAX - 1) + " 行上限（另有一行表头）");
  }
  check(workbook_validate_sheet_name(workbook, name.c_str()), where);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
  if (sheet == nullptr) check(LXW_ERROR_MEMORY_MALLOC_FAILED, where);

  for (std::size_t column = 0; column < table.columns.size(); ++column) {
    const auto index = static_cast<lxw_col_t>(column);
    check(worksheet_write_string(sheet, 0, index, table.columns[column].c_str(), bold),
          where + " 表头 " + table.columns[column] + " 列");
  }
  worksheet_freeze_panes(sheet, 1, 0);
  for (std::size_t row = 0; row < table.rows.size(); ++row) {
    const std::vector<Json>& cells = table.rows[row];
    for (std::size_t column = 0; column < cells.size(); ++column) {
      const lxw_error error = write_cell(sheet, static_cast<lxw_row_t>(row + 1), static_cast<lxw_col_t>(column), cells[column]);
      // Row numbers as the spreadsheet shows them: the header is row 1.
      check(error, where + " 第 " + std::to_string(row + 2) + " 行 " + table.columns[column] + " 列");
    }
  }
}

// Removes the file at its path when it goes out of scope.
class RemoveOnExit {
 public:
  explicit RemoveOnExit(fs::path path) : path_(std::move(path)) {}
  ~RemoveOnExit() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  RemoveOnExit(const RemoveOnExit&) = delete;
  RemoveOnExit& operator=(const RemoveOnExit&) = delete;

 private:
  fs::path path_;
};

struct WorkbookFree {
  void operator()(lxw_workbook* workbook) const { lxw_workbook_free(workbook); }
};

}  // namespace

std::vector<std::string> write_workbook(const std::vector<Table>& tables, const fs::path& path) {
  fs::path building = path;
  building += ".building." + std::to_string(::getpid());
  const RemoveOnExit remove_building(building);

  const std::string where = "工作簿 " + path.string();
  std::unique_ptr<lxw_workbook, WorkbookFree> workbook(workbook_new(building.c_str()));
  if (!workbook) check(LXW_ERROR_MEMORY_MALLOC_FAILED, where);
  lxw_format* bold = workbook_add_format(workbook.get());
  if (bold == nullptr) check(LXW_ERROR_MEMORY_MALLOC_FAILED, where);
  format_set_bold(bold);
  NameRegistry registry(kMaxSheetNameCharacters);
  std::vector<std::string> sheet_names;
  for (const Table& table : tables) {
    sheet_names.push_back(registry.claim(sheet_name_stem(table.name)));
    add_sheet(workbook.get(), sheet_names.back(), table, bold);
  }
  // Closing writes the file and frees the workbook, whatever it answers.
  check(workbook_close(workbook.release()), where);

  try {
    shared::write_file_atomically(path, shared::read_regular_file(building));
  } catch (const std::exception&) {
    std::throw_with_nested(std::runtime_error("无法写入 " + path.string()));
  }
  return sheet_names;
}

}  // namespace ravik::cli
