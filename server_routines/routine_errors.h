// How the administration routines turn a failure into the number and description their
// callers show. Internal to the server routines: the wizard only ever sees the lines, message
// boxes and return values the routines produce from it.
#pragma once

#include <stdexcept>
#include <string>

#include "core/context.h"
#include "core/numbered_error.h"
#include "core/prompt.h"

namespace msu::server_routines {

// A file operation of a routine (delete, copy) that failed.
class FileError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

// Number and description of one failure (and the step under way, once it is kept).
using RoutineError = ErrorValue;

// The failure being handled. Call only inside a catch block: it rethrows the exception in
// flight and reads any NumberedError (data, administration, report, collection or file
// errors) with its own number; any other exception becomes an administration failure with
// its text.
RoutineError CurrentError();

// `LastError` form: the number in decimal, " - ", the description.
std::string LastErrorText(const RoutineError& error);

// Keeps `error` as the run's last failure: LastFailure, with the step under way
// (CurrentOperation) as its context, and LastError, its text.
void KeepLastError(Context& context, RoutineError error);

// The plain box of the attach, detach and open-connection routines: OK button only, no title,
// the description, a blank and the number in decimal.
void ShowErrorBox(Prompt& prompt, const RoutineError& error);

}  // namespace msu::server_routines
