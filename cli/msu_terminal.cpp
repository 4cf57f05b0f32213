#include "cli/msu_terminal.h"

#include <signal.h>

#include <algorithm>
#include <iterator>
#include <ostream>

#include "cli/password_input.h"

namespace msu::cli {

bool TerminalProgress::Prints(LogPage page) const {
  return std::find(pages_.begin(), pages_.end(), page) != pages_.end();
}

void TerminalProgress::Add(LogPage page, const std::string& message, bool detail) {
  if (detail && !details_[Index(page)]) return;
  texts_[Index(page)].push_back(message);
  if (!Prints(page)) return;
  ClearStatus();
  // Flushed line by line: a long check shows how far it got, also through a pipe.
  out_ << message << std::endl;
}

void TerminalProgress::SetPercent(LogPage page, int value, int value2) {
  if (!live_status_ || page != LogPage::kMerge) return;
  // Carriage return and "erase to the end of the line": the figures are redrawn in place.
  out_ << "\r\033[KMerge: " << StatusCaption(value, value2) << std::flush;
  status_shown_ = true;
}

void TerminalProgress::ClearStatus() {
  if (!status_shown_) return;
  out_ << "\r\033[K" << std::flush;
  status_shown_ = false;
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
  switch (ReadPasswordLine(password_file, prompt, password)) {
    case PasswordRead::kFileUnreadable:
      *problem = "cannot read the password file " + password_file;
      return false;
    case PasswordRead::kNoTerminal:
      *problem = "there is no terminal to read the Warden password from; give --password-file FILE";
      return false;
    case PasswordRead::kRead:
    case PasswordRead::kNothingTyped:
      // Nothing typed is an empty password, which the login check refuses in its own words.
      return true;
  }
  return true;
}

}  // namespace msu::cli
