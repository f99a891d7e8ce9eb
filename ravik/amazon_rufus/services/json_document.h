// JsonDocument: a strict, fast reader of one UTF-8 JSON text, kept as a flat
// tape of nodes so that large files are read without building a tree of
// heap objects. JsonNode walks it.
//
// Strings are decoded in place inside the document's own copy of the text.
// The grammar is RFC 8259 (no NaN or Infinity, no lone surrogate escapes);
// nesting deeper than MAX_DEPTH is refused.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ravik/json.h"
#include "ravik/shared/file_io.h"

namespace ravik::amazon_rufus::services {

// The text is valid UTF-8 but not valid JSON.
class JsonSyntaxError : public std::runtime_error {
 public:
  JsonSyntaxError(const std::string& reason, std::size_t offset);
  std::size_t offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// The text is not UTF-8 at all.
class Utf8Error : public std::runtime_error {
 public:
  explicit Utf8Error(std::size_t offset);
  // The byte at or near which the text stops being UTF-8.
  std::size_t offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view text);

enum class JsonKind : std::uint8_t { null, boolean, integer, unsigned_integer, floating, string, array, object };

class JsonDocument;

// One value of a JsonDocument; valid while the document lives.
class JsonNode {
 public:
  JsonNode(const JsonDocument& document, std::uint32_t index) : document_(&document), index_(index) {}

  JsonKind kind() const;
  bool is_object() const { return kind() == JsonKind::object; }
  bool is_string() const { return kind() == JsonKind::string; }

  // Accessors for the matching kind only.
  bool boolean() const;
  std::int64_t integer() const;
  std::uint64_t unsigned_integer() const;
  double floating() const;
  std::string_view string() const;

  // True for an integer in the text too large for both 64-bit types; its
  // kind is floating, floating() gives the nearest double and
  // integer_text() its digits as the text has them.
  bool beyond_64_bits() const;
  std::string_view integer_text() const;

  // The value under `key` of an object; the last one when a key repeats.
  std::optional<JsonNode> find(std::string_view key) const;

  // Walks an array's elements or, like iterating a dictionary, an object's
  // keys (as string nodes).
  class ChildIterator;
  struct Children {
    ChildIterator begin() const;
    ChildIterator end() const;
    const JsonDocument* document;
    std::uint32_t first, last;
    bool keys;
  };
  Children children() const;

  // The same value as a Json tree. Throws std::out_of_range when it holds an
  // integer beyond 64 bits, which a Json tree cannot hold exactly.
  Json to_json() const;

 private:
  const JsonDocument* document_;
  std::uint32_t index_;
};

class JsonDocument {
 public:
  static constexpr int MAX_DEPTH = 1000;

  // Parses `text`, decoding strings inside it. Throws Utf8Error when the
  // text is not UTF-8 (that check comes first), JsonSyntaxError when it is
  // not one JSON value, and std::length_error when nesting exceeds MAX_DEPTH
  // or the text reaches 4 GiB.
  static JsonDocument parse(shared::MutableBuffer text);
  static JsonDocument parse(std::string_view text) { return parse(shared::MutableBuffer(text)); }

  JsonNode root() const { return JsonNode(*this, 0); }

 private:
  friend class JsonNode;
  friend class JsonParser;

  // One node in eight bytes, so that large documents touch little memory.
  struct Entry {
    static constexpr int KIND_SHIFT = 29;
    static constexpr std::uint32_t MAX_LENGTH = (std::uint32_t{1} << KIND_SHIFT) - 1;
    static constexpr std::uint32_t BEYOND_64_BITS = 1;

    std::uint32_t head;   // kind in the top three bits; below, a string's byte length, and
                          // for a number BEYOND_64_BITS or 0
    std::uint32_t value;  // string: offset in the text; container: index after its last
                          // node; boolean: 0 or 1; number: index in numbers_, which for
                          // BEYOND_64_BITS holds the text's offset and length next

    JsonKind kind() const { return static_cast<JsonKind>(head >> KIND_SHIFT); }
    std::uint32_t length() const { return head & MAX_LENGTH; }
  };

  // Index of the node after the one at `index` and all it contains.
  std::uint32_t skip(std::uint32_t index) const {
    const Entry& entry = entries_[index];
    const JsonKind kind = entry.kind();
    return kind == JsonKind::array || kind == JsonKind::object ? entry.value : index + 1;
  }

  shared::MutableBuffer text_;
  std::vector<Entry> entries_;
  std::vector<std::uint64_t> numbers_;  // integers and the bits of floating-point numbers
};

class JsonNode::ChildIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = JsonNode;
  using difference_type = std::ptrdiff_t;

  ChildIterator(const JsonDocument* document, std::uint32_t index, bool keys)
      : document_(document), index_(index), keys_(keys) {}
  JsonNode operator*() const { return JsonNode(*document_, index_); }
  ChildIterator& operator++() {
    index_ = keys_ ? document_->skip(index_ + 1) : document_->skip(index_);
    return *this;
  }
  bool operator==(const ChildIterator& other) const { return index_ == other.index_; }

 private:
  const JsonDocument* document_;
  std::uint32_t index_;
  bool keys_;
};

inline JsonKind JsonNode::kind() const { return document_->entries_[index_].kind(); }
inline bool JsonNode::boolean() const { return document_->entries_[index_].value != 0; }
inline std::int64_t JsonNode::integer() const { return std::bit_cast<std::int64_t>(unsigned_integer()); }
inline std::uint64_t JsonNode::unsigned_integer() const {
  return document_->numbers_[document_->entries_[index_].value];
}
inline double JsonNode::floating() const { return std::bit_cast<double>(unsigned_integer()); }
inline bool JsonNode::beyond_64_bits() const {
  const JsonDocument::Entry& entry = document_->entries_[index_];
  return entry.kind() == JsonKind::floating && entry.length() == JsonDocument::Entry::BEYOND_64_BITS;
}
inline std::string_view JsonNode::integer_text() const {
  const std::uint64_t place = document_->numbers_[document_->entries_[index_].value + 1];
  return std::string_view(document_->text_.data() + (place >> 32), place & 0xFFFFFFFF);
}
inline std::string_view JsonNode::string() const {
  const JsonDocument::Entry& entry = document_->entries_[index_];
  return std::string_view(document_->text_.data() + entry.value, entry.length());
}

inline JsonNode::ChildIterator JsonNode::Children::begin() const { return {document, first, keys}; }
inline JsonNode::ChildIterator JsonNode::Children::end() const { return {document, last, keys}; }

}  // namespace ravik::amazon_rufus::services
