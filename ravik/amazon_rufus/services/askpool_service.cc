#include "ravik/amazon_rufus/services/askpool_service.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <system_error>

#include "ravik/amazon_rufus/services/json_document.h"
#include "ravik/environment.h"
#include "ravik/shared/file_io.h"

namespace ravik::amazon_rufus::services {
namespace {

using domain::AskpoolNotReadyError;
using domain::Question;
using domain::QuestionTemplate;

// `text` with a leading "~" replaced by the current user's home directory
// (environment::home_directory, which throws when there is none) or "~user"
// by that user's; "~user" of an unknown user is left as it is.
std::filesystem::path expand_user(const std::string& text) {
  if (text.empty() || text.front() != '~') return text;
  const std::size_t slash = text.find('/');
  const std::string user = text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  const std::optional<std::filesystem::path> home =
      user.empty() ? environment::home_directory() : environment::home_directory_of(user);
  if (!home) return text;
  std::string expanded = home->string();
  while (!expanded.empty() && expanded.back() == '/') expanded.pop_back();
  expanded += slash == std::string::npos ? "" : text.substr(slash);
  return expanded.empty() ? "/" : expanded;
}

// The failures of an integer field `key`: a value that is no integer at all,
// one outside the 64-bit signed range, and one that is not finite.
[[noreturn]] void cannot_convert(std::string_view key, const JsonNode& node) {
  throw std::invalid_argument("字段 \"" + std::string(key) + "\" 的值 " + node.to_json().dump() + " 无法转换为整数");
}
[[noreturn]] void out_of_range(std::string_view key, std::string_view value) {
  throw std::out_of_range("字段 \"" + std::string(key) + "\" 的值 " + std::string(value) + " 超出 64 位整数范围");
}
[[noreturn]] void not_finite(std::string_view key, std::string_view value) {
  throw std::out_of_range("字段 \"" + std::string(key) + "\" 的值 " + std::string(value) +
                          " 不是有限数（超出浮点数范围），无法转换为整数");
}

std::string number_text(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A decimal integer with optional sign and surrounding blanks.
std::int64_t parse_decimal(std::string_view key, const JsonNode& node) {
  std::string_view text = node.string();
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) cannot_convert(key, node);
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (text.empty() || text.front() < '0' || text.front() > '9' || end != text.data() + text.size()) {
    cannot_convert(key, node);
  }
  constexpr std::uint64_t max_magnitude = std::uint64_t{1} << 63;  // |INT64_MIN|
  if (error != std::errc() || magnitude > max_magnitude || (!negative && magnitude == max_magnitude)) {
    out_of_range(key, node.to_json().dump());
  }
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

// Integer conversion of the field `key` of `item`: absent is 0; integers as
// they are, floats truncated toward zero, booleans as 1 and 0, decimal text
// parsed. A value outside the 64-bit signed range, from INT64_MIN to
// INT64_MAX exactly, throws std::out_of_range; any other value
// std::invalid_argument.
std::int64_t read_integer(const JsonNode& item, std::string_view key) {
  const std::optional<JsonNode> field = item.find(key);
  if (!field) return 0;
  switch (field->kind()) {
    case JsonKind::integer:
      return field->integer();
    case JsonKind::boolean:
      return field->boolean() ? 1 : 0;
    case JsonKind::string:
      return parse_decimal(key, *field);
    case JsonKind::unsigned_integer:
      out_of_range(key, std::to_string(field->unsigned_integer()));
    case JsonKind::floating: {
      if (field->beyond_64_bits()) out_of_range(key, field->integer_text());
      const double value = field->floating();
      if (!std::isfinite(value)) not_finite(key, number_text(value));
      const double truncated = std::trunc(value);
      if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) {  // -2^63 <= x < 2^63
        out_of_range(key, number_text(value));
      }
      return static_cast<std::int64_t>(truncated);
    }
    case JsonKind::null:
    case JsonKind::array:
    case JsonKind::object:
      break;
  }
  cannot_convert(key, *field);
}

// Text of a field: absent is empty; a string as it is; another value as its
// compact JSON text. An integer beyond 64 bits in it throws std::out_of_range.
std::string read_text(const JsonNode& item, std::string_view key) {
  const std::optional<JsonNode> field = item.find(key);
  if (!field) return {};
  if (field->is_string()) return std::string(field->string());
  return field->to_json().dump();
}

// The field's value as it is, null when absent. An integer beyond 64 bits in
// it throws std::out_of_range.
Json read_any(const JsonNode& item, std::string_view key) {
  const std::optional<JsonNode> field = item.find(key);
  return field ? field->to_json() : Json(nullptr);
}

// The message of a general error about the contents of the file at `path`.
std::string in_file(const std::filesystem::path& path, std::string_view detail) {
  return "题库文件 " + path.string() + " 有误：" + std::string(detail);
}

// The JSON document in `text`, read from `path`.
JsonDocument parse_document(const std::filesystem::path& path, shared::MutableBuffer text) {
  try {
    return JsonDocument::parse(std::move(text));
  } catch (const JsonSyntaxError&) {
    std::throw_with_nested(AskpoolNotReadyError("题库 JSON 格式错误: " + path.string()));
  } catch (const Utf8Error& error) {
    throw std::runtime_error(in_file(path, "不是有效的 UTF-8 文本（第 " + std::to_string(error.offset()) + " 字节附近）"));
  } catch (const std::length_error&) {
    std::throw_with_nested(std::length_error(in_file(path, "嵌套过深或内容过大，无法读取")));
  }
}

}  // namespace

AskpoolService::AskpoolService(const std::optional<std::string>& skills_dir) {
  if (skills_dir && !skills_dir->empty()) skills_dir_ = expand_user(*skills_dir);
}

std::filesystem::path AskpoolService::_resolve_question_templates_path() const {
  const std::filesystem::path skills = skills_dir_ ? *skills_dir_ : std::filesystem::current_path() / ".agents" / "skills";
  return skills / "ravik-amazon-rufus" / "data" / "question_templates.json";
}

std::vector<QuestionTemplate> AskpoolService::load_templates() const {
  const std::filesystem::path path = _resolve_question_templates_path();
  shared::MutableBuffer text;
  try {
    // Only a regular file is read: a FIFO in its place must not block the load.
    text = shared::MutableBuffer::read_regular_file(path);
  } catch (const std::system_error& error) {
    if (error.code() == std::errc::no_such_file_or_directory) std::throw_with_nested(_not_ready());
    throw;
  }
  const JsonDocument document = parse_document(path, std::move(text));
  const JsonNode root = document.root();
  if (!root.is_object()) throw std::invalid_argument(in_file(path, "顶层的值不是 JSON 对象"));
  const std::optional<JsonNode> items = root.find("items");
  if (!items || items->kind() != JsonKind::array) throw AskpoolNotReadyError("题库格式错误：缺少 items 列表");

  std::vector<QuestionTemplate> templates;
  std::size_t question_count = 0;
  try {
    for (const JsonNode item : items->children()) {
      if (!item.is_object()) {
        throw std::invalid_argument("items 的第 " + std::to_string(templates.size() + 1) + " 项不是 JSON 对象");
      }
      templates.push_back(_parse_template(item));
      question_count += templates.back().questions.size();
    }
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(in_file(path, error.what()));
  } catch (const std::out_of_range& error) {
    throw std::out_of_range(in_file(path, error.what()));
  }
  if (question_count == 0) {
    throw AskpoolNotReadyError("题库为空，请执行 `ravik skills upgrade ravik-amazon-rufus` 同步默认题库");
  }
  return templates;
}

QuestionTemplate AskpoolService::_parse_template(const JsonNode& item) {
  std::vector<Question> questions;
  if (const std::optional<JsonNode> entries = item.find("questions")) {
    // Lists give their elements, objects their keys, strings their
    // characters: only object elements of a list are questions.
    const JsonKind kind = entries->kind();
    if (kind != JsonKind::array && kind != JsonKind::object && kind != JsonKind::string) {
      throw std::invalid_argument("\"questions\" 应为列表，而不是 " + entries->to_json().dump());
    }
    for (const JsonNode entry : entries->children()) {
      if (entry.is_object()) questions.push_back(_parse_question(entry));
    }
  }
  std::stable_sort(questions.begin(), questions.end(),
                   [](const Question& a, const Question& b) { return a.position < b.position; });
  return QuestionTemplate{.id = read_integer(item, "id"),
                          .description = read_text(item, "description"),
                          .preferred_version_index = read_integer(item, "preferred_version_index"),
                          .questions = std::move(questions),
                          .created_at = read_any(item, "created_at"),
                          .updated_at = read_any(item, "updated_at")};
}

Question AskpoolService::_parse_question(const JsonNode& item) {
  return Question{.id = read_integer(item, "id"),
                  .text = read_text(item, "text"),
                  .position = read_integer(item, "position")};
}

AskpoolNotReadyError AskpoolService::_not_ready() {
  return AskpoolNotReadyError(
      "题库未就绪，请先执行 `ravik skills install ravik-amazon-rufus`，再执行 `ravik skills upgrade ravik-amazon-rufus`");
}

}  // namespace ravik::amazon_rufus::services
