// An error with a number and a description, the form every layer of the program reports
// failures in (the data layer, the server administration, the report writer, the instruction
// collections, file operations). Each layer derives its own type, so a handler can catch one
// layer's errors or, through this base, any of them with its number. The numbers are those of
// core/error_numbers.h.
#pragma once

#include <stdexcept>
#include <string>

#include "core/error_numbers.h"

namespace msu {

class NumberedError : public std::runtime_error {
 public:
  NumberedError(long number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

// A failure as a value, carried to where it is shown instead of a text to be read back: its
// number, its description and the step that was under way (empty when none was named).
struct ErrorValue {
  long number = 0;
  std::string description;
  std::string context;
};

}  // namespace msu
