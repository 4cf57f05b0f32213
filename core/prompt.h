// Questions to the user: message boxes, file dialogs and the busy pointer. The wizard shows
// real dialogs; the command-line programs and the tests answer them their own way, so no
// engine ever opens a window.
#pragma once

#include <optional>
#include <string>

namespace msu {

enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class Icon { kNone, kCritical, kQuestion, kExclamation, kInformation };
enum class Answer { kOk, kCancel, kYes, kNo };

// Options of a file dialog. `filter` is written as "Description(*.ext)|*.ext".
struct FileDialogOptions {
  std::string initial_folder;
  std::string filter;
  std::string file_name;
  std::string title;
};

class Prompt {
 public:
  virtual ~Prompt() = default;

  // Shows a message box and returns the button pressed. An empty title is an untitled box.
  // Its first button (OK or Yes) is the default, the one Enter presses.
  virtual Answer MessageBox(const std::string& text, const std::string& title, Buttons buttons,
                            Icon icon) = 0;

  // The same box with `default_answer` as its default button: for a question whose first
  // answer must not be given by a careless Enter. Where no default can be marked it is the
  // plain MessageBox.
  virtual Answer MessageBoxWithDefault(const std::string& text, const std::string& title,
                                       Buttons buttons, Icon icon, Answer /*default_answer*/) {
    return MessageBox(text, title, buttons, icon);
  }

  // Lets the user pick an existing file; nothing when the user cancels.
  virtual std::optional<std::string> OpenFile(const FileDialogOptions& options) = 0;

  // Lets the user name a file to write; nothing when the user cancels.
  virtual std::optional<std::string> SaveFile(const FileDialogOptions& options) = 0;

  // Shows (true) or removes (false) the busy pointer. Calls nest.
  virtual void SetBusy(bool busy) = 0;
};

// Shows the busy pointer for the life of the object, on every path out of a routine.
class BusyPointer {
 public:
  explicit BusyPointer(Prompt& prompt) : prompt_(prompt) { prompt_.SetBusy(true); }
  ~BusyPointer() { prompt_.SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  Prompt& prompt_;
};

}  // namespace msu
