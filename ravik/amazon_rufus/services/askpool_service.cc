#include "ravik/amazon_rufus/services/askpool_service.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <system_error>

#include "ravik/amazon_rufus/services/internal/json_reader.h"
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
[[noreturn]] void cannot_convert(std::string_view key, const Json& value) {
  throw std::invalid_argument("字段 \"" + std::string(key) + "\" 的值 " + value.dump() + " 无法转换为整数");
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
std::int64_t parse_decimal(std::string_view key, std::string_view text) {
  const std::string_view original = text;
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) cannot_convert(key, std::string(original));
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (text.empty() || text.front() < '0' || text.front() > '9' || end != text.data() + text.size()) {
    cannot_convert(key, std::string(original));
  }
  constexpr std::uint64_t max_magnitude = std::uint64_t{1} << 63;  // |INT64_MIN|
  if (error != std::errc() || magnitude > max_magnitude || (!negative && magnitude == max_magnitude)) {
    out_of_range(key, Json(std::string(original)).dump());
  }
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

// Integer conversion of `field`, the value of `key`: integers as they are,
// floats truncated toward zero, booleans as 1 and 0, decimal text parsed. A
// value outside the 64-bit signed range, from INT64_MIN to INT64_MAX
// exactly, throws std::out_of_range; any other value std::invalid_argument.
std::int64_t read_integer(const JsonNode& field, std::string_view key) {
  switch (field.kind()) {
    case JsonKind::number: {
      const JsonNumber number = field.number();
      switch (number.kind) {
        case JsonNumber::Kind::integer:
          return number.integer;
        case JsonNumber::Kind::unsigned_integer:
        case JsonNumber::Kind::beyond_64_bits:
          out_of_range(key, number.text);
        case JsonNumber::Kind::floating:
          break;
      }
      const double value = number.floating;
      if (!std::isfinite(value)) not_finite(key, number_text(value));
      const double truncated = std::trunc(value);
      if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) {  // -2^63 <= x < 2^63
        out_of_range(key, number_text(value));
      }
      return static_cast<std::int64_t>(truncated);
    }
    case JsonKind::boolean:
      return field.boolean() ? 1 : 0;
    case JsonKind::string:
      return parse_decimal(key, field.string());
    case JsonKind::null:
    case JsonKind::array:
    case JsonKind::object:
      break;
  }
  cannot_convert(key, field.to_json());
}

// Text of `field`: a string as it is; another value as its compact JSON text.
// An integer beyond 64 bits in it throws std::out_of_range.
std::string read_text(const JsonNode& field) {
  if (field.kind() == JsonKind::string) return std::string(field.string());
  return field.to_json().dump();
}

// The conversion failures (std::invalid_argument, std::out_of_range) met
// while a value is read, the first of them held until the value has been
// read to its end: the rest of the file must still be checked as JSON, and a
// syntax error further on is what the load reports.
class HeldFault {
 public:
  // Runs `read`, holding the conversion failure it throws unless one is held.
  template <typename Read>
  void run(Read&& read) {
    try {
      read();
    } catch (const std::invalid_argument&) {
      hold(std::current_exception());
    } catch (const std::out_of_range&) {
      hold(std::current_exception());
    }
  }
  void hold(std::exception_ptr fault) {
    if (!fault_) fault_ = std::move(fault);
  }
  void clear() { fault_ = nullptr; }
  explicit operator bool() const { return fault_ != nullptr; }
  void rethrow_if_held() const {
    if (fault_) std::rethrow_exception(fault_);
  }

 private:
  std::exception_ptr fault_;
};

// An object member read the way a dictionary keeps it: of a repeated key the
// last value counts, and a conversion failure of an earlier one is
// forgotten. Holds `T{}` while the key is absent.
template <typename T>
class LastValue {
 public:
  template <typename Read>
  void read(Read&& read) {
    fault_.clear();
    fault_.run([&] { value_ = read(); });
  }
  // The value; throws the conversion failure of the last one read.
  T take() && {
    fault_.rethrow_if_held();
    return std::move(value_);
  }

 private:
  T value_{};
  HeldFault fault_;
};

// The message of a general error about the contents of the file at `path`.
std::string in_file(const std::filesystem::path& path, std::string_view detail) {
  return "题库文件 " + path.string() + " 有误：" + std::string(detail);
}

