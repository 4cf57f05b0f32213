// How the administration routines turn a failure into the number and description their
// callers show. Internal to the server routines: the wizard only ever sees the lines, message
// boxes and return values the routines produce from it.
#pragma once

#include <stdexcept>
#include <string>
#include "core/numbered_error.h"

#include "core/prompt.h"

namespace msu {

// A file operation of a routine (delete, copy) that failed.
class FileError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

// Number and description of one failure.
struct RoutineError {
  long number = 0;
  std::string description;
};

// The failure being handled. Call only inside a catch block: it rethrows the exception in
// flight and reads any NumberedError (data, administration, report, collection or file
// errors) with its own number; any other exception becomes an administration failure with
// its text.
RoutineError CurrentError();

// `LastError` form: the number in decimal, " - ", the description.
std::string LastErrorText(const RoutineError& error);

// The plain box of the attach, detach and open-connection routines: OK button only, no title,
// the description, a blank and the number in decimal.
void ShowErrorBox(Prompt& prompt, const RoutineError& error);

}  // namespace msu
