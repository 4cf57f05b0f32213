// The problem report: the paged RTF document in which the lookup consistency check writes what
// it finds, "tmp_rpt.rtf" in the application folder. The user reads it full screen, prints it
// page by page (every page footer ends with a form feed) or saves a copy.
//
// Layout of the file, for the font size 18 ("\fs18"; small lines use the size minus 2):
//   the document head, ending with CR LF;
//   per page: the header block (seven lines with the line prefix and CR LF, then the size word
//   alone with CR LF), the body lines (prefix + text, no line end: the next line's "\par "
//   starts a new paragraph), blank filler lines up to the page's height and the footer
//   "Page: N  Orvane Merge    \fs18\page " + form feed;
//   after the last footer, one more line "\par }" closing the document.
// The line prefix is "\par " + normal size word + six blanks + the line's size word + " ".
//
// A page is measured in eighths: the header block uses 1.25, a normal line 1/8, a small line
// 1/16. A line that takes the page beyond 9 ends it, so 62 normal (or 124 small) lines fit
// after a header and the 63rd (125th) closes the page.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include "core/numbered_error.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::reports {

inline constexpr const char* kReportFileName = "tmp_rpt.rtf";
inline constexpr const char* kReportTitle = "Orvane Merge Problem Report";

// A failed write of the report: kErrBadFileNumber when the file is not open, kErrDeviceIO when
// a write fails. The check's own handler reports it.
class ReportError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

// The names shown in the header block, read from the merge in progress. Only the file names
// of the paths are shown (the text after the last "/" or "\").
struct ReportMerge {
  std::string SourceAPath;
  std::string SourceBPath;
  std::string TargetDBPath;
  std::string mergeVersion;
};

// Shows a closed report: the wizard loads it into its report boxes. Failures are ignored by the
// writer (an exception thrown here is swallowed).
class ReportViewer {
 public:
  virtual ~ReportViewer() = default;
  virtual void LoadReport(const std::string& report_path) = 0;
};

// Path of the report file of this run: the application folder's "tmp_rpt.rtf".
std::string ReportPath(const Context& context);

// Today's date in the user's short date form: strftime's "%x" under the time locale of the
// environment (LC_ALL, LC_TIME, LANG), or of the C locale ("12/31/26") when that is not set
// or not installed.
std::string ShortDate();

// `text` (UTF-8, or Windows-1252 bytes) as the text of an RTF document: "\", "{" and "}" are
// escaped, characters above 127 become "\'hh" in Windows-1252, or "\uN?" where the code page
// has none; a tab becomes "\tab ", any other control character (NUL included) the replacement
// character "\u-3?". Data from the user's databases enters the report only through here, so
// that no value can open or close a group of the document or cut it short.
std::string RtfText(const std::string& text);

// "\b " + RtfText(text) + " \b0 ": bold text inside a body line.
std::string BoldText(const std::string& text);

// Copies the closed report to `target_path`. When a file exists there, asks first
// (target_path + " exists. Do you wish to replace it?", Yes/No, exclamation icon, no title)
// and stops unless the answer is Yes. The copy goes to a temporary file beside the target that
// then replaces it, so a failed copy leaves an existing target as it was. On failure shows an
// OK box "Error while saving file: " CR LF "Error: " + number + " " + description.
// Never throws.
void SaveReport(Context& context, const std::string& target_path);

// One report being written. The check owns it from OpenReport to CloseReport.
class ProblemReport {
 public:
  // `viewer` may be null (nothing is shown). `today` gives the date of the header block; by
  // default ShortDate.
  ProblemReport(Context& context, ReportMerge merge, ReportViewer* viewer = nullptr,
                std::function<std::string()> today = ShortDate);
  ProblemReport(const ProblemReport&) = delete;
  ProblemReport& operator=(const ProblemReport&) = delete;

  // Starts a new report (the check uses the file number 9 and the size 18): replaces the file,
  // writes the document head and the first page header. Ignores its own failures: a report
  // whose file could not be opened fails at the first WriteReportLine.
  void OpenReport(int16_t file_number, int16_t font_size);

  // Writes one body line (a small one in the smaller size) and, when the page is full, the
  // page's footer and the next page's header. Throws ReportError when the file is not open or
  // a write fails.
  void WriteReportLine(const std::string& text, bool small = false);

  // Sets CurrentOperation to " Closing Problem Report ", writes the last footer and the
  // closing "\par }" line, closes the file and hands it to the viewer. Throws ReportError like
  // WriteReportLine, before the file is closed.
  void CloseReport();

  // Ends the current page (when not the first) and writes a page header with `title`.
  void WriteReportHeader(const std::string& title, bool first_page);
  // Fills the page with blank lines and writes its footer.
  void EndReportPage();

  // The first line of the file, without its CR LF; printing starts every page with it.
  const std::string& DocumentHead() const { return head_; }
  const std::string& Path() const { return path_; }
  // True from OpenReport until CloseReport closes the file.
  bool IsOpen() const { return file_.is_open(); }
  int16_t FileNumber() const { return file_number_; }
  int16_t PageNumber() const { return page_number_; }
  double PagePosition() const { return page_position_; }

 private:
  void Write(const std::string& bytes);
  std::string LinePrefix(bool small) const;

  Context& context_;
  ReportMerge merge_;
  ReportViewer* viewer_;
  std::function<std::string()> today_;

  std::string path_;
  std::ofstream file_;
  int16_t file_number_ = 0;
  std::string normal_size_;
  std::string small_size_;
  std::string head_;
  int16_t page_number_ = 0;
  double page_position_ = 0;
};

}  // namespace msu::reports
