// The fixed texts of the pages, the progress logs and percentage labels, Help, and what closing
// the window leaves behind.
#include <QDir>
#include <QFont>
#include <QHelpEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QToolTip>
#include <cstdlib>
#include <fstream>
#include <map>

#include "tests/app/wizard_fixture.h"

namespace msu::app::testing {
namespace {

// Every named frame, button and label of the window with the text it shows when the wizard
// opens, one per line ("name<TAB>text", line breaks written as \n), in name order.
std::string ShownTexts(QWidget& window) {
  std::map<std::string, std::string> texts;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    const std::string name = widget->objectName().toStdString();
    if (name.empty() || name.rfind("qt_", 0) == 0) continue;
    QString text;
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
      text = frame->title();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      text = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      text = label->text();
    } else {
      continue;
    }
    // The default folders lie under the home folder of whoever runs the test.
    text.replace(QDir::homePath(), "$HOME");
    texts[name] = text.replace("\n", "\\n").toStdString();
  }
  std::string out;
  for (const auto& [name, text] : texts) out += name + "\t" + text + "\n";
  return out;
}

// The texts are the suite's own and must not drift: they are compared with a record kept beside
// this test, tests/app/wizard_texts.txt. After a deliberate change, write the record again with
// ORVANE_WRITE_WIZARD_TEXTS=1 and read its diff before committing it.
TEST_F(WizardTest, EveryCaptionAndInstructionHasItsText) {
  EXPECT_EQ(wizard_->windowTitle(), "Orvane Merge/Split Utility 5.01.00");
  EXPECT_EQ(VersionSuffix(4, 13, 2), "4.013.02");
  const std::string record = std::string(ORVANE_SOURCE_DIR) + "/tests/app/wizard_texts.txt";
  const std::string shown = ShownTexts(*wizard_);
  if (std::getenv("ORVANE_WRITE_WIZARD_TEXTS") != nullptr) {
    std::ofstream(record, std::ios::binary) << shown;
  }
  std::ifstream in(record, std::ios::binary);
  ASSERT_TRUE(in) << record;
  const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(shown, kept);
  for (const char* list : {"lstIncidents", "lstMergeInc"}) {
    QTreeWidgetItem* header = Get<QTreeWidget>(list)->headerItem();
    EXPECT_EQ(header->text(0) + "/" + header->text(1), "Incident/Status");
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Get<QTreeWidget>("lstProgress" + std::to_string(i))->headerItem()->text(0),
              "Message");
  }
  EXPECT_EQ(LogTexts(0), std::vector<std::string>{"Press Check Databases to proceed."});
  EXPECT_EQ(LogTexts(2), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_TRUE(LogTexts(1).empty());
}

