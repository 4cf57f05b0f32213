#include "cli/msu_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

namespace msu::cli {

void TerminalProgress::Add(LogPage page, const std::string& message, bool detail) {
  if (detail && !details_[Index(page)]) return;
  texts_[Index(page)].push_back(message);
  if (page != page_) return;
  // Flushed line by line: a long check shows how far it got, also through a pipe.
  out_ << message << std::endl;
}

Answer TerminalPrompt::MessageBox(const std::string& text, const std::string& title,
                                  Buttons buttons, Icon /*icon*/) {
  err_ << (title.empty() ? text : title + ": " + text) << "\n";
  if (buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel) {
    err_ << (yes_no_answer_ == Answer::kYes ? "(answered Yes)" : "(answered No)") << "\n";
    return yes_no_answer_;
  }
  return Answer::kOk;
}

std::optional<std::string> TerminalPrompt::OpenFile(const FileDialogOptions& /*options*/) {
  return std::nullopt;
}

std::optional<std::string> TerminalPrompt::SaveFile(const FileDialogOptions& /*options*/) {
  return std::nullopt;
}

namespace {

// Turns the echo of the terminal off for the life of the object and back on, on every path.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    restore_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (restore_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool restore_ = false;
};

volatile sig_atomic_t received_signal = 0;

void RememberSignal(int signal) { received_signal = signal; }

constexpr int kDeferredSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved_actions[3];

}  // namespace

DeferredInterrupts::DeferredInterrupts() {
  received_signal = 0;
  struct sigaction remember {};
  remember.sa_handler = &RememberSignal;
  sigemptyset(&remember.sa_mask);
  for (size_t i = 0; i < std::size(kDeferredSignals); ++i) {
    ::sigaction(kDeferredSignals[i], &remember, &saved_actions[i]);
  }
  ::signal(SIGPIPE, SIG_IGN);
}

DeferredInterrupts::~DeferredInterrupts() {
  for (size_t i = 0; i < std::size(kDeferredSignals); ++i) {
    ::sigaction(kDeferredSignals[i], &saved_actions[i], nullptr);
  }
}

int DeferredInterrupts::Received() const { return received_signal; }

bool ReadWardenPassword(const std::string& password_file, const std::string& prompt,
                        std::string* password, std::string* problem) {
  password->clear();
  if (!password_file.empty()) {
    std::ifstream file(password_file, std::ios::binary);
    if (!file) {
      *problem = "cannot read the password file " + password_file;
      return false;
    }
    std::getline(file, *password);
  } else {
    if (!::isatty(STDIN_FILENO)) {
      *problem = "there is no terminal to read the Warden password from; give --password-file FILE";
      return false;
    }
    std::cerr << prompt << std::flush;
    EchoOff echo_off(STDIN_FILENO);
    std::getline(std::cin, *password);
  }
  if (!password->empty() && password->back() == '\r') password->pop_back();
  return true;
}

}  // namespace msu::cli
