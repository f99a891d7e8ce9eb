#include "ravik/amazon_rufus/services/internal/json_reader.h"

#include <simdjson.h>

#include <charconv>
#include <cstring>
#include <cstdlib>
#include <new>
#include <optional>

namespace ravik::amazon_rufus::services {

namespace ondemand = simdjson::ondemand;
static_assert(JsonReader::PADDING >= simdjson::SIMDJSON_PADDING);

// simdjson's parser keeps its buffers from one text to the next, sized for
// the largest text so far; the reader of a thread keeps one, so that reading
// a large file again does not map and fault in those buffers afresh. A
// reader made while another lives on the same thread has its own.
class ParserLease {
 public:
  ParserLease() : kept_(!kept_in_use) {
    if (kept_) {
      kept_in_use = true;
    } else {
      own_ = std::make_unique<ondemand::parser>();
    }
  }
  ~ParserLease() {
    if (kept_) kept_in_use = false;
  }
  ParserLease(const ParserLease&) = delete;
  ParserLease& operator=(const ParserLease&) = delete;

  ondemand::parser& get() { return kept_ ? kept_parser : *own_; }

 private:
  static thread_local ondemand::parser kept_parser;
  static thread_local bool kept_in_use;
  bool kept_;
  std::unique_ptr<ondemand::parser> own_;
};
thread_local ondemand::parser ParserLease::kept_parser;
thread_local bool ParserLease::kept_in_use = false;

struct JsonReader::State {
  std::string_view text;
  ParserLease parser;
  ondemand::document document;

  // Throws JsonSyntaxError for `error`, placed where the parser stands.
  void check(simdjson::error_code error) {
    if (error == simdjson::SUCCESS) return;
    const char* place = nullptr;
    if (document.current_location().get(place) != simdjson::SUCCESS) place = text.data() + text.size();
    fail(place, simdjson::error_message(error));
  }
  [[noreturn]] void fail(const char* place, std::string_view reason) const {
    throw JsonSyntaxError("invalid JSON near byte " + std::to_string(place - text.data()) + ": " + std::string(reason));
  }
};

struct JsonNode::Cursor {
  JsonReader::State& reader;
  ondemand::value value;                     // the value, unless it is the root
  ondemand::document* document;              // the root, whose scalars simdjson reads apart
  int depth;                                 // containers around the value
  bool read = false;

  // `read_value` applied to the value or the root.
  template <typename Read>
  auto apply(Read read_value) {
    read = true;
    return document ? read_value(*document) : read_value(value);
  }
  // Counts a container being entered.
  void enter() const {
    if (depth >= JsonReader::MAX_DEPTH) throw std::length_error("JSON nesting is deeper than the limit");
  }
};

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0
// (Unicode's table of well-formed byte sequences).
std::size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto continues = [&](std::size_t i, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return i < text.size() && byte(i) >= low && byte(i) <= high;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return continues(1) ? 2 : 0;
  if (lead < 0xF0) {
    const bool second = lead == 0xE0 ? continues(1, 0xA0) : lead == 0xED ? continues(1, 0x80, 0x9F) : continues(1);
    return second && continues(2) ? 3 : 0;
  }
  if (lead < 0xF5) {
    const bool second = lead == 0xF0 ? continues(1, 0x90) : lead == 0xF4 ? continues(1, 0x80, 0x8F) : continues(1);
    return second && continues(2) && continues(3) ? 4 : 0;
  }
  return 0;
}

// Offset of the first byte of `text` that is not part of well-formed UTF-8.
std::size_t first_invalid_utf8(std::string_view text) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t length = utf8_sequence_length(text.substr(offset));
    if (length == 0) break;
    offset += length;
  }
  return offset;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Strings without escapes are taken as their bytes, which simdjson's first
// pass has checked (UTF-8, no control character, a closing quote); only
// strings with escapes are decoded, into the parser's buffer. That spares
// copying most of the text.

// The text of the key whose bytes start at `raw`, after its opening quote,
// or none when it holds an escape.
std::optional<std::string_view> plain_key(const char* raw) {
  const char* end = raw;
  while (*end != '"' && *end != '\\') ++end;
  if (*end == '\\') return std::nullopt;
  return std::string_view(raw, static_cast<std::size_t>(end - raw));
}

// `token` without the blanks that the parser counts to it.
std::string_view trim_blanks(std::string_view token) {
  return token.substr(0, token.find_last_not_of(" \t\n\r") + 1);
}

// The text of the string written as `token`, or none when it holds an escape.
std::optional<std::string_view> plain_string(std::string_view token) {
  token = trim_blanks(token);
  if (token.size() < 2 || token.back() != '"') return std::nullopt;
  const std::string_view text = token.substr(1, token.size() - 2);
  if (std::memchr(text.data(), '\\', text.size()) != nullptr) return std::nullopt;
  return text;
}

