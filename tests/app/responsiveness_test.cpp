// How long the window goes without handling its events while the check and the merge run on
// its thread. A timer ticks every 10 ms; the longest wait between two ticks is how long a click
// would wait. The figures are printed, never asserted: they depend on the machine. Set
// ORVANE_RESPONSIVENESS_ROWS for the size of each sample database (2000 by default).
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>

#include "tests/app/server_wizard_fixture.h"

namespace msu::app::testing {
namespace {

class ResponsivenessTest : public ServerWizardTest {
 protected:
  void SetUp() override {
    const char* rows = std::getenv("ORVANE_RESPONSIVENESS_ROWS");
    sample_rows_ = rows != nullptr ? std::atol(rows) : 2000;
    ServerWizardTest::SetUp();
  }

  struct Gaps {
    qint64 longest_ms = 0;
    qint64 total_ms = 0;
    int ticks = 0;
    // The last line of the log when the longest wait began.
    std::string during;
  };

  // Clicks `button` and measures the window's event handling until the click returns.
  Gaps Measure(const char* button, const char* log) {
    Gaps gaps;
    QElapsedTimer since_tick;
    QTreeWidget* list = Get<QTreeWidget>(log);
    std::string last_line;
    const auto wait_ended = [&] {
      const qint64 waited = since_tick.restart();
      if (waited > gaps.longest_ms) {
        gaps.longest_ms = waited;
        gaps.during = last_line;
      }
      const int count = list->topLevelItemCount();
      if (count > 0) last_line = list->topLevelItem(count - 1)->text(0).toStdString();
    };
    QElapsedTimer clock;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      wait_ended();
      ++gaps.ticks;
    });
    clock.start();
    since_tick.start();
    timer.start();
    Get<QPushButton>(button)->click();
    timer.stop();
    wait_ended();
    gaps.total_ms = clock.elapsed();
    return gaps;
  }

  void Print(const char* job, const Gaps& gaps) {
    std::printf(
        "%s of %ld rows per database: %lld ms, %d timer ticks, longest wait %lld ms, after "
        "\"%s\"\n",
        job, sample_rows_, static_cast<long long>(gaps.total_ms), gaps.ticks,
        static_cast<long long>(gaps.longest_ms), gaps.during.c_str());
  }
};

TEST_F(ResponsivenessTest, TheWindowHandlesEventsWhileTheCheckAndTheMergeRun) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep3());
  const Gaps check = Measure("cmdCheckDB", "lstProgress0");
  ASSERT_TRUE(wizard_->CheckCompleted()) << ::testing::PrintToString(LogTexts(0));
  Print("check", check);
  // The timer ran during the check at all: the window was not frozen from start to end.
  EXPECT_GT(check.ticks, 0);

  Next();
  ASSERT_EQ(wizard_->CurrentStep(), 5);
  const Gaps merge = Measure("cmdMerge", "lstProgress2");
  ASSERT_TRUE(wizard_->MergeCompleted()) << ::testing::PrintToString(LogTexts(2));
  Print("merge", merge);
  EXPECT_GT(merge.ticks, 0);
}

}  // namespace
}  // namespace msu::app::testing
