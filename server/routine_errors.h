// How the administration routines turn a failure into the number and description their
// callers show. Internal to the server routines: the wizard only ever sees the lines, message
// boxes and return values the routines produce from it.
#pragma once

#include <stdexcept>
#include <string>

#include "core/prompt.h"

namespace msu {

// Numbers of failed file operations, in the range the rest of the program already uses for
// them, so that a copy that fails reads like any other error line.
inline constexpr long kErrFileNotFound = 53;
inline constexpr long kErrPermissionDenied = 70;
inline constexpr long kErrPathAccess = 75;

// A file operation of a routine (delete, copy) that failed.
class FileError : public std::runtime_error {
 public:
  FileError(long number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

// Number and description of one failure.
struct RoutineError {
  long number = 0;
  std::string description;
};

// The failure being handled. Call only inside a catch block: it rethrows the exception in
// flight and reads AdminError, DataError and FileError with their own numbers; any other
// exception becomes an administration failure with its text.
RoutineError CurrentError();

// `LastError` form: the number in decimal, " - ", the description.
std::string LastErrorText(const RoutineError& error);

// The plain box of the attach, detach and open-connection routines: OK button only, no title,
// the description, a blank and the number in decimal.
void ShowErrorBox(Prompt& prompt, const RoutineError& error);

}  // namespace msu