// The number written as `text`, or none when it is not a JSON number.
std::optional<JsonNumber> parse_number(std::string_view text) {
  const char* const first = text.data();
  const char* const last = first + text.size();
  const char* p = first;
  const auto digits = [&p, last] {
    const char* start = p;
    while (p != last && is_digit(*p)) ++p;
    return p != start;
  };
  if (p != last && *p == '-') ++p;
  if (p != last && *p == '0') {
    ++p;
  } else if (!digits()) {
    return std::nullopt;
  }
  bool integral = true;
  if (p != last && *p == '.') {
    ++p;
    if (!digits()) return std::nullopt;
    integral = false;
  }
  if (p != last && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != last && (*p == '+' || *p == '-')) ++p;
    if (!digits()) return std::nullopt;
    integral = false;
  }
  if (p != last) return std::nullopt;

  JsonNumber number{.text = text};
  if (integral) {
    if (std::from_chars(first, last, number.integer).ec == std::errc()) return number;
    number.kind = *first != '-' && std::from_chars(first, last, number.unsigned_integer).ec == std::errc()
                      ? JsonNumber::Kind::unsigned_integer
                      : JsonNumber::Kind::beyond_64_bits;
    return number;
  }
  number.kind = JsonNumber::Kind::floating;
  if (std::from_chars(first, last, number.floating).ec != std::errc()) {
    // Out of range: strtod gives the infinity or zero a float reader would.
    number.floating = std::strtod(std::string(text).c_str(), nullptr);
  }
  return number;
}

// Hands the node at `cursor` to `visit`, then checks and passes over what
// `visit` left unread.
template <typename Visit>
void hand_over(JsonNode::Cursor& cursor, Visit&& visit) {
  const JsonNode node(cursor);
  visit(node);
  if (!cursor.read) node.skip();
}

// The value of `node` as a Json tree; the first integer beyond 64 bits goes
// to `beyond_64_bits` and into the tree as null.
Json build_json(const JsonNode& node, std::optional<std::string>& beyond_64_bits) {
  switch (node.kind()) {
    case JsonKind::null:
      node.null();
      return nullptr;
    case JsonKind::boolean:
      return node.boolean();
    case JsonKind::number: {
      const JsonNumber number = node.number();
      switch (number.kind) {
        case JsonNumber::Kind::integer:
          return number.integer;
        case JsonNumber::Kind::unsigned_integer:
          return number.unsigned_integer;
        case JsonNumber::Kind::floating:
          return number.floating;
        case JsonNumber::Kind::beyond_64_bits:
          if (!beyond_64_bits) beyond_64_bits.emplace(number.text);
          return nullptr;
      }
      return nullptr;
    }
    case JsonKind::string:
      return std::string(node.string());
    case JsonKind::array: {
      Json array = Json::array();
      node.for_each_element([&](const JsonNode& element) { array.push_back(build_json(element, beyond_64_bits)); });
      return array;
    }
    case JsonKind::object: {
      Json object = Json::object();
      node.for_each_field([&](std::string_view key, const JsonNode& value) {
        object[std::string(key)] = build_json(value, beyond_64_bits);
      });
      return object;
    }
  }
  return nullptr;
}

}  // namespace

Utf8Error::Utf8Error(std::size_t offset)
    : std::runtime_error("the text is not valid UTF-8 (near byte " + std::to_string(offset) + ")"), offset_(offset) {}

JsonKind JsonNode::kind() const {
  ondemand::json_type type{};
  Cursor& cursor = *cursor_;
  cursor.reader.check((cursor.document ? cursor.document->type() : cursor.value.type()).get(type));
  switch (type) {
    case ondemand::json_type::array:
      return JsonKind::array;
    case ondemand::json_type::object:
      return JsonKind::object;
    case ondemand::json_type::number:
      return JsonKind::number;
    case ondemand::json_type::string:
      return JsonKind::string;
    case ondemand::json_type::boolean:
      return JsonKind::boolean;
    case ondemand::json_type::null:
      break;
  }
  return JsonKind::null;
}

std::size_t JsonNode::count_elements() const {
  std::size_t count = 0;
  Cursor& cursor = *cursor_;
  cursor.reader.check((cursor.document ? cursor.document->count_elements() : cursor.value.count_elements()).get(count));
  return count;
}

void JsonNode::null() const {
  bool is_null = false;
  cursor_->reader.check(cursor_->apply([](auto& value) { return value.is_null(); }).get(is_null));
  if (!is_null) cursor_->reader.check(simdjson::INCORRECT_TYPE);  // starts like null, but is not
}

bool JsonNode::boolean() const {
  bool value = false;
  cursor_->reader.check(cursor_->apply([](auto& node) { return node.get_bool(); }).get(value));
  return value;
}

