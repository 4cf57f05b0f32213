#include "tests/support/scripted_prompt.h"

namespace msu {

Answer ScriptedPrompt::MessageBox(const std::string& text, const std::string& title,
                                  Buttons buttons, Icon icon) {
  const Answer first =
      (buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel) ? Answer::kYes : Answer::kOk;
  return MessageBoxWithDefault(text, title, buttons, icon, first);
}

Answer ScriptedPrompt::MessageBoxWithDefault(const std::string& text, const std::string& title,
                                             Buttons buttons, Icon icon, Answer default_answer) {
  Answer answer = default_answer;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  boxes_.push_back({text, title, buttons, icon, answer, default_answer});
  return answer;
}

std::optional<std::string> ScriptedPrompt::NextFile(const FileDialogOptions& options) {
  dialogs_.push_back(options);
  if (files_.empty()) return std::nullopt;
  std::optional<std::string> file = files_.front();
  files_.pop_front();
  return file;
}

std::optional<std::string> ScriptedPrompt::OpenFile(const FileDialogOptions& options) {
  return NextFile(options);
}

std::optional<std::string> ScriptedPrompt::SaveFile(const FileDialogOptions& options) {
  return NextFile(options);
}

void ScriptedPrompt::SetBusy(bool busy) { busy_depth_ += busy ? 1 : -1; }

}  // namespace msu
