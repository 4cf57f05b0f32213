// Reading a password in the command-line programs: the first line of a file, or a line typed on
// the terminal with its echo turned off for exactly as long as the typing. The echo comes back
// on every path (RAII), an interrupted read included. Each program words its own messages.
#pragma once

#include <memory>
#include <string>

namespace msu::cli {

enum class PasswordRead {
  kRead,            // a password was read (it may be empty)
  kFileUnreadable,  // the password file could not be opened
  kNotAFile,        // the password file is a pipe, a device or a folder: never read
  kTooLong,         // the line is longer than kPasswordLimit bytes: not read on
  kNoTerminal,      // no file was named and standard input is no terminal
  kNothingTyped,    // the terminal's input ended before a line was typed
};

// The longest password line read; anything longer is refused rather than read to its end
// (a password file named by mistake may be huge, or never end).
inline constexpr size_t kPasswordLimit = 4096;

// What went wrong, for a program's message: empty for kRead and kNothingTyped, otherwise a
// sentence without a capital or a full stop, such as "the password file F is not a regular
// file (it is a pipe)".
std::string PasswordProblem(PasswordRead result, const std::string& password_file);

// Turns the echo of the terminal `fd` off for the object's life and restores the terminal's
// settings when it ends. Does nothing when `fd` is no terminal.
class EchoOff {
 public:
  explicit EchoOff(int fd);
  ~EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  struct Saved;
  int fd_;
  std::unique_ptr<Saved> saved_;  // the settings to restore; none when nothing was changed
};

// Writes `prompt` on standard error and reads one line of standard input with the echo off,
// at most kPasswordLimit bytes; then ends the prompt's line on standard error, since the typed
// line end was not echoed. kNothingTyped when the input ended before a line, kTooLong when the
// line goes on past the limit, otherwise kRead.
PasswordRead ReadHiddenLine(const std::string& prompt, std::string* line);

// Reads a password: the first line of `password_file` when it is not empty (a regular file
// only: a pipe or device is refused without being opened), otherwise one line typed on the
// terminal after `prompt` (ReadHiddenLine). At most kPasswordLimit bytes are read. A CR before
// the line's end is dropped. On any result but kRead, `password` is empty.
PasswordRead ReadPasswordLine(const std::string& password_file, const std::string& prompt,
                              std::string* password);

}  // namespace msu::cli
