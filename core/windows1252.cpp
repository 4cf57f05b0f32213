#include "core/windows1252.h"

#include <array>

namespace msu {

namespace {

// Unicode of the bytes 0x80-0x9F; 0 where the code page has no character.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Code of a Windows-1252 byte taken as text.
char32_t FromWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0) {
    return kHighControls[byte - 0x80];
  }
  return byte;
}

}  // namespace

std::optional<unsigned char> ToWindows1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == code) {
      return static_cast<unsigned char>(0x80 + i);
    }
  }
  return std::nullopt;
}

unsigned char UpperWindows1252(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return byte - 0x20;
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return byte - 0x20;
  switch (byte) {
    case 0x9A:  // š
    case 0x9C:  // œ
    case 0x9E:  // ž
      return byte - 0x10;
    case 0xFF:  // ÿ
      return 0x9F;
    default:
      return byte;
  }
}

char32_t NextCharacter(std::string_view text, size_t* at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(*at);
  size_t length = first < 0x80             ? 1
                  : (first & 0xE0) == 0xC0 ? 2
                  : (first & 0xF0) == 0xE0 ? 3
                  : (first & 0xF8) == 0xF0 ? 4
                                           : 0;
  if (length == 1 || length == 0 || *at + length > text.size()) {
    ++*at;
    return length == 1 ? first : FromWindows1252(first);
  }
  char32_t code = first & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(*at + i) & 0xC0) != 0x80) {
      ++*at;
      return FromWindows1252(first);
    }
    code = (code << 6) | (byte(*at + i) & 0x3F);
  }
  // Overlong forms and surrogates are no characters: the first byte stands alone.
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++*at;
    return FromWindows1252(first);
  }
  *at += length;
  return code;
}

std::string UpperFirstCharacter(std::string_view text, size_t* length) {
  size_t at = 0;
  if (text.empty()) {
    if (length != nullptr) *length = 0;
    return {};
  }
  const char32_t code = NextCharacter(text, &at);
  if (length != nullptr) *length = at;
  const std::optional<unsigned char> byte = ToWindows1252(code);
  if (!byte) return std::string(text.substr(0, at));
  const unsigned char upper = UpperWindows1252(*byte);
  // A lone byte stays a byte: the text is Windows-1252 already.
  if (at == 1 && static_cast<unsigned char>(text[0]) >= 0x80) {
    return std::string(1, static_cast<char>(upper));
  }
  const char32_t out = FromWindows1252(upper);
  std::string utf8;
  if (out < 0x80) {
    utf8 += static_cast<char>(out);
  } else if (out < 0x800) {
    utf8 += static_cast<char>(0xC0 | (out >> 6));
    utf8 += static_cast<char>(0x80 | (out & 0x3F));
  } else {
    utf8 += static_cast<char>(0xE0 | (out >> 12));
    utf8 += static_cast<char>(0x80 | ((out >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (out & 0x3F));
  }
  return utf8;
}

}  // namespace msu
