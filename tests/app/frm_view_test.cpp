// The report viewer: its layout at any size, Save through the report writer's save-as routine,
// Print, and how the wizard hands it the help document and the problem report.
#include <QFrame>
#include <QLabel>
#include <QTextDocument>
#include <QTextEdit>

#include "core/context.h"
#include "core/version.h"
#include "reports/problem_report.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "wizard_fixture.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;

// Writes a one-page problem report into the context's application folder and returns its path.
std::string WriteReport(Context& context, reports::ReportViewer* viewer = nullptr) {
  reports::ProblemReport report(context,
                                {"/data/Fire1.mdf", "/data/Fire2.mdf", "/data/New.mdf", "5.01.00"},
                                viewer, [] { return std::string("12/31/26"); });
  report.OpenReport(9, 18);
  report.WriteReportLine(reports::BoldText("L_Status") + "code 100 differs");
  report.CloseReport();
  return report.Path();
}

// A viewer of its own beside the window of WizardTest, saving through the report writer.
class ViewerTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    context_ = std::make_unique<Context>(folder_.string(), progress_, prompt_, backend_);
    viewer_ = std::make_unique<frmView>(prompt_, folder_.string());
    viewer_->SetSaveReport([this](const std::string& target) {
      ++saves_;
      reports::SaveReport(*context_, target);
    });
  }
  void TearDown() override {
    viewer_.reset();
    WizardTest::TearDown();
  }

  RecordingProgress progress_;
  msu::testing::FakeBackend backend_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<frmView> viewer_;
  int saves_ = 0;
};

TEST_F(ViewerTest, LayoutKeepsItsMarginsAtEverySize) {
  viewer_->show();
  for (const QSize size : {QSize(900, 600), QSize(640, 480), QSize(1200, 800)}) {
    viewer_->resize(size);
    QApplication::processEvents();
    ASSERT_EQ(viewer_->size(), size);
    const QRect text = viewer_->rtbProblems()->geometry();
    const QRect frame = viewer_->fraView()->geometry();
    // 200 twips are 13 pixels, 1200 twips 80 and 100 twips 7.
    EXPECT_EQ(text.topLeft(), QPoint(13, 13)) << size.width();
    EXPECT_EQ(text.width(), size.width() - 26);
    EXPECT_EQ(text.height(), size.height() - 80);
    EXPECT_EQ(size.width() - (frame.x() + frame.width()), 7);
    EXPECT_EQ(frame.y(), text.y() + text.height() + 13);
    // The buttons stay inside the window, below the text.
    EXPECT_LE(frame.y() + frame.height(), size.height());
  }
  // The frame keeps its size; only its place moves.
  const QSize frame_size = viewer_->fraView()->size();
  viewer_->resize(700, 500);
  QApplication::processEvents();
  EXPECT_EQ(viewer_->fraView()->size(), frame_size);
  EXPECT_EQ(TwipsToPixels(200), 13);
  EXPECT_EQ(TwipsToPixels(-400), -27);
}

TEST_F(ViewerTest, SaveAsksBeforeReplacingAFileAndACancelledDialogChangesNothing) {
  const std::string report = WriteReport(*context_);
  prompt_.QueueFile(std::nullopt);
  viewer_->cmdSave()->click();
  EXPECT_EQ(saves_, 0);

  const fs::path target = folder_ / "saved" / "Problems.rtf";
  fs::create_directories(target.parent_path());
  prompt_.QueueFile(target.string());
  viewer_->cmdSave()->click();
  ASSERT_EQ(prompt_.Dialogs().size(), 2u);
  EXPECT_EQ(prompt_.Dialogs()[1].initial_folder, folder_.string());
  EXPECT_EQ(prompt_.Dialogs()[1].title, "Save File");
  EXPECT_EQ(prompt_.Dialogs()[1].filter, "Rich Text File(*.rtf)|*.rtf");
  EXPECT_EQ(prompt_.Dialogs()[1].file_name, "");
  EXPECT_TRUE(prompt_.Boxes().empty());
  EXPECT_EQ(ReadFile(target), ReadFile(report));

  std::ofstream(target) << "an older report";
  prompt_.QueueFile(target.string());
  prompt_.QueueAnswer(Answer::kNo);
  viewer_->cmdSave()->click();
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, target.string() + " exists. Do you wish to replace it?");
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kYesNo);
  EXPECT_EQ(ReadFile(target), "an older report");

  prompt_.QueueFile(target.string());
  prompt_.QueueAnswer(Answer::kYes);
  viewer_->cmdSave()->click();
  EXPECT_EQ(ReadFile(target), ReadFile(report));

  // A name typed without an extension is saved as a rich-text file; one with its own is not
  // second-guessed. The databases' folder, once known, is where the dialog starts.
  viewer_->SetSaveFolder((folder_ / "saved").string());
  for (const auto& [typed, written] :
       {std::pair{"Bare", "Bare.rtf"}, std::pair{"Notes.txt", "Notes.txt"},
        std::pair{".hidden", ".hidden.rtf"}}) {
    const fs::path chosen = folder_ / "saved" / typed;
    prompt_.QueueFile(chosen.string());
    viewer_->cmdSave()->click();
    EXPECT_EQ(prompt_.Dialogs().back().initial_folder, (folder_ / "saved").string());
    EXPECT_EQ(ReadFile(folder_ / "saved" / written), ReadFile(report)) << typed;
  }
  EXPECT_FALSE(fs::exists(folder_ / "saved" / "Bare"));
}

