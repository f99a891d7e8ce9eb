// JsonReader: a strict reader of one UTF-8 JSON text on simdjson's On-Demand
// parser. The text is read once, front to back, without building a tree: the
// caller is handed each value in turn as a JsonNode and takes what it needs.
//
// Every value is checked against the JSON grammar (RFC 8259: no NaN or
// Infinity, no lone surrogate escapes, nothing after the value) as it is
// passed, whether the caller reads it or not, so a text read to its end
// without an exception is valid JSON. Nesting deeper than MAX_DEPTH is
// refused. simdjson's working buffers stay with the thread after a reader
// ends, sized for the largest text read, so that a later text needs no fresh
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ravik/json.h"

namespace ravik::amazon_rufus::services {

// The text is valid UTF-8 but not valid JSON.
class JsonSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text is not UTF-8 at all.
class Utf8Error : public std::runtime_error {
 public:
  explicit Utf8Error(std::size_t offset);
  // The first byte that is not part of a well-formed UTF-8 sequence.
  std::size_t offset() const { return offset_; }

 private:
  std::size_t offset_;
};

enum class JsonKind : std::uint8_t { null, boolean, number, string, array, object };

// A JSON number as the text writes it.
struct JsonNumber {
  enum class Kind : std::uint8_t {
    integer,           // fits std::int64_t: `integer`
    unsigned_integer,  // above INT64_MAX, fits std::uint64_t: `unsigned_integer`
    beyond_64_bits,    // an integer that fits neither: only `text`
    floating,          // a fraction or exponent: `floating`, ±HUGE_VAL or 0 beyond a double's range
  };
  Kind kind = Kind::integer;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double floating = 0;
  std::string_view text;  // the number as written
};

// One value of the text being read, handed to a callback of JsonReader or of
// its parent node and usable only during that call. It is read at most once,
// by one of the reading calls below (kind() does not read it); a value left
// unread is checked and passed over when the callback returns. Every reading
// call throws JsonSyntaxError where the text is not JSON.
class JsonNode {
 public:
  struct Cursor;  // the parser's position, private to the reader
  explicit JsonNode(Cursor& cursor) : cursor_(&cursor) {}
  JsonNode(const JsonNode&) = delete;
  JsonNode& operator=(const JsonNode&) = delete;

  JsonKind kind() const;
  // The number of elements of an array, counted without reading them.
  std::size_t count_elements() const;

  // Readers for the matching kind only.
  void null() const;
  bool boolean() const;
  JsonNumber number() const;
  // The decoded text, valid while the reader lives.
  std::string_view string() const;
  // Hands each element of an array, in order, to `visit(const JsonNode&)`.
  template <typename Visit>
  void for_each_element(Visit visit) const {
    walk_elements([](void* f, const JsonNode& element) { (*static_cast<Visit*>(f))(element); }, &visit);
  }
  // Hands each member of an object, in order and repeated keys included, to
  // `visit(std::string_view key, const JsonNode& value)` with its decoded key.
  template <typename Visit>
  void for_each_field(Visit visit) const {
    walk_fields([](void* f, std::string_view key, const JsonNode& value) { (*static_cast<Visit*>(f))(key, value); },
                &visit);
  }

  // Reads the whole value, of any kind, as a Json tree; of a repeated key the
  // tree keeps the last value in the first key's place. Throws
  // std::out_of_range, once the value is read to its end, when it holds an
  // integer beyond 64 bits, which a Json tree cannot hold exactly.
  Json to_json() const;
  // Reads the whole value, of any kind, only to check it.
  void skip() const;

 private:
  // The visitors as a function and its state: no copy, no allocation.
  void walk_elements(void (*visit)(void*, const JsonNode&), void* visitor) const;
  void walk_fields(void (*visit)(void*, std::string_view, const JsonNode&), void* visitor) const;

  Cursor* cursor_;
};

class JsonReader {
 public:
  static constexpr int MAX_DEPTH = 1000;
  // Bytes that must follow the text in memory (their value does not matter).
  static constexpr std::size_t PADDING = 64;

  // Prepares to read `text`, which is followed in memory by PADDING bytes and
  // must outlive the reader. Throws Utf8Error when the text is not UTF-8,
  // which is checked over the whole text before anything else;
  // JsonSyntaxError for some faults of the JSON found on the way (an empty
  // text, an unterminated string, a control character in one); and
  // std::length_error when the text reaches 4 GiB.
  explicit JsonReader(std::string_view text);
  ~JsonReader();
  JsonReader(const JsonReader&) = delete;
  JsonReader& operator=(const JsonReader&) = delete;

  // Hands the text's value to `visit(const JsonNode& root)`, then checks that
  // nothing follows it. Call once. Throws JsonSyntaxError where the text is
  // not one JSON value, std::length_error where nesting exceeds MAX_DEPTH,
  // and whatever `visit` throws.
  template <typename Visit>
  void read(Visit visit) {
    read_root([](void* f, const JsonNode& root) { (*static_cast<Visit*>(f))(root); }, &visit);
  }

 private:
  friend class JsonNode;
  void read_root(void (*visit)(void*, const JsonNode&), void* visitor);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ravik::amazon_rufus::services
