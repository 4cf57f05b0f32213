// The terminal side of msu: the check page's log printed line by line, message boxes that
// never wait for anybody, and the Warden password read without echo.
#pragma once

#include <array>
#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/interrupt_requests.h"
#include "cli/msu_wording.h"
#include "core/progress.h"
#include "core/prompt.h"

namespace msu::cli {

// Prints every shown line of the logs of `pages`, as it is added, on `out`, in the words of the
// command line (CommandLineWording, once SetWords has told it the command). Detail lines reach
// it only when the page's "Show Details" box is ticked (SetShowDetails); so do the instruction
// loader's listings (IsLoaderListing), which the window shows. The shown lines of every page
// are kept as well, as the engines wrote them, so the program can look back at what a routine
// wrote.
//
// With `live_status` (for a terminal, never a pipe or file), the merge page's percentages show
// as one line that is redrawn in place ("Merge: 40 % - 75 %") and cleared before each line;
// otherwise percentages are not shown.
class TerminalProgress : public Progress {
 public:
  TerminalProgress(std::ostream& out, std::initializer_list<LogPage> pages,
                   bool live_status = false)
      : out_(out), pages_(pages), live_status_(live_status) {}
  ~TerminalProgress() override { ClearStatus(); }

  void Add(LogPage page, const std::string& message, bool detail) override;
  void Clear(LogPage page) override { texts_[Index(page)].clear(); }
  void SetPercent(LogPage page, int value, int value2) override;

  // The "Show Details" box of `page`; read at each Add.
  void SetShowDetails(LogPage page, bool shown) { details_[Index(page)] = shown; }
  // What the command was given, for the wording of the lines it prints.
  void SetWords(const CommandWords& words) { words_ = words; }
  // The texts of the shown lines of `page` since it was last cleared, in order.
  const std::vector<std::string>& Texts(LogPage page) const { return texts_[Index(page)]; }

 private:
  static size_t Index(LogPage page) { return static_cast<size_t>(page); }
  bool Prints(LogPage page) const;
  void PrintLine(const std::string& line);
  void ClearStatus();

  std::ostream& out_;
  std::vector<LogPage> pages_;
  bool live_status_;
  bool status_shown_ = false;
  std::array<std::vector<std::string>, 3> texts_;
  std::array<bool, 3> details_{false, false, false};
  std::optional<CommandWords> words_;
};

// Answers every message box at once: the text (after its title, when it has one) goes to
// `err`, a Yes/No box takes `yes_no_answer` and says so, any other box is answered OK. File
// dialogs are cancelled; there is no busy pointer to show.
class TerminalPrompt : public Prompt {
 public:
  // With `quiet`, a Yes/No box is answered without a word.
  TerminalPrompt(std::ostream& err, Answer yes_no_answer, bool quiet = false)
      : err_(err), yes_no_answer_(yes_no_answer), quiet_(quiet) {}

  Answer MessageBox(const std::string& text, const std::string& title, Buttons buttons,
                    Icon icon) override;
  std::optional<std::string> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
  void SetBusy(bool /*busy*/) override {}

 private:
  std::ostream& err_;
  Answer yes_no_answer_;
  bool quiet_;
};

// Reads the Warden password: the first line of `password_file` (a CR before its end is
// dropped) when that is not empty, otherwise one line typed on the terminal with echo turned
// off, after `prompt` on stderr. An empty password is returned as it is: the login check has
// its own words for it. Returns false with `problem` set when the file cannot be read or
// there is no terminal to ask.
bool ReadWardenPassword(const std::string& password_file, const std::string& prompt,
                        std::string* password, std::string* problem);

}  // namespace msu::cli
