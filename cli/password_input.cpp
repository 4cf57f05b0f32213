#include "cli/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "core/file_checks.h"

namespace msu::cli {

struct EchoOff::Saved {
  termios settings{};
};

EchoOff::EchoOff(int fd) : fd_(fd) {
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) return;
  termios quiet = settings;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0) saved_ = std::make_unique<Saved>(Saved{settings});
}

EchoOff::~EchoOff() {
  if (saved_ != nullptr) ::tcsetattr(fd_, TCSAFLUSH, &saved_->settings);
}

namespace {

// One line of `in`, at most kPasswordLimit bytes; the line end is not kept.
PasswordRead ReadLimitedLine(std::istream& in, std::string* line) {
  line->clear();
  char c = 0;
  bool any = false;
  while (in.get(c)) {
    any = true;
    if (c == '\n') return PasswordRead::kRead;
    if (line->size() == kPasswordLimit) {
      line->assign(line->size(), '\0');
      line->clear();
      return PasswordRead::kTooLong;
    }
    line->push_back(c);
  }
  return any ? PasswordRead::kRead : PasswordRead::kNothingTyped;
}

}  // namespace

std::string PasswordProblem(PasswordRead result, const std::string& password_file) {
  switch (result) {
    case PasswordRead::kFileUnreadable:
      return "cannot read the password file " + password_file;
    case PasswordRead::kNotAFile:
      return "the password file " + password_file + " is not a regular file (" +
             NotARegularFile(password_file) + ")";
    case PasswordRead::kTooLong:
      return "the password is longer than " + std::to_string(kPasswordLimit) +
             " bytes; is that the right file?";
    case PasswordRead::kNoTerminal:
      return "there is no terminal to read the Warden password from; give --password-file FILE";
    case PasswordRead::kRead:
    case PasswordRead::kNothingTyped:
      break;
  }
  return {};
}

PasswordRead ReadHiddenLine(const std::string& prompt, std::string* line) {
  std::cerr << prompt << std::flush;
  PasswordRead read = PasswordRead::kNothingTyped;
  {
    EchoOff echo_off(STDIN_FILENO);
    read = ReadLimitedLine(std::cin, line);
  }
  std::cerr << "\n";
  return read;
}

PasswordRead ReadPasswordLine(const std::string& password_file, const std::string& prompt,
                              std::string* password) {
  password->clear();
  PasswordRead read = PasswordRead::kRead;
  if (!password_file.empty()) {
    // A pipe would make the program wait for a writer, a device would never end.
    const std::string problem = NotARegularFile(password_file);
    if (!problem.empty()) {
      return problem == "it does not exist" ? PasswordRead::kFileUnreadable
                                            : PasswordRead::kNotAFile;
    }
    std::ifstream file(password_file, std::ios::binary);
    if (!file) return PasswordRead::kFileUnreadable;
    read = ReadLimitedLine(file, password);
    // An empty file is an empty password: the login check has its own words for it.
    if (read == PasswordRead::kNothingTyped) read = PasswordRead::kRead;
  } else {
    if (!::isatty(STDIN_FILENO)) return PasswordRead::kNoTerminal;
    read = ReadHiddenLine(prompt, password);
  }
  if (read != PasswordRead::kRead) {
    password->clear();
    return read;
  }
  if (!password->empty() && password->back() == '\r') password->pop_back();
  return PasswordRead::kRead;
}

}  // namespace msu::cli
