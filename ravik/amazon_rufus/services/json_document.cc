#include "ravik/amazon_rufus/services/json_document.h"

#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ravik::amazon_rufus::services {
namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence starting at `p`, or 0 when the
// bytes there are not one (Unicode's table of well-formed byte sequences).
std::size_t utf8_sequence_length(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = p[0];
  const std::size_t available = static_cast<std::size_t>(end - p);
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return available >= 2 && is_continuation(p[1]) ? 2 : 0;
  if (lead < 0xF0) {
    if (available < 3 || !is_continuation(p[2])) return 0;
    const unsigned char second = p[1];
    const bool ok = lead == 0xE0   ? second >= 0xA0 && second <= 0xBF
                    : lead == 0xED ? second >= 0x80 && second <= 0x9F
                                   : is_continuation(second);
    return ok ? 3 : 0;
  }
  if (lead < 0xF5) {
    if (available < 4 || !is_continuation(p[2]) || !is_continuation(p[3])) return 0;
    const unsigned char second = p[1];
    const bool ok = lead == 0xF0   ? second >= 0x90 && second <= 0xBF
                    : lead == 0xF4 ? second >= 0x80 && second <= 0x8F
                                   : is_continuation(second);
    return ok ? 4 : 0;
  }
  return 0;
}

// The usual shape of CJK text: a lead byte E1..EC or EE..EF and two
// continuation bytes, which needs none of the special cases of E0 and ED.
inline bool is_common_three_byte_sequence(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = p[0];
  return end - p >= 3 && lead >= 0xE1 && lead <= 0xEF && lead != 0xED && is_continuation(p[1]) &&
         is_continuation(p[2]);
}