// After Print the row of the buttons says how many pages went where; nothing printed, nothing
// said.
TEST_F(ViewerTest, PrintSaysWherePagesWent) {
  std::string where = "3 pages printed to /tmp/report.pdf";
  viewer_->SetPrintReport([&] { return where; });
  viewer_->cmdPrint()->click();
  EXPECT_EQ(viewer_->lblViewMessage()->text().toStdString(), where);
  where.clear();
  viewer_->cmdPrint()->click();
  EXPECT_EQ(viewer_->lblViewMessage()->text().toStdString(), "");
  // The message sits left of the buttons, on their row, inside the window.
  viewer_->resize(700, 500);
  const QRect message = viewer_->lblViewMessage()->geometry();
  EXPECT_LE(message.right(), viewer_->fraView()->x());
  EXPECT_EQ(message.top(), viewer_->fraView()->y());
}

TEST_F(ViewerTest, AReportHandedOverIsShownAsRichTextAndAnUnreadableOneIsIgnored) {
  WriteReport(*context_, viewer_.get());
  QTextDocument* document = viewer_->rtbProblems()->document();
  const QString text = document->toPlainText();
  EXPECT_TRUE(text.contains("Orvane Merge Problem Report"));
  EXPECT_TRUE(text.contains("L_Status code 100 differs"));
  EXPECT_FALSE(text.contains('\\'));
  EXPECT_TRUE(viewer_->rtbProblems()->isReadOnly());

  viewer_->LoadReport((folder_ / "missing.rtf").string());
  EXPECT_EQ(viewer_->rtbProblems()->document()->toPlainText(), text);
  EXPECT_FALSE(viewer_->LoadDocument((folder_ / "missing.rtf").string()));
}

// Through the wizard: the one viewer of the run, its Save routed to the services, and the
// report handed over by the report writer while the viewer shows the help.
TEST_F(WizardTest, HelpThenCloseThenACheckWithProblemsShowsTheReportWithSave) {
  fs::copy_file(fs::path(ORVANE_SUITE_FILES) / "CVMergeSplitHelp.rtf",
                folder_ / "CVMergeSplitHelp.rtf");
  wizard_->setWindowIcon(QIcon(QPixmap(16, 16)));
  Press(0);
  frmView* viewer = wizard_->Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_FALSE(viewer->cmdSave()->isEnabled());
  EXPECT_TRUE(viewer->rtbProblems()->toPlainText().startsWith("Orvane Merge/Split Utility"));
  EXPECT_EQ(viewer->windowIcon().cacheKey(), wizard_->windowIcon().cacheKey());
  EXPECT_EQ(viewer->windowTitle(), "Orvane Split/Merge");
  // The help shows which version it belongs to, left of the buttons.
  EXPECT_TRUE(viewer->lblVersion()->isVisible());
  EXPECT_EQ(viewer->lblVersion()->text().toStdString(),
            std::string("Orvane Merge/Split Utility ") + kVersion);
  EXPECT_LT(viewer->lblVersion()->geometry().right(), viewer->fraView()->geometry().left());
  viewer->cmdClose()->click();
  EXPECT_FALSE(viewer->isVisible());
  // Full Screen on the check page shows the same window, with Save and without the version.
  wizard_->cmdView_Click();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->cmdSave()->isEnabled());
  EXPECT_FALSE(viewer->lblVersion()->isVisible());
  viewer->cmdClose()->click();

  // The services' check writes its report as the engine does: closing it hands it over.
  services_.problems = true;
  RecordingProgress progress;
  msu::testing::FakeBackend backend;
  Context context(folder_.string(), progress, prompt_, backend);
  WalkToCheckedStep3();
  // Handed over while the viewer shows the help, the report takes the version's place too.
  Press(0);
  EXPECT_TRUE(viewer->lblVersion()->isVisible());
  WriteReport(context, &wizard_->ProblemReportViewer());
  EXPECT_FALSE(viewer->lblVersion()->isVisible());
  viewer->cmdClose()->click();
  WriteReport(context, &wizard_->ProblemReportViewer());
  EXPECT_FALSE(viewer->isVisible());  // loading is not showing

  Next();
  EXPECT_EQ(Step(), 5);
  EXPECT_EQ(wizard_->Viewer(), viewer);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->windowState() & Qt::WindowMaximized);
  EXPECT_TRUE(viewer->cmdSave()->isEnabled());
  const QString shown = viewer->rtbProblems()->toPlainText();
  EXPECT_TRUE(shown.contains("Orvane Merge Problem Report"));
  EXPECT_FALSE(shown.contains("Specify Operation"));
  // The window's own hidden box, which printing works from, holds the same report.
  EXPECT_EQ(Get<QTextEdit>("rtbProblems")->toPlainText(), shown);

  prompt_.QueueFile(std::string("/elsewhere/Report.rtf"));
  viewer->cmdSave()->click();
  EXPECT_EQ(services_.saved_reports, std::vector<std::string>{"/elsewhere/Report.rtf"});
  // Save starts beside the databases.
  EXPECT_EQ(prompt_.Dialogs().back().initial_folder, "/db");
  viewer->close();
}

}  // namespace
}  // namespace msu::app::testing
