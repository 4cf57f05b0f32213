#include "convert/request_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/text.h"
#include "core/windows1252.h"

namespace msu::convert {

namespace {

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
    // The suite's code page decides what the upper case of a letter is ("ä" gives "Ä").
    size_t first = 0;
    prefix = UpperFirstCharacter(text, &first);
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
