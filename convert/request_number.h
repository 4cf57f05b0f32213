// Request numbers of resources: before 4.13 the suite wrote them in several notations (o12.003,
// E-001.02, s7); the outside resource-ordering system ORVA, and the suite since 4.13, write a
// prefix letter, a hyphen and dot-separated numbers without leading zeros (O-12.3).
#pragma once

#include <string>
#include <string_view>

namespace msu::convert {

// The request number `text` in ORVA notation:
//   - a text whose first character is a digit is returned unchanged (12.3 stays 12.3);
//   - otherwise the first character, upper-cased as Windows-1252 does it (UpperFirstCharacter:
//     "ä" gives "Ä"), is the prefix; the rest starts after a "-"
//     that follows it, else right after it;
//   - the rest is cut at every "."; each piece becomes the number its leading digits read as
//     (an empty or non-numeric piece is 0), written without leading zeros; the numbers are
//     joined with ".".
// o12.003 -> O-12.3, E-001.02 -> E-1.2, C-5 -> C-5, o-12.3 -> O-12.3, X -> X-0, "" -> -0.
// A piece too long for a double-precision number to hold exactly is written in the shortest
// form that reads back to the number it was read as (1.2345678901234568e+19). Never throws.
std::string ConvertRequestNumber(std::string_view text);

}  // namespace msu::convert
