// Request numbers in ORVA notation: the prefix, the hyphen, numbers without leading zeros.
#include "convert/request_number.h"

#include <gtest/gtest.h>

namespace msu::convert {
namespace {

TEST(ConvertRequestNumber, WritesThePrefixAndTheNumbersWithoutLeadingZeros) {
  const struct {
    const char* stored;
    const char* converted;
  } cases[] = {
      {"o12.003", "O-12.3"},
      {"E-001.02", "E-1.2"},
      {"C-5", "C-5"},
      {"12.3", "12.3"},  // a leading digit: unchanged
      {"0", "0"},
      {"X", "X-0"},
      {"o-12.3", "O-12.3"},
      {"", "-0"},
      {"s7", "S-7"},
      {"A-0100000.2", "A-100000.2"},  // whole numbers stay plain, however round
      {"O-12.", "O-12.0"},            // an empty piece is 0
      {"O-12.ab.7x", "O-12.0.7"},     // a piece reads as far as its digits go
      {"O--5", "O--5"},               // a sign belongs to the number
      {"-5", "--5"},                  // the hyphen itself is the prefix
      {"é3", "É-3"},                  // the prefix is one character, however many bytes,
      {"ä12.003", "Ä-12.3"},          // upper-cased in the suite's code page
      {"ÿ1", "Ÿ-1"},                  // even where Unicode's upper case is another byte
      {"\xe4"
       "12",
       "\xc4-12"},  // a Windows-1252 byte stays a byte
      {"\u20ac"
       "5",
       "\u20ac-5"},  // a character without case stays as it is
      {"e12345678901234567890", "E-1.2345678901234567e+19"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConvertRequestNumber(c.stored), c.converted) << c.stored;
}

TEST(ConvertRequestNumber, AConvertedNumberStaysAsItIs) {
  for (const char* stored : {"o12.003", "E-001.02", "X", "12.3", "o-1.002.3"}) {
    const std::string once = ConvertRequestNumber(stored);
    EXPECT_EQ(ConvertRequestNumber(once), once) << stored;
  }
}

}  // namespace
}  // namespace msu::convert
