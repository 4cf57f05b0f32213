#include "cli/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

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

bool ReadHiddenLine(const std::string& prompt, std::string* line) {
  std::cerr << prompt << std::flush;
  bool read = false;
  {
    EchoOff echo_off(STDIN_FILENO);
    read = static_cast<bool>(std::getline(std::cin, *line));
  }
  std::cerr << "\n";
  return read;
}

PasswordRead ReadPasswordLine(const std::string& password_file, const std::string& prompt,
                              std::string* password) {
  password->clear();
  if (!password_file.empty()) {
    std::ifstream file(password_file, std::ios::binary);
    if (!file) return PasswordRead::kFileUnreadable;
    std::getline(file, *password);
  } else {
    if (!::isatty(STDIN_FILENO)) return PasswordRead::kNoTerminal;
    if (!ReadHiddenLine(prompt, password)) {
      password->clear();
      return PasswordRead::kNothingTyped;
    }
  }
  if (!password->empty() && password->back() == '\r') password->pop_back();
  return PasswordRead::kRead;
}

}  // namespace msu::cli
