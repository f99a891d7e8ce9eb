#include "ravik/amazon_rufus/services/askpool_service.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <system_error>

#include "ravik/amazon_rufus/services/json_document.h"
#include "ravik/shared/file_io.h"

namespace ravik::amazon_rufus::services {
namespace {

using domain::AskpoolNotReadyError;
using domain::Question;
using domain::QuestionTemplate;

// The home directory of `user`, or of the current user when `user` is empty
// ($HOME first); none when it cannot be found.
std::optional<std::string> home_of(const std::string& user) {
  if (user.empty()) {
    if (const char* home = std::getenv("HOME")) return std::string(home);
  }
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const int status = user.empty() ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                                  : getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (status != 0 || found == nullptr) return std::nullopt;
  return std::string(found->pw_dir);
}

// `text` with a leading "~" or "~user" replaced by that home directory; left
// as it is when the home directory is unknown.
std::filesystem::path expand_user(const std::string& text) {
  if (text.empty() || text.front() != '~') return text;
  const std::size_t slash = text.find('/');
  const std::string user = text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  const std::optional<std::string> home = home_of(user);
  if (!home) return text;
  std::string expanded = *home;
  while (!expanded.empty() && expanded.back() == '/') expanded.pop_back();
  expanded += slash == std::string::npos ? "" : text.substr(slash);
  return expanded.empty() ? "/" : expanded;
}

[[noreturn]] void cannot_convert(const JsonNode& node) {
  throw std::invalid_argument("cannot convert " + node.to_json().dump() + " to an integer");
}

// A decimal integer with optional sign and surrounding blanks.
std::int64_t parse_decimal(const JsonNode& node) {
  std::string_view text = node.string();
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) cannot_convert(node);
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (text.empty() || text.front() < '0' || text.front() > '9' || end != text.data() + text.size()) {
    cannot_convert(node);
  }
  constexpr std::uint64_t max_magnitude = std::uint64_t{1} << 63;  // |INT64_MIN|
  if (error != std::errc() || magnitude > max_magnitude || (!negative && magnitude == max_magnitude)) {
    throw std::out_of_range("integer out of range: " + std::string(node.string()));
  }
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

// Integer conversion of a field: absent is 0; integers as they are, floats
// truncated toward zero, booleans as 1 and 0, decimal text parsed.
std::int64_t read_integer(const std::optional<JsonNode>& field) {
  if (!field) return 0;
  switch (field->kind()) {
    case JsonKind::integer:
      return field->integer();
    case JsonKind::boolean:
      return field->boolean() ? 1 : 0;
    case JsonKind::string:
      return parse_decimal(*field);
    case JsonKind::unsigned_integer:
      throw std::out_of_range("integer out of range: " + std::to_string(field->unsigned_integer()));
    case JsonKind::floating: {
      const double truncated = std::trunc(field->floating());
      // -2^63 <= truncated < 2^63, written so that infinities fail too.
      if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) {
        throw std::out_of_range("cannot convert " + field->to_json().dump() + " to a 64-bit integer");
      }
      return static_cast<std::int64_t>(truncated);
    }
    case JsonKind::null:
    case JsonKind::array:
    case JsonKind::object:
      break;
  }
  cannot_convert(*field);
}

// Text of a field: absent is empty; a string as it is; another value as its
// compact JSON text.
std::string read_text(const std::optional<JsonNode>& field) {
  if (!field) return {};
  if (field->is_string()) return std::string(field->string());
  return field->to_json().dump();
}

Json read_any(const std::optional<JsonNode>& field) { return field ? field->to_json() : Json(nullptr); }

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
    text = shared::MutableBuffer::read_file(path);
  } catch (const std::system_error& error) {
    if (error.code() == std::errc::no_such_file_or_directory) std::throw_with_nested(_not_ready());
    throw;
  }
  JsonDocument document;
  try {
    document = JsonDocument::parse(std::move(text));
  } catch (const JsonSyntaxError&) {
    std::throw_with_nested(AskpoolNotReadyError("题库 JSON 格式错误: " + path.string()));
  }
  const JsonNode root = document.root();
  if (!root.is_object()) throw std::invalid_argument("the question bank's top-level value is not a JSON object");
  const std::optional<JsonNode> items = root.find("items");
  if (!items || items->kind() != JsonKind::array) throw AskpoolNotReadyError("题库格式错误：缺少 items 列表");

  std::vector<QuestionTemplate> templates;
  std::size_t question_count = 0;
  for (const JsonNode item : items->children()) {
    if (!item.is_object()) {
      throw std::invalid_argument("question bank item " + std::to_string(templates.size()) + " is not a JSON object");
    }
    templates.push_back(_parse_template(item));
    question_count += templates.back().questions.size();
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
      throw std::invalid_argument("\"questions\" must be a list, not " + entries->to_json().dump());
    }
    for (const JsonNode entry : entries->children()) {
      if (entry.is_object()) questions.push_back(_parse_question(entry));
    }
  }
  std::stable_sort(questions.begin(), questions.end(),
                   [](const Question& a, const Question& b) { return a.position < b.position; });
  return QuestionTemplate{.id = read_integer(item.find("id")),
                          .description = read_text(item.find("description")),
                          .preferred_version_index = read_integer(item.find("preferred_version_index")),
                          .questions = std::move(questions),
                          .created_at = read_any(item.find("created_at")),
                          .updated_at = read_any(item.find("updated_at"))};
}

Question AskpoolService::_parse_question(const JsonNode& item) {
  return Question{.id = read_integer(item.find("id")),
                  .text = read_text(item.find("text")),
                  .position = read_integer(item.find("position"))};
}

AskpoolNotReadyError AskpoolService::_not_ready() {
  return AskpoolNotReadyError(
      "题库未就绪，请先执行 `ravik skills install ravik-amazon-rufus`，再执行 `ravik skills upgrade ravik-amazon-rufus`");
}

}  // namespace ravik::amazon_rufus::services
