// JSON vocabulary shared by every ravik component.
//
// `Json` is the string-keyed, insertion-ordered dictionary (and "any JSON
// value") of the system; JSON null stands for "none".
#pragma once

#include <nlohmann/json.hpp>

namespace ravik {

using Json = nlohmann::ordered_json;

// True for the values the system treats as empty: null, false, zero (integer
// or floating point), the empty text, the empty list and the empty object.
// A key that is absent from a dictionary is empty too; see `is_empty_entry`.
inline bool is_empty_value(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      return true;
    case Json::value_t::boolean:
      return !value.get<bool>();
    case Json::value_t::number_integer:
      return value.get<std::int64_t>() == 0;
    case Json::value_t::number_unsigned:
      return value.get<std::uint64_t>() == 0;
    case Json::value_t::number_float:
      return value.get<double>() == 0.0;
    case Json::value_t::string:
      // Json::empty() is false for every string, so look at the text itself.
      return value.get_ref<const Json::string_t&>().empty();
    case Json::value_t::binary:
      return value.get_binary().empty();
    case Json::value_t::array:
    case Json::value_t::object:
      return value.empty();
  }
  return true;
}

// The text form of a JSON value: a string as it is, any other value as its
// compact JSON text (an integer in decimal).
inline std::string text_form(const Json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// True when `dict` is not an object, lacks `key`, or holds an empty value there.
inline bool is_empty_entry(const Json& dict, std::string_view key) {
  if (!dict.is_object()) return true;
  const auto found = dict.find(key);
  return found == dict.end() || is_empty_value(*found);
}

// `dict[key]` when that entry is not empty (see `is_empty_entry`), else `fallback`.
inline Json non_empty_or(const Json& dict, std::string_view key, Json fallback) {
  return is_empty_entry(dict, key) ? std::move(fallback) : *dict.find(key);
}

}  // namespace ravik
