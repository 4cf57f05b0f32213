#include "tests/support/recording_progress.h"

namespace msu {

void RecordingProgress::Add(LogPage page, const std::string& message, bool detail) {
  if (detail && !details_[Index(page)]) return;
  lines_[Index(page)].push_back({message, ClassifyLine(message, page)});
}

void RecordingProgress::Clear(LogPage page) { lines_[Index(page)].clear(); }

void RecordingProgress::SetPercent(LogPage page, int value, int value2) {
  captions_[Index(page)] = StatusCaption(value, value2);
  caption_history_[Index(page)].push_back(captions_[Index(page)]);
}

std::vector<std::string> RecordingProgress::Texts(LogPage page) const {
  std::vector<std::string> texts;
  for (const Line& line : lines_[Index(page)]) texts.push_back(line.text);
  return texts;
}

}  // namespace msu