JsonNumber JsonNode::number() const {
  Cursor& cursor = *cursor_;
  std::string_view token;
  cursor.read = true;
  if (cursor.document) {
    cursor.reader.check(cursor.document->raw_json_token().get(token));
    // The root's token runs to the next one, which must not exist.
    const std::string_view text = cursor.reader.text;
    if (token.data() + token.size() != text.data() + text.size()) {
      cursor.reader.fail(token.data() + token.size(), "content after the value");
    }
  } else {
    token = cursor.value.raw_json_token();
  }
  const std::optional<JsonNumber> number = parse_number(trim_blanks(token));
  if (!number) cursor.reader.fail(token.data(), "not a number");
  return *number;
}

std::string_view JsonNode::string() const {
  Cursor& cursor = *cursor_;
  if (!cursor.document) {
    // Left where it is; the parent passes over it.
    cursor.read = true;
    if (const auto plain = plain_string(cursor.value.raw_json_token())) return *plain;
  }
  std::string_view text;
  cursor.reader.check(cursor.apply([](auto& value) { return value.get_string(); }).get(text));
  return text;
}

void JsonNode::walk_elements(void (*visit)(void*, const JsonNode&), void* visitor) const {
  Cursor& cursor = *cursor_;
  cursor.enter();
  ondemand::array array;
  cursor.reader.check(cursor.apply([](auto& value) { return value.get_array(); }).get(array));
  for (auto element : array) {
    Cursor child{.reader = cursor.reader, .value = {}, .document = nullptr, .depth = cursor.depth + 1};
    cursor.reader.check(std::move(element).get(child.value));
    hand_over(child, [&](const JsonNode& node) { visit(visitor, node); });
  }
}

void JsonNode::walk_fields(void (*visit)(void*, std::string_view, const JsonNode&), void* visitor) const {
  Cursor& cursor = *cursor_;
  cursor.enter();
  ondemand::object object;
  cursor.reader.check(cursor.apply([](auto& value) { return value.get_object(); }).get(object));
  for (auto member : object) {
    ondemand::field field;
    cursor.reader.check(std::move(member).get(field));
    std::string_view key;
    if (const auto plain = plain_key(field.key().raw())) {
      key = *plain;
    } else {
      cursor.reader.check(field.unescaped_key().get(key));
    }
    Cursor child{.reader = cursor.reader, .value = field.value(), .document = nullptr, .depth = cursor.depth + 1};
    hand_over(child, [&](const JsonNode& node) { visit(visitor, key, node); });
  }
}

Json JsonNode::to_json() const {
  std::optional<std::string> beyond_64_bits;
  Json value = build_json(*this, beyond_64_bits);
  if (beyond_64_bits) throw std::out_of_range("整数 " + *beyond_64_bits + " 超出 64 位范围");
  return value;
}

void JsonNode::skip() const {
  switch (kind()) {
    case JsonKind::null:
      return null();
    case JsonKind::boolean:
      boolean();
      return;
    case JsonKind::number:
      number();
      return;
    case JsonKind::string:
      string();
      return;
    case JsonKind::array:
      return for_each_element([](const JsonNode&) {});
    case JsonKind::object:
      return for_each_field([](std::string_view, const JsonNode&) {});
  }
}

JsonReader::JsonReader(std::string_view text) : state_(std::make_unique<State>()) {
  state_->text = text;
  // simdjson checks the whole text, UTF-8 included, before the first value is
  // read; when it finds a fault, the text's encoding is what is reported.
  const simdjson::error_code error =
      state_->parser.get().iterate(text.data(), text.size(), text.size() + PADDING).get(state_->document);
  if (error == simdjson::SUCCESS) return;
  if (error == simdjson::MEMALLOC) throw std::bad_alloc();
  if (error == simdjson::CAPACITY) throw std::length_error("JSON text too large");
  if (!simdjson::validate_utf8(text.data(), text.size())) throw Utf8Error(first_invalid_utf8(text));
  throw JsonSyntaxError(std::string("invalid JSON: ") + simdjson::error_message(error));
}

JsonReader::~JsonReader() = default;

void JsonReader::read_root(void (*visit)(void*, const JsonNode&), void* visitor) {
  JsonNode::Cursor root{.reader = *state_, .value = {}, .document = &state_->document, .depth = 0};
  const JsonKind kind = JsonNode(root).kind();
  hand_over(root, [&](const JsonNode& node) { visit(visitor, node); });
  // Scalars at the root are checked for what follows as they are read; a
  // container leaves the parser after its end, which must be the text's.
  const char* after = nullptr;
  if ((kind == JsonKind::array || kind == JsonKind::object) &&
      state_->document.current_location().get(after) == simdjson::SUCCESS) {
    state_->fail(after, "content after the value");
  }
}

}  // namespace ravik::amazon_rufus::services
