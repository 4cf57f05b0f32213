#include "reports/problem_report.h"

#include <locale.h>
#include <sys/stat.h>
#include <clocale>
#include <ctime>
#include <filesystem>

#include "core/context.h"
#include "core/private_files.h"
#include "core/text.h"
#include "core/windows1252.h"

namespace msu::reports {

namespace {

constexpr const char* kCrLf = "\r\n";

// The report quotes the user's data: nobody may read it who cannot read Database 1.
void KeepNoWiderThan(const std::string& path, const std::string& database) {
  struct stat report {
  }, source{};
  if (::stat(path.c_str(), &report) != 0 || ::stat(database.c_str(), &source) != 0) return;
  ::chmod(path.c_str(), report.st_mode & source.st_mode & 0777);
}

// The "##" format of a size: no digits for 0.
std::string SizeWord(int size) { return size == 0 ? "\\fs" : "\\fs" + std::to_string(size); }

}  // namespace

std::string ReportPath(const Context& context) { return context.AppFile(kReportFileName); }

std::string ShortDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64] = {};
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  size_t length = 0;
  if (user != static_cast<locale_t>(0)) {
    length = strftime_l(buffer, sizeof buffer, "%x", &local, user);
    freelocale(user);
  }
  if (length == 0) {
    locale_t c_locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    length = strftime_l(buffer, sizeof buffer, "%x", &local, c_locale);
    freelocale(c_locale);
  }
  return std::string(buffer, length);
}

std::string RtfText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const char32_t code = NextCharacter(text, &at);
    if (code == '\\' || code == '{' || code == '}') {
      escaped += '\\';
      escaped += static_cast<char>(code);
    } else if (code == '\t') {
      escaped += "\\tab ";
    } else if (code < 0x20 || code == 0x7F) {
      // A control character (a NUL, a line break inside a value) is no text of the report:
      // readers cut the document at it or break the line. It shows as the replacement
      // character, and a reader without Unicode shows "?".
      escaped += "\\u-3?";
    } else if (code < 0x80) {
      escaped += static_cast<char>(code);
    } else if (const std::optional<unsigned char> byte = ToWindows1252(code)) {
      static constexpr char kHex[] = "0123456789abcdef";
      escaped += "\\'";
      escaped += kHex[*byte >> 4];
      escaped += kHex[*byte & 0xF];
    } else {
      // \uN takes a signed 16-bit number; beyond the first plane, a surrogate pair. The "?"
      // is what a reader without Unicode shows instead.
      const auto unicode = [&](char32_t unit) {
        escaped += "\\u" + std::to_string(static_cast<int16_t>(unit)) + "?";
      };
      if (code > 0xFFFF) {
        unicode(0xD800 + ((code - 0x10000) >> 10));
        unicode(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        unicode(code);
      }
    }
  }
  return escaped;
}

std::string BoldText(const std::string& text) { return "\\b " + RtfText(text) + " \\b0 "; }

ProblemReport::ProblemReport(Context& context, ReportMerge merge, ReportViewer* viewer,
                             std::function<std::string()> today)
    : context_(context), merge_(std::move(merge)), viewer_(viewer), today_(std::move(today)) {}

void ProblemReport::OpenReport(int16_t file_number, int16_t font_size) {
  page_position_ = 0;
  path_ = ReportPath(context_);
  file_number_ = file_number;
  if (file_.is_open()) file_.close();
  file_.clear();

  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
  // The report holds codes and names of Database 1: other accounts may not read it.
  try {
    PreparePrivateFile(path_);
  } catch (const std::exception&) {
    // Opening fails the same way, and the first line written says so.
  }
  file_.open(path_, std::ios::binary | std::ios::out | std::ios::trunc);
  KeepNoWiderThan(path_, merge_.SourceAPath);

  normal_size_ = SizeWord(font_size);
  small_size_ = SizeWord(font_size - 2);
  head_ =
      "{\\rtf1\\ansi\\deff0\\deftab5000{\\fonttbl{\\f0\\fmodern Courier New;}{\\f1\\fmodern"
      "\\fcharset2 Courier New;}{\\f2\\fswiss System;}}{\\colortbl\\red0\\green0\\blue0;}\\f0" +
      normal_size_ + "\\margl200\\margr200\\margt200\\margb200\\par ";
  try {
    Write(head_ + kCrLf);
    WriteReportHeader(kReportTitle, true);
  } catch (const ReportError&) {
    // A report that cannot be written says so at its first body line.
  }
}