// Two such sequences in the first six of the eight bytes at `p`.
inline bool are_two_common_three_byte_sequences(const unsigned char* p) {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  if constexpr (std::endian::native == std::endian::big) bytes = __builtin_bswap64(bytes);
  // Leads E0..EF and continuations 80..BF, byte 0 in the lowest bits.
  if ((bytes & 0x0000C0C0F0C0C0F0ULL) != 0x00008080E08080E0ULL) return false;
  const auto first_lead = static_cast<unsigned char>(bytes);
  const auto second_lead = static_cast<unsigned char>(bytes >> 24);
  return first_lead != 0xE0 && first_lead != 0xED && second_lead != 0xE0 && second_lead != 0xED;
}

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Writes `code_point` as UTF-8 at `out`; returns the bytes written.
std::size_t encode_utf8(std::uint32_t code_point, unsigned char* out) {
  if (code_point < 0x80) {
    out[0] = static_cast<unsigned char>(code_point);
    return 1;
  }
  if (code_point < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (code_point >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    return 2;
  }
  if (code_point < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (code_point >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (code_point >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((code_point >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
  return 4;
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

JsonSyntaxError::JsonSyntaxError(const std::string& reason, std::size_t offset)
    : std::runtime_error("invalid JSON at byte " + std::to_string(offset) + ": " + reason), offset_(offset) {}

Utf8Error::Utf8Error(std::size_t offset)
    : std::runtime_error("the text is not valid UTF-8 (near byte " + std::to_string(offset) + ")"), offset_(offset) {}

bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    if (end - p >= 8) {
      std::uint64_t block;
      std::memcpy(&block, p, 8);
      if ((block & 0x8080808080808080ULL) == 0) {
        p += 8;
        continue;
      }
    }
    const std::size_t length = utf8_sequence_length(p, end);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

// Recursive-descent parser that appends the nodes of one JSON text to a
// document's tape, decoding strings in place.
class JsonParser {
 public:
  explicit JsonParser(JsonDocument& document)
      : data_(reinterpret_cast<unsigned char*>(document.text_.data())),
        size_(document.text_.size()),
        entries_(document.entries_),
        numbers_(document.numbers_) {
    if (size_ >= std::numeric_limits<std::uint32_t>::max()) throw std::length_error("JSON text too large");
  }

  void parse_document() {
    skip_whitespace();
    parse_value(0);
    skip_whitespace();
    if (pos_ != size_) fail("extra data after the value");
  }

 private:
  using Entry = JsonDocument::Entry;

  [[noreturn]] void fail(const char* reason) const { fail_at(pos_, reason); }

  // Bytes from `offset` on are still the original text, and every byte
  // before it was read as ASCII or as a complete UTF-8 sequence; so the text
  // is UTF-8 exactly when its rest is.
  [[noreturn]] void fail_at(std::size_t offset, const char* reason) const {
    if (!is_valid_utf8(std::string_view(reinterpret_cast<const char*>(data_) + offset, size_ - offset))) {
      not_utf8(offset);
    }
    throw JsonSyntaxError(reason, offset);
  }

  [[noreturn]] static void not_utf8(std::size_t offset) { throw Utf8Error(offset); }

  // Appends a node; offsets and indexes fit in 32 bits because the text is
  // shorter than 4 GiB.
  std::uint32_t push(JsonKind kind, std::uint32_t length, std::size_t value) {
    entries_.push_back(
        Entry{(static_cast<std::uint32_t>(kind) << Entry::KIND_SHIFT) | length, static_cast<std::uint32_t>(value)});
    return static_cast<std::uint32_t>(entries_.size() - 1);
  }

  void push_number(JsonKind kind, std::uint64_t bits) {
    numbers_.push_back(bits);
    push(kind, 0, numbers_.size() - 1);
  }

  bool at(unsigned char c) const { return pos_ < size_ && data_[pos_] == c; }

  void skip_whitespace() {
    while (pos_ < size_) {
      const unsigned char c = data_[pos_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
      ++pos_;
    }
  }

  void parse_value(int depth) {
    if (pos_ >= size_) fail("expected a value");
    switch (data_[pos_]) {
      case '{':
        return parse_container(depth + 1, JsonKind::object, '}');
      case '[':
        return parse_container(depth + 1, JsonKind::array, ']');
      case '"':
        return parse_string();
      case 't':
        return parse_literal("true", JsonKind::boolean, 1);
      case 'f':
        return parse_literal("false", JsonKind::boolean, 0);
      case 'n':
        return parse_literal("null", JsonKind::null, 0);
      default:
        if (data_[pos_] == '-' || is_digit(data_[pos_])) return parse_number();
        fail("expected a value");
    }
  }

  void parse_literal(std::string_view word, JsonKind kind, std::uint64_t value) {
    if (size_ - pos_ < word.size() || std::memcmp(data_ + pos_, word.data(), word.size()) != 0) {
      fail("expected a value");
    }
    pos_ += word.size();
    push(kind, 0, value);
  }

  void parse_container(int depth, JsonKind kind, unsigned char closing) {
    if (depth > JsonDocument::MAX_DEPTH) throw std::length_error("JSON nesting is too deep");
    const std::uint32_t index = push(kind, 0, 0);
    ++pos_;
    skip_whitespace();
    if (at(closing)) {
      ++pos_;
    } else {
      for (;;) {
        if (kind == JsonKind::object) {
          if (!at('"')) fail("expected a key in double quotes");
          parse_string();
          skip_whitespace();
          if (!at(':')) fail("expected ':'");
          ++pos_;
          skip_whitespace();
        }
        parse_value(depth);
        skip_whitespace();
        if (at(',')) {
          ++pos_;
          skip_whitespace();
          continue;
        }
        if (at(closing)) {
          ++pos_;
          break;
        }
        fail(kind == JsonKind::object ? "expected ',' or '}'" : "expected ',' or ']'");
      }
    }
    entries_[index].value = static_cast<std::uint32_t>(entries_.size());
  }

  // Reads four hex digits at `offset`, or fails.
  std::uint32_t read_hex4(std::size_t offset) const {
    if (size_ - offset < 4) fail_at(offset, "incomplete \\u escape");
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int digit = hex_digit(data_[offset + k]);
      if (digit < 0) fail_at(offset, "invalid \\u escape");
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
  }

  // Decodes the escape at `i` (a backslash) to `out`; returns the bytes read.
  std::size_t decode_escape(std::size_t i, std::size_t& out) {
    if (i + 1 >= size_) fail_at(i, "unterminated string");
    unsigned char decoded;
    switch (data_[i + 1]) {
      case '"': decoded = '"'; break;
      case '\\': decoded = '\\'; break;
      case '/': decoded = '/'; break;
      case 'b': decoded = '\b'; break;
      case 'f': decoded = '\f'; break;
      case 'n': decoded = '\n'; break;
      case 'r': decoded = '\r'; break;
      case 't': decoded = '\t'; break;
      case 'u': {
        std::uint32_t code_point = read_hex4(i + 2);
        std::size_t consumed = 6;
        if (code_point >= 0xDC00 && code_point <= 0xDFFF) fail_at(i, "lone surrogate in \\u escape");
        if (code_point >= 0xD800 && code_point <= 0xDBFF) {
          if (size_ - i < 12 || data_[i + 6] != '\\' || data_[i + 7] != 'u') fail_at(i, "lone surrogate in \\u escape");
          const std::uint32_t low = read_hex4(i + 8);
          if (low < 0xDC00 || low > 0xDFFF) fail_at(i, "lone surrogate in \\u escape");
          code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
          consumed = 12;
        }
        out += encode_utf8(code_point, data_ + out);
        return consumed;
      }
      default:
        fail_at(i, "invalid escape");
    }
    data_[out++] = decoded;
    return 2;
  }

  void parse_string() {
    const std::size_t start = pos_ + 1;
    std::size_t i = start;
    // Fast path: no escapes, the text stays where it is.
    for (;;) {
      if (i >= size_) fail_at(i, "unterminated string");
      const unsigned char c = data_[i];
      if (c == '"') return finish_string(start, i - start, i + 1);
      if (c == '\\') break;
      if (c < 0x20) fail_at(i, "control character in string");
      if (c < 0x80) {
        ++i;
        continue;
      }
      if (size_ - i >= 8 && are_two_common_three_byte_sequences(data_ + i)) {
        i += 6;
        continue;
      }
      if (is_common_three_byte_sequence(data_ + i, data_ + size_)) {
        i += 3;
        continue;
      }
      const std::size_t length = utf8_sequence_length(data_ + i, data_ + size_);
      if (length == 0) not_utf8(i);
      i += length;
    }
    // Escapes: decode, moving the rest of the string down as it is read.
    std::size_t out = i;
    for (;;) {
      if (i >= size_) fail_at(i, "unterminated string");
      const unsigned char c = data_[i];
      if (c == '"') return finish_string(start, out - start, i + 1);
      if (c == '\\') {
        i += decode_escape(i, out);
        continue;
      }
      if (c < 0x20) fail_at(i, "control character in string");
      const std::size_t length = c < 0x80 ? 1 : utf8_sequence_length(data_ + i, data_ + size_);
      if (length == 0) not_utf8(i);
      std::memmove(data_ + out, data_ + i, length);
      out += length;
      i += length;
    }
  }

  void finish_string(std::size_t offset, std::size_t length, std::size_t next) {
    if (length > Entry::MAX_LENGTH) throw std::length_error("JSON string too long");
    push(JsonKind::string, static_cast<std::uint32_t>(length), offset);
    pos_ = next;
  }

  void skip_digits() {
    while (pos_ < size_ && is_digit(data_[pos_])) ++pos_;
  }

  void parse_number() {
    const std::size_t start = pos_;
    if (at('-')) ++pos_;
    if (pos_ >= size_ || !is_digit(data_[pos_])) fail("expected a digit");
    if (at('0')) {
      ++pos_;
    } else {
      skip_digits();
    }
    bool integral = true;
    if (at('.')) {
      ++pos_;
      if (pos_ >= size_ || !is_digit(data_[pos_])) fail("expected a digit after '.'");
      skip_digits();
      integral = false;
    }
    if (at('e') || at('E')) {
      ++pos_;
      if (at('+') || at('-')) ++pos_;
      if (pos_ >= size_ || !is_digit(data_[pos_])) fail("expected a digit in the exponent");
      skip_digits();
      integral = false;
    }
    const char* first = reinterpret_cast<const char*>(data_ + start);
    const char* last = reinterpret_cast<const char*>(data_ + pos_);
    if (integral) {
      std::int64_t signed_value;
      if (std::from_chars(first, last, signed_value).ec == std::errc()) {
        push_number(JsonKind::integer, std::bit_cast<std::uint64_t>(signed_value));
        return;
      }
      std::uint64_t unsigned_value;
      if (*first != '-' && std::from_chars(first, last, unsigned_value).ec == std::errc()) {
        push_number(JsonKind::unsigned_integer, unsigned_value);
        return;
      }
    }
    double value;
    if (std::from_chars(first, last, value).ec != std::errc()) {
      // Out of range: strtod gives the infinity or zero a float reader would.
      value = std::strtod(std::string(first, last).c_str(), nullptr);
    }
    if (!integral) return push_number(JsonKind::floating, std::bit_cast<std::uint64_t>(value));
    // An integer beyond 64 bits: the nearest double, then where its digits are.
    numbers_.push_back(std::bit_cast<std::uint64_t>(value));
    numbers_.push_back((std::uint64_t{start} << 32) | (pos_ - start));
    push(JsonKind::floating, Entry::BEYOND_64_BITS, numbers_.size() - 2);
  }

  unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::vector<Entry>& entries_;
  std::vector<std::uint64_t>& numbers_;
};

JsonDocument JsonDocument::parse(shared::MutableBuffer text) {
  JsonDocument document;
  document.text_ = std::move(text);
  document.entries_.reserve(document.text_.size() / 16 + 1);
  document.numbers_.reserve(document.text_.size() / 64 + 1);
  JsonParser(document).parse_document();
  return document;
}

std::optional<JsonNode> JsonNode::find(std::string_view key) const {
  std::optional<JsonNode> found;
  if (!is_object()) return found;
  const std::uint32_t end = document_->entries_[index_].value;
  for (std::uint32_t i = index_ + 1; i < end; i = document_->skip(i + 1)) {
    if (JsonNode(*document_, i).string() == key) found.emplace(*document_, i + 1);
  }
  return found;
}

JsonNode::Children JsonNode::children() const {
  const JsonKind own = kind();
  if (own != JsonKind::array && own != JsonKind::object) return {document_, index_, index_, false};
  return {document_, index_ + 1, document_->entries_[index_].value, own == JsonKind::object};
}

Json JsonNode::to_json() const {
  switch (kind()) {
    case JsonKind::null:
      return nullptr;
    case JsonKind::boolean:
      return boolean();
    case JsonKind::integer:
      return integer();
    case JsonKind::unsigned_integer:
      return unsigned_integer();
    case JsonKind::floating:
      if (beyond_64_bits()) throw std::out_of_range("整数 " + std::string(integer_text()) + " 超出 64 位范围");
      return floating();
    case JsonKind::string:
      return std::string(string());
    case JsonKind::array: {
      Json array = Json::array();
      for (const JsonNode element : children()) array.push_back(element.to_json());
      return array;
    }
    case JsonKind::object: {
      Json object = Json::object();
      for (const JsonNode key : children()) {
        object[std::string(key.string())] = JsonNode(*document_, key.index_ + 1).to_json();
      }
      return object;
    }
  }
  return nullptr;
}

}  // namespace ravik::amazon_rufus::services