TEST_F(WizardTest, LinesAreColouredByTheirFirstKeywordAndPage) {
  QtProgress& progress = wizard_->progress();
  const std::string warning =
      "Warning, There are differences between databases, press Next to view them";
  const QColor red(255, 0, 0), blue(0, 0, 255), black(0, 0, 0);
  struct Case {
    LogPage page;
    const char* list;
    std::string text;
    QColor colour;
    bool bold;
  };
  const std::vector<Case> cases = {
      {LogPage::kCheck, "lstProgress0", warning, blue, true},
      {LogPage::kMerge, "lstProgress2", warning, blue, false},
      {LogPage::kSplit, "lstProgress1", warning, blue, false},
      {LogPage::kCheck, "lstProgress0",
       "Done, no differences found. Press Next to complete the merge", black, true},
      {LogPage::kMerge, "lstProgress2", "Copying done with one error", red, false},
      {LogPage::kSplit, "lstProgress1", "an error in lower case", red, false},
      {LogPage::kSplit, "lstProgress1", "Copying incidents", black, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    progress.Add(c.page, c.text, false);
    QTreeWidget* list = Get<QTreeWidget>(c.list);
    QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    EXPECT_EQ(item->text(0).toStdString(), c.text);
    EXPECT_EQ(item->foreground(0).color(), c.colour);
    EXPECT_EQ(item->font(0).bold(), c.bold);
  }
}

TEST_F(WizardTest, DetailLinesNeedTheirPagesBoxAtTheMomentTheyArrive) {
  QtProgress& progress = wizard_->progress();
  const auto add_details = [&](const std::string& suffix) {
    progress.AddProgress("check detail" + suffix, true);
    progress.AddProgressMerge("merge detail" + suffix, true);
    progress.AddProgressSplit("split detail" + suffix, true);
  };
  add_details("");
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2).size(), 1u);
  EXPECT_TRUE(LogTexts(1).empty());

  // Each page has its own box; ticking one does not show the others' lines.
  Get<QCheckBox>("chkDetail")->setChecked(true);
  add_details(" 2");
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2), (std::vector<std::string>{"Press Merge to proceed.", "merge detail 2"}));
  EXPECT_TRUE(LogTexts(1).empty());

  Get<QCheckBox>("chkCheckDetail")->setChecked(true);
  Get<QCheckBox>("chkSplitDetails")->setChecked(true);
  add_details(" 3");
  EXPECT_EQ(LogTexts(0),
            (std::vector<std::string>{"Press Check Databases to proceed.", "check detail 3"}));
  EXPECT_EQ(LogTexts(1), std::vector<std::string>{"split detail 3"});
}

// Every log is made by NewLogList.
TEST_F(WizardTest, ALogLineCutShortShowsItsWholeTextAsItsTooltip) {
  std::unique_ptr<QTreeWidget> list(NewLogList("lstProgress"));
  list->resize(240, 120);
  list->show();
  const QString long_line = "Copying W_O_R_K_B.tmp to " + QString(200, 'x') + "/Merged.mdf";
  for (const QString& text : {QString("Almost Done ..."), long_line}) {
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
  }
  const auto tooltip_of = [&](int row) {
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
    QHelpEvent event(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tooltip_of(1), long_line);
  EXPECT_EQ(tooltip_of(0), QString());
  // Wide enough, the long line is shown whole and needs none.
  list->resize(4000, 120);
  EXPECT_EQ(tooltip_of(1), QString());
}

TEST_F(WizardTest, PercentLabelsFollowTheirOwnPage) {
  wizard_->SetStatus(40, 75);
  EXPECT_EQ(LabelText("lblStatus"), "40 % - 75 %");
  EXPECT_EQ(LabelText("lblStatusMerge"), "0 %");
  wizard_->progress().SetStatusMerge(101);
  EXPECT_EQ(LabelText("lblStatusMerge"), "Done");
  EXPECT_EQ(LabelText("lblStatus"), "40 % - 75 %");
}

TEST_F(WizardTest, HelpWithoutTheDocumentSaysSoAndChangesNothing) {
  Press(0);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, "Can't find help file");
  EXPECT_EQ(prompt_.Boxes()[0].title, "Orvane Merge/Split Utility");
  EXPECT_EQ(prompt_.Boxes()[0].icon, Icon::kExclamation);
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kOk);
  EXPECT_EQ(wizard_->Viewer(), nullptr);
  At(0, NavState{false, false, true});
}

TEST_F(WizardTest, CancelClosesTheViewerAndCleansUpOnce) {
  std::ofstream(folder_ / "CVMergeSplitHelp.rtf") << "plain help";
  wizard_->show();
  Press(0);
  ASSERT_TRUE(wizard_->Viewer()->isVisible());
  Press(1);
  EXPECT_EQ(services_.cleanups, 1);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_FALSE(wizard_->Viewer()->isVisible());
  wizard_->show();
  wizard_->close();
  EXPECT_EQ(services_.cleanups, 1);
}