// `read` applied to a reader of `text`, read from `path`, with the reader's
// failures reported as the load reports them.
template <typename Read>
void read_json(const std::filesystem::path& path, std::string_view text, Read&& read) {
  try {
    JsonReader reader(text);
    reader.read(read);
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
    text = shared::MutableBuffer::read_regular_file(path, JsonReader::PADDING);
  } catch (const std::system_error& error) {
    if (error.code() == std::errc::no_such_file_or_directory) std::throw_with_nested(_not_ready());
    throw;
  }

  // The templates of an "items" list, or none when the value is not a list.
  const auto read_items = [](const JsonNode& items) -> std::optional<std::vector<QuestionTemplate>> {
    if (items.kind() != JsonKind::array) return std::nullopt;
    std::vector<QuestionTemplate> templates;
    HeldFault fault;
    items.for_each_element([&](const JsonNode& item) {
      if (fault) return;
      if (item.kind() != JsonKind::object) {
        fault.hold(std::make_exception_ptr(std::invalid_argument(
            "items 的第 " + std::to_string(templates.size() + 1) + " 项不是 JSON 对象")));
        return;
      }
      fault.run([&] { templates.push_back(_parse_template(item)); });
    });
    fault.rethrow_if_held();
    return templates;
  };
  bool root_is_object = true;
  LastValue<std::optional<std::vector<QuestionTemplate>>> items;
  read_json(path, std::string_view(text.data(), text.size()), [&](const JsonNode& root) {
    root_is_object = root.kind() == JsonKind::object;
    if (!root_is_object) return;
    root.for_each_field([&](std::string_view key, const JsonNode& value) {
      if (key == "items") items.read([&] { return read_items(value); });
    });
  });
  if (!root_is_object) throw std::invalid_argument(in_file(path, "顶层的值不是 JSON 对象"));

  std::optional<std::vector<QuestionTemplate>> templates;
  try {
    templates = std::move(items).take();
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(in_file(path, error.what()));
  } catch (const std::out_of_range& error) {
    throw std::out_of_range(in_file(path, error.what()));
  }
  if (!templates) throw AskpoolNotReadyError("题库格式错误：缺少 items 列表");
  std::size_t question_count = 0;
  for (const QuestionTemplate& item : *templates) question_count += item.questions.size();
  if (question_count == 0) {
    throw AskpoolNotReadyError("题库为空，请执行 `ravik skills upgrade ravik-amazon-rufus` 同步默认题库");
  }
  return std::move(*templates);
}

QuestionTemplate AskpoolService::_parse_template(const JsonNode& item) {
  // Lists give their elements, objects their keys, strings their characters:
  // only object elements of a list are questions.
  const auto read_questions = [](const JsonNode& entries) {
    std::vector<Question> questions;
    const JsonKind kind = entries.kind();
    if (kind == JsonKind::array) {
      questions.reserve(entries.count_elements());
      HeldFault fault;
      entries.for_each_element([&](const JsonNode& entry) {
        if (!fault && entry.kind() == JsonKind::object) fault.run([&] { questions.push_back(_parse_question(entry)); });
      });
      fault.rethrow_if_held();
    } else if (kind != JsonKind::object && kind != JsonKind::string) {
      throw std::invalid_argument("\"questions\" 应为列表，而不是 " + entries.to_json().dump());
    }
    std::stable_sort(questions.begin(), questions.end(),
                     [](const Question& a, const Question& b) { return a.position < b.position; });
    return questions;
  };
  LastValue<std::vector<Question>> questions;
  LastValue<std::int64_t> id, preferred_version_index;
  LastValue<std::string> description;
  LastValue<Json> created_at, updated_at;
  item.for_each_field([&](std::string_view key, const JsonNode& value) {
    if (key == "questions") {
      questions.read([&] { return read_questions(value); });
    } else if (key == "id") {
      id.read([&] { return read_integer(value, key); });
    } else if (key == "description") {
      description.read([&] { return read_text(value); });
    } else if (key == "preferred_version_index") {
      preferred_version_index.read([&] { return read_integer(value, key); });
    } else if (key == "created_at") {
      created_at.read([&] { return value.to_json(); });
    } else if (key == "updated_at") {
      updated_at.read([&] { return value.to_json(); });
    }
  });
  // The questions first, then the template's own fields in order: the first
  // failure among them is the one reported.
  std::vector<Question> parsed_questions = std::move(questions).take();
  return QuestionTemplate{.id = std::move(id).take(),
                          .description = std::move(description).take(),
                          .preferred_version_index = std::move(preferred_version_index).take(),
                          .questions = std::move(parsed_questions),
                          .created_at = std::move(created_at).take(),
                          .updated_at = std::move(updated_at).take()};
}

Question AskpoolService::_parse_question(const JsonNode& item) {
  LastValue<std::int64_t> id, position;
  LastValue<std::string> text;
  item.for_each_field([&](std::string_view key, const JsonNode& value) {
    if (key == "id") {
      id.read([&] { return read_integer(value, key); });
    } else if (key == "text") {
      text.read([&] { return read_text(value); });
    } else if (key == "position") {
      position.read([&] { return read_integer(value, key); });
    }
  });
  return Question{.id = std::move(id).take(), .text = std::move(text).take(), .position = std::move(position).take()};
}

AskpoolNotReadyError AskpoolService::_not_ready() {
  return AskpoolNotReadyError(
      "题库未就绪，请先执行 `ravik skills install ravik-amazon-rufus`，再执行 `ravik skills upgrade ravik-amazon-rufus`");
}

}  // namespace ravik::amazon_rufus::services
