#include "cli/msu_terminal.h"

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
  if (!words_) {
    PrintLine(message);
    return;
  }
  if (IsLoaderListing(message) && !details_[Index(page)]) return;
  if (const std::optional<std::string> line = CommandLineWording(*words_, page, message)) {
    PrintLine(*line);
  }
}

void TerminalProgress::PrintLine(const std::string& line) {
  ClearStatus();
  // Flushed line by line: a long check shows how far it got, also through a pipe.
  out_ << line << std::endl;
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
  if (quiet_ && (buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel)) {
    return yes_no_answer_;
  }
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

bool ReadWardenPassword(const std::string& password_file, const std::string& prompt,
                        std::string* password, std::string* problem) {
  const PasswordRead read = ReadPasswordLine(password_file, prompt, password);
  // Nothing typed is an empty password, which the login check refuses in its own words.
  if (read == PasswordRead::kRead || read == PasswordRead::kNothingTyped) return true;
  *problem = PasswordProblem(read, password_file);
  return false;
}

}  // namespace msu::cli
