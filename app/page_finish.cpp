// Step 6: the merge's last page, with the summary the merge page wrote into it, and the text
// conversion both summary pages use.
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"

namespace msu::app {

std::string MergeSummary(const MergePaths& engine_paths) {
  return "Database 1:             " + engine_paths.database1 + "\r\r" +
         "Database 2:             " + engine_paths.database2 + "\r\r" +
         "New database:   " + engine_paths.new_database + "\r\r" + "Press Finish to exit.";
}

QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

QString SummaryHtml(const std::string& summary) {
  // "Name:" and a run of two or more blanks before the value: the blanks only ever meant to line
  // the values up, which a table does in any font.
  static const QRegularExpression named("^([^:]+:) {2,}(.*)$");
  QString html = "<table cellspacing=\"0\" cellpadding=\"0\">";
  for (const QString& line : DisplayText(summary).split('\n')) {
    const QRegularExpressionMatch match = named.match(line);
    if (line.isEmpty()) {
      html += "<tr><td colspan=\"2\" style=\"font-size:4pt\">&nbsp;</td></tr>";
    } else if (match.hasMatch()) {
      html += "<tr><td style=\"padding-right:12px\">" + match.captured(1).toHtmlEscaped() +
              "</td><td>" + match.captured(2).toHtmlEscaped() + "</td></tr>";
    } else {
      html += "<tr><td colspan=\"2\">" + line.toHtmlEscaped() + "</td></tr>";
    }
  }
  return html + "</table>";
}

void ShowSummary(QLabel& label, const std::string& summary) {
  label.setTextFormat(Qt::RichText);
  label.setText(SummaryHtml(summary));
  // The words as the suite writes them, for screen readers and for whoever reads them back.
  label.setAccessibleDescription(DisplayText(summary));
}

void frmWizard::BuildMergeFinishedPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepMergeFinished]);
  lblComplete_[0] = NewHeading("lblComplete0", "Merge Process Completed");
  lblComplete_[1] = NewLabel("lblComplete1");
  layout->addWidget(lblComplete_[0]);
  layout->addSpacing(12);
  layout->addWidget(lblComplete_[1]);
  layout->addSpacing(12);
  lblVerification_ = NewLabel("lblVerification");
  layout->addWidget(lblVerification_);
  lblConsolidation_ = NewLabel("lblConsolidation");
  layout->addWidget(lblConsolidation_);
  layout->addStretch(1);
  lblDetachNote_ = NewLabel("lblDetachNote");
  layout->addWidget(lblDetachNote_);
}

void frmWizard::ShowConsolidation(const ConsolidationResult& result, const std::string& kept) {
  if (!result.ran) {
    lblConsolidation_->setText(
        "The incidents were not folded into one: the new database could "
        "not be opened.");
  } else {
    const QString incident =
        kept.empty()
            ? QString("incident %1").arg(MergeIntoIncident_)
            : QString("%1 (key %2)").arg(QString::fromStdString(kept)).arg(MergeIntoIncident_);
    lblConsolidation_->setText(
        QString("All incidents were merged into %1: %2 %3 folded into it, %4 rows moved.%5")
            .arg(incident)
            .arg(result.folded)
            .arg(result.folded == 1 ? "incident was" : "incidents were")
            .arg(result.rows_moved)
            .arg(result.verification.empty() ? QString()
                                             : "\n" + QString::fromStdString(result.verification)));
  }
  QPalette palette = lblComplete_[1]->palette();
  if (!result.verified) palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  lblConsolidation_->setPalette(palette);
}

QString frmWizard::AttachAgainText(const std::string& path) {
  const std::string command = services_ != nullptr ? services_->AttachCommand(path) : "";
  return command.empty() ? QString("use the server's own tools to attach that file.")
                         : QString("run: %1").arg(QString::fromStdString(command));
}

void frmWizard::ShowVerification(const MergeResult& result) {
  // The page has room for a few findings; the merge log lists every one of them.
  constexpr size_t kShownFindings = 5;
  QString text = QString::fromStdString(result.verification);
  const std::vector<std::string>& findings = result.verification_findings;
  for (size_t i = 0; i < findings.size() && i < kShownFindings; ++i) {
    text += "\n- " + QString::fromStdString(findings[i]);
  }
  if (findings.size() > kShownFindings) {
    text += QString("\n- and %1 more on the merge log").arg(findings.size() - kShownFindings);
  }
  lblVerification_->setText(text);
  // Problems in red, like the message labels; a passed verification like the summary.
  QPalette palette = lblComplete_[1]->palette();
  if (!findings.empty()) palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  lblVerification_->setPalette(palette);
}

bool frmWizard::EnterMergeFinished() {
  // In split mode this page leads back to the server page: Back from step 7 lands here.
  if (!optSplitMerge_[1]->isChecked()) {
    SetStep(kStepServer, kMoveByProgram);
    return false;
  }
  if (!MergeIncidents_) lblConsolidation_->clear();
  // The window takes its new database off the server when it closes; the file stays.
  const MergePaths engine = services_ != nullptr ? services_->MergeEnginePaths() : MergePaths{};
  lblDetachNote_->setText(
      MergeCompleted_ && !engine.new_database.empty()
          ? QString("The new database is detached from the server when this window closes; its "
                    "file stays at %1. To attach it again, %2")
                .arg(QString::fromStdString(engine.new_database),
                     AttachAgainText(engine.new_database))
          : QString());
  FinishEnabled_ = true;
  BackEnabled_ = !MergeIncidents_;
  NextEnabled_ = false;
  return true;
}

}  // namespace msu::app
