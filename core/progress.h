// The progress logs of the three working pages and their percentage labels, as the engines
// see them. Engines never know whether a window, a terminal or a test records the lines.
#pragma once

#include <string>

namespace msu {

// The three pages that carry a progress log.
enum class LogPage {
  kCheck,  // step 3, "Check Databases"
  kMerge,  // step 5, "Merge"
  kSplit,  // step 9, "Split"
};

// Colour of a progress line, as RGB.
struct LineColour {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const LineColour&) const = default;
};

// How a line is drawn: its colour and whether it is bold.
struct LineStyle {
  LineColour colour;
  bool bold = false;
  bool operator==(const LineStyle&) const = default;
};

// The style of a new line on `page`: the first of "ERROR", "WARNING", "DONE" found anywhere in
// the upper-cased text decides. ERROR is red, WARNING blue (bold on the check page only), DONE
// black and bold, anything else black.
LineStyle ClassifyLine(const std::string& text, LogPage page);

// Caption of a percentage label: 101 is "Done"; a non-zero second figure gives
// "40 % - 75 %"; otherwise "40 %".
std::string StatusCaption(int value, int value2 = 0);

// Receiver of progress lines and percentages. Implementations never throw to the caller.
class Progress {
 public:
  virtual ~Progress() = default;

  // Adds `message` at the end of `page`'s log. A detail line is dropped unless the page's
  // "Show Details" box is ticked at the moment of the call.
  virtual void Add(LogPage page, const std::string& message, bool detail) = 0;

  // Removes every line of `page`'s log.
  virtual void Clear(LogPage page) = 0;

  // Sets the percentage label of the check page (kCheck) or the merge page (kMerge).
  virtual void SetPercent(LogPage page, int value, int value2) = 0;

  // Called while a long statement runs, about every 50 milliseconds (data::Connection's
  // heartbeat): a window processes its pending events here, so that it stays responsive and a
  // click on Cancel reaches the engine during the statement. By default nothing.
  virtual void KeepAlive() {}

  // The names the engines use.
  void AddProgress(const std::string& message, bool detail = false) {
    Add(LogPage::kCheck, message, detail);
  }
  void AddProgressMerge(const std::string& message, bool detail = false) {
    Add(LogPage::kMerge, message, detail);
  }
  void AddProgressSplit(const std::string& message, bool detail = false) {
    Add(LogPage::kSplit, message, detail);
  }
  void SetStatus(int value, int value2 = 0) { SetPercent(LogPage::kCheck, value, value2); }
  void SetStatusMerge(int value, int value2 = 0) { SetPercent(LogPage::kMerge, value, value2); }
};

}  // namespace msu
