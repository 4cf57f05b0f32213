// Questions to the user as real dialogs: message boxes, file dialogs and the busy pointer.
#pragma once

#include <QString>

#include "core/prompt.h"

class QWidget;

namespace msu::app {

class QtPrompt : public Prompt {
 public:
  // Dialogs are centred over `parent` (may be null, and may be set later).
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  Answer MessageBox(const std::string& text, const std::string& title, Buttons buttons,
                    Icon icon) override;
  Answer MessageBoxWithDefault(const std::string& text, const std::string& title, Buttons buttons,
                               Icon icon, Answer default_answer) override;
  std::optional<std::string> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
  // The override cursor of Qt is a stack, so nested calls need no counting of our own.
  void SetBusy(bool busy) override;

 private:
  QWidget* parent_;
};

// A filter written as "Description(*.ext)|*.ext|Other(*.x;*.y)|*.x;*.y" in the form of Qt's
// file dialogs: "Description (*.ext);;Other (*.x *.y)".
QString QtFileFilter(const std::string& filter);

}  // namespace msu::app
