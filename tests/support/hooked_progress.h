// A progress log that passes everything on to another and then calls the test back after each
// line it passed on: the place where a user's click arrives while an engine works (the
// wizard's log lets pending window events run there).
#pragma once

#include <functional>
#include <string>

#include "core/progress.h"

namespace msu::testing {

class HookedProgress : public Progress {
 public:
  explicit HookedProgress(Progress& inner) : inner_(inner) {}

  // Called after each line added to any page (a detail line that was dropped included).
  std::function<void(LogPage page, const std::string& message)> after_line;

  void Add(LogPage page, const std::string& message, bool detail) override {
    inner_.Add(page, message, detail);
    if (after_line) after_line(page, message);
  }
  // Called after each heartbeat passed on, while a statement runs.
  std::function<void()> after_keep_alive;

  void KeepAlive() override {
    inner_.KeepAlive();
    if (after_keep_alive) after_keep_alive();
  }
  void Clear(LogPage page) override { inner_.Clear(page); }
  void SetPercent(LogPage page, int value, int value2) override {
    inner_.SetPercent(page, value, value2);
  }

 private:
  Progress& inner_;
};

}  // namespace msu::testing