std::string ProblemReport::LinePrefix(bool small) const {
  return "\\par " + normal_size_ + "      " + (small ? small_size_ : normal_size_) + " ";
}

void ProblemReport::Write(const std::string& bytes) {
  if (!file_.is_open()) {
    throw ReportError(kErrBadFileNumber,
                      "Bad file name or number: the problem report " + path_ + " is not open");
  }
  file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file_) {
    throw ReportError(kErrDeviceIO, "Device I/O error while writing the problem report " + path_);
  }
}

void ProblemReport::WriteReportHeader(const std::string& title, bool first_page) {
  if (first_page) {
    page_number_ = 1;
  } else {
    EndReportPage();
    ++page_number_;
  }
  page_position_ = 0;
  const std::string prefix = LinePrefix(false);
  std::string block;
  block += prefix + "\\b " + title + kCrLf;
  block +=
      prefix + "\\b0 Source Database: \\b       " + RtfText(FileNameOf(merge_.SourceAPath)) + kCrLf;
  block += prefix + "\\b0 Destination Database: \\b       " +
           RtfText(FileNameOf(merge_.SourceBPath)) + kCrLf;
  block +=
      prefix + "\\b0 Target Database: \\b  " + RtfText(FileNameOf(merge_.TargetDBPath)) + kCrLf;
  block += prefix + "\\b0 Merge Version: \\b    " + RtfText(merge_.mergeVersion) + kCrLf;
  block += prefix + "\\b0 Date: \\b            " + today_() + kCrLf;
  block += prefix + "\\b0\\ulth " + std::string(88, '_') + "\\ulth0" + kCrLf;
  block += normal_size_ + kCrLf;
  Write(block);
  page_position_ = 1.25;
}

void ProblemReport::EndReportPage() {
  // Blank lines down to the page's foot, so that the footer sits at the same height on every
  // printed page.
  const std::string blank = LinePrefix(false);
  while (page_position_ <= 8.75) {
    Write(blank);
    page_position_ += 0.125;
  }
  page_position_ = 0;
  WriteReportLine(
      "Page: " + std::to_string(page_number_) + "  Orvane Merge    " + normal_size_ + "\\page \f",
      true);
}

void ProblemReport::WriteReportLine(const std::string& text, bool small) {
  Write(LinePrefix(small) + text);
  page_position_ += small ? 0.0625 : 0.125;
  if (page_position_ > 9.0) WriteReportHeader(kReportTitle, false);
}

void ProblemReport::CloseReport() {
  context_.merge.CurrentOperation = " Closing Problem Report ";
  EndReportPage();
  WriteReportLine("\\par }", false);
  file_.close();
  if (file_.fail()) {
    throw ReportError(kErrDeviceIO, "Device I/O error while closing the problem report " + path_);
  }
  if (viewer_ != nullptr) {
    try {
      viewer_->LoadReport(path_);
    } catch (...) {
      // The report stays in the application folder; the user can still save or print it.
    }
  }
}

void SaveReport(Context& context, const std::string& target_path) {
  namespace fs = std::filesystem;
  Prompt& prompt = context.prompt();
  std::error_code error;
  if (fs::exists(target_path, error)) {
    Answer answer = prompt.MessageBox(target_path + " exists. Do you wish to replace it?", "",
                                      Buttons::kYesNo, Icon::kExclamation);
    if (answer != Answer::kYes) return;
  }

  const std::string report = ReportPath(context);
  long number = 0;
  std::string description;
  fs::path temp = target_path + ".saving~";
  try {
    if (!fs::is_regular_file(report)) {
      throw ReportError(kErrFileNotFound, "File not found: " + report);
    }
    if (fs::exists(target_path) && fs::equivalent(report, target_path)) return;
    fs::copy_file(report, temp, fs::copy_options::overwrite_existing);
    fs::rename(temp, target_path);
    return;
  } catch (const ReportError& failure) {
    number = failure.number();
    description = failure.description();
  } catch (const fs::filesystem_error& failure) {
    number = kErrPathAccess;
    description = "Path/File access error (" + failure.code().message() + ")";
  }
  fs::remove(temp, error);
  prompt.MessageBox(
      "Error while saving file: \r\nError: " + std::to_string(number) + " " + description, "",
      Buttons::kOk, Icon::kNone);
}

}  // namespace msu::reports
