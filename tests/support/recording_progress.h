// A Progress that keeps every line and caption in memory: the log that tests read.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/progress.h"

namespace msu {

class RecordingProgress : public Progress {
 public:
  struct Line {
    std::string text;
    LineStyle style;
  };

  void Add(LogPage page, const std::string& message, bool detail) override;
  void Clear(LogPage page) override;
  void SetPercent(LogPage page, int value, int value2) override;

  // The "Show Details" box of `page`; read at each Add.
  void SetShowDetails(LogPage page, bool shown) { details_[Index(page)] = shown; }

  const std::vector<Line>& Lines(LogPage page) const { return lines_[Index(page)]; }
  // The texts of the lines of `page`, in order.
  std::vector<std::string> Texts(LogPage page) const;
  // The current caption of the percentage label of `page` ("0 %" at the start).
  const std::string& Caption(LogPage page) const { return captions_[Index(page)]; }
  // Every caption the label has shown, in order.
  const std::vector<std::string>& CaptionHistory(LogPage page) const {
    return caption_history_[Index(page)];
  }

 private:
  static size_t Index(LogPage page) { return static_cast<size_t>(page); }

  std::array<std::vector<Line>, 3> lines_;
  std::array<bool, 3> details_{false, false, false};
  std::array<std::string, 3> captions_{"0 %", "0 %", "0 %"};
  std::array<std::vector<std::string>, 3> caption_history_;
};

}  // namespace msu
