// A Prompt that answers from a script and remembers every question: the tests' double of the
// message boxes, the file dialogs and the busy pointer.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/prompt.h"

namespace msu {

class ScriptedPrompt : public Prompt {
 public:
  struct Shown {
    std::string text;
    std::string title;
    Buttons buttons;
    Icon icon;
    Answer answer;
    // The default button: the first unless the box was asked with another.
    Answer default_answer;
  };

  Answer MessageBox(const std::string& text, const std::string& title, Buttons buttons,
                    Icon icon) override;
  // Without a scripted answer, answered with `default_answer`.
  Answer MessageBoxWithDefault(const std::string& text, const std::string& title, Buttons buttons,
                               Icon icon, Answer default_answer) override;
  std::optional<std::string> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
  void SetBusy(bool busy) override;

  // Answers for the next message boxes, in order. Without a scripted answer a box is answered
  // with its first button (OK or Yes).
  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  // Results for the next file dialogs; an empty optional is a cancelled dialog.
  void QueueFile(std::optional<std::string> file) { files_.push_back(std::move(file)); }

  const std::vector<Shown>& Boxes() const { return boxes_; }
  const std::vector<FileDialogOptions>& Dialogs() const { return dialogs_; }
  int BusyDepth() const { return busy_depth_; }

 private:
  std::optional<std::string> NextFile(const FileDialogOptions& options);

  std::deque<Answer> answers_;
  std::deque<std::optional<std::string>> files_;
  std::vector<Shown> boxes_;
  std::vector<FileDialogOptions> dialogs_;
  int busy_depth_ = 0;
};

}  // namespace msu
