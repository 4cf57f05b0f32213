// The progress logs of the check, merge and split pages and their percentage labels, drawn in
// the wizard's own widgets.
#pragma once

#include <array>

#include "core/progress.h"

class QCheckBox;
class QLabel;
class QTreeWidget;

namespace msu::app {

// The widgets of one page's log. `status` is null on the split page, which has no percentage.
struct LogWidgets {
  QTreeWidget* list = nullptr;
  QCheckBox* details = nullptr;
  QLabel* status = nullptr;
};

class QtProgress : public Progress {
 public:
  QtProgress(LogWidgets check, LogWidgets merge, LogWidgets split);

  // Adds a line coloured and weighted by ClassifyLine, scrolls to it and lets pending window
  // events run once. A detail line is dropped unless the page's box is ticked now.
  void Add(LogPage page, const std::string& message, bool detail) override;
  void Clear(LogPage page) override;
  // Writes StatusCaption into the page's label and lets pending window events run once. The
  // split page has no label; its figures are ignored.
  void SetPercent(LogPage page, int value, int value2) override;

  // Lets pending window events run: a click on Cancel reaches the engine during a long
  // statement.
  void KeepAlive() override;

  // Scrolls `page`'s log to its last line.
  void ScrollToEnd(LogPage page);

 private:
  const LogWidgets& Widgets(LogPage page) const;

  std::array<LogWidgets, 3> pages_;
};

// Creates a list view with the single column "Message" that the logs use. A line cut short at
// the list's edge shows its whole text as a tooltip.
QTreeWidget* NewLogList(const char* object_name);

}  // namespace msu::app
