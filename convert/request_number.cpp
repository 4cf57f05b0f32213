#include "convert/request_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/text.h"

namespace msu::convert {

namespace {

// Bytes of the UTF-8 character at `at`: a prefix is one character, however many bytes it
// takes.
size_t CharacterLength(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return std::min(length, text.size() - at);
}

// Whole numbers below 10^15 as plain integers, as the suite wrote them; larger ones in the
// shortest exponent form that reads back to the same double (not a run of digits that only
// looks exact).
std::string NumberText(double number) {
  if (std::fabs(number) < 1e15) return std::to_string(static_cast<int64_t>(number));
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string ConvertRequestNumber(std::string_view text) {
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') return std::string(text);
  std::string prefix;
  std::string_view rest;
  if (!text.empty()) {
    const size_t first = CharacterLength(text, 0);
    prefix = UpperCase(text.substr(0, first));
    rest = text.substr(first);
    if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
  }
  std::string numbers;
  size_t start = 0;
  for (;;) {
    const size_t dot = rest.find('.', start);
    const std::string_view piece = rest.substr(start, dot - start);
    if (start > 0) numbers += '.';
    numbers += NumberText(LeadingNumber(piece));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return prefix + "-" + numbers;
}

}  // namespace msu::convert
