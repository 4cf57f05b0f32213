#include "core/progress.h"

#include "core/text.h"

namespace msu {

LineStyle ClassifyLine(const std::string& text, LogPage page) {
  const std::string upper = UpperCase(text);
  if (upper.find("ERROR") != std::string::npos) return {{255, 0, 0}, false};
  if (upper.find("WARNING") != std::string::npos) return {{0, 0, 255}, page == LogPage::kCheck};
  if (upper.find("DONE") != std::string::npos) return {{0, 0, 0}, true};
  return {{0, 0, 0}, false};
}

std::string StatusCaption(int value, int value2) {
  if (value == 101) return "Done";
  if (value2 != 0) return std::to_string(value) + " % - " + std::to_string(value2) + " %";
  return std::to_string(value) + " %";
}

}  // namespace msu
