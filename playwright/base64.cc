#include "playwright/internal/base64.h"

#include <array>

#include "playwright/error.h"

namespace playwright::detail {

namespace {

constexpr int kInvalid = -1;

constexpr std::array<int, 256> make_decode_table() {
  std::array<int, 256> table{};
  table.fill(kInvalid);
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
  }
  return table;
}

constexpr auto kDecodeTable = make_decode_table();

}  // namespace

std::string base64_decode(std::string_view encoded) {
  while (!encoded.empty() && encoded.back() == '=') encoded.remove_suffix(1);
  if (encoded.size() % 4 == 1) throw Error("base64 data from the driver is truncated");
  std::string decoded;
  decoded.reserve(encoded.size() * 3 / 4);
  unsigned int accumulator = 0;
  int bits = 0;
  for (char c : encoded) {
    const int value = kDecodeTable[static_cast<unsigned char>(c)];
    if (value == kInvalid) throw Error("base64 data from the driver holds an invalid character");
    accumulator = (accumulator << 6) | static_cast<unsigned int>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
    }
  }
  return decoded;
}

}  // namespace playwright::detail