TEST_F(WizardTest, BrowseFillsTheBoxUnlessCancelled) {
  LogIn();
  prompt_.QueueFile(std::string("/data/Fire1.mdf"));
  Get<QPushButton>("cmdBrowse1")->click();
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath1")->text(), "/data/Fire1.mdf");
  ASSERT_EQ(prompt_.Dialogs().size(), 1u);
  EXPECT_EQ(prompt_.Dialogs()[0].filter, "Orvane Database(*.mdf)|*.mdf");
  EXPECT_EQ(prompt_.Dialogs()[0].title, "Open Orvane Database");
  EXPECT_EQ(prompt_.Dialogs()[0].file_name, "");

  prompt_.QueueFile(std::nullopt);
  Get<QPushButton>("cmdBrowse1")->click();
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath1")->text(), "/data/Fire1.mdf");

  // The box of a file still to be made offers a save dialog, where a new name can be typed.
  for (const char* button : {"cmdBrowse0", "cmdBrowse2"}) {
    prompt_.QueueFile(std::nullopt);
    Get<QPushButton>(button)->click();
  }
  EXPECT_EQ(prompt_.SaveDialogs(), (std::vector<bool>{false, false, false, true}));
}

// The summaries keep the suite's words; the page lines their values up in one column, whatever
// the blanks before them.
TEST_F(WizardTest, SummariesLineTheirValuesUp) {
  QLabel label;
  ShowSummary(label, MergeSummary({"/db/Fire1.mdf", "/db/Fire2.mdf", "/db/New & Old.mdf"}));
  EXPECT_EQ(label.accessibleDescription().toStdString(),
            "Database 1:             /db/Fire1.mdf\n\nDatabase 2:             /db/Fire2.mdf\n\n"
            "New database:   /db/New & Old.mdf\n\nPress Finish to exit.");
  QTextDocument shown;
  shown.setHtml(label.text());
  ASSERT_EQ(shown.rootFrame()->childFrames().size(), 1);
  auto* table = qobject_cast<QTextTable*>(shown.rootFrame()->childFrames()[0]);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->columns(), 2);
  const auto cell = [&](int row, int column) {
    const QTextTableCell at = table->cellAt(row, column);
    QTextCursor cursor = at.firstCursorPosition();
    cursor.setPosition(at.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText().toStdString();
  };
  // Rows: Database 1, blank, Database 2, blank, New database, blank, Press Finish to exit.
  ASSERT_EQ(table->rows(), 7);
  EXPECT_EQ(cell(0, 0), "Database 1:");
  EXPECT_EQ(cell(0, 1), "/db/Fire1.mdf");
  EXPECT_EQ(cell(2, 0), "Database 2:");
  EXPECT_EQ(cell(4, 0), "New database:");
  EXPECT_EQ(cell(4, 1), "/db/New & Old.mdf");
  EXPECT_EQ(table->cellAt(6, 0).columnSpan(), 2);
  EXPECT_EQ(cell(6, 0), "Press Finish to exit.");
}

// The overwrite question keeps the suite's words; the page's label names the file while it is
// asked, and is empty again once it is answered.
TEST_F(WizardTest, TheOverwriteQuestionIsAskedWithTheFileNamedBesideIt) {
  services_.existing_new_database = "/db/New.mdf";
  services_.label_now = [this] { return LabelText("lblIDMessage"); };
  services_.merge_paths = {false, ""};
  LogIn();
  Get<QLineEdit>("txtDataBasePath0")->setText("/db/Fire1.mdf");
  Get<QLineEdit>("txtDataBasePath1")->setText("/db/Fire2.mdf");
  Get<QLineEdit>("txtDataBasePath2")->setText("/db/New.mdf");
  Next();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(services_.notes_during_question,
            std::vector<std::string>{"/db/New.mdf exists. Yes replaces it with the new database "
                                     "once the merge has run; No keeps it and stays on this "
                                     "page."});
  EXPECT_EQ(LabelText("lblIDMessage"), "");
}

}  // namespace
}  // namespace msu::app::testing
