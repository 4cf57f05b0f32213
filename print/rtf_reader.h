// Reading rich text: the problem report the check writes and the help document shipped with
// the utility. Qt has no RTF reader, so the documents are read here, in two stages: ParseRtf
// turns the bytes into paragraphs of formatted runs (no Qt, so a test can look at every run),
// and BuildRtfDocument lays those out in a QTextDocument, for the viewer's rich-text boxes or for
// paper.
//
// The reader refuses nothing. It knows character formatting (bold, italic, underline of any
// kind, font size in half-points, the font and whether the font table calls it a fixed-pitch
// "\fmodern" font), paragraphs, line breaks, tabs and page breaks. Destinations that hold no
// text for the reader (font and colour tables, style sheets, document information, pictures,
// headers, footers and every "{\*...}" group) are skipped whole; other unknown control words
// are dropped with their parameter. "\'hh" escapes and bytes above 127 are Windows-1252.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QTextDocument;

namespace msu::print {

// Default font size of RTF, in half-points, when a document sets none.
inline constexpr int kRtfDefaultFontSize = 24;

struct RtfCharFormat {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  // Half-points: \fs18 is 9 points.
  int font_size = kRtfDefaultFontSize;
  // The font number of \fN, and whether the font table names it a fixed-pitch font.
  int font = 0;
  bool monospace = false;
  bool operator==(const RtfCharFormat&) const = default;
};

// Consecutive text of one format. Line breaks (\line) are U+2028 and tabs '\t' inside `text`,
// which is UTF-8.
struct RtfRun {
  std::string text;
  RtfCharFormat format;
};

struct RtfParagraph {
  std::vector<RtfRun> runs;
  // The paragraph begins a new page (a \page came before it).
  bool page_break_before = false;
  // The format in effect where the paragraph ended: the height of an empty paragraph.
  RtfCharFormat mark;
  // The text of all runs.
  std::string Text() const;
};

struct RtfDocument {
  // Every paragraph, also the last one, which no \par ended.
  std::vector<RtfParagraph> paragraphs;
  // The text with one '\n' between paragraphs and for each line break.
  std::string PlainText() const;
};

// Reads an RTF document. Text outside the outermost group is ignored; a document cut short
// gives what was read up to its end.
RtfDocument ParseRtf(std::string_view rtf);

// Where a built document is shown. The screen has no pages: a page break is drawn there as a
// horizontal rule. Paper has them: a page break only starts a new page, and one with nothing but
// empty paragraphs after it starts none (each page of the problem report ends with a \page,
// which must not print a blank sheet).
enum class RtfMedium { kScreen, kPaper };

// Replaces the content of `document` with `rtf`. A page break begins its paragraph on a new
// page when printed (PageBreak_AlwaysBefore); on screen it is also drawn as a horizontal rule in
// an empty block of its own.
void BuildRtfDocument(const RtfDocument& rtf, QTextDocument& document,
                      RtfMedium medium = RtfMedium::kScreen);

// Reads the file at `path` into `document`: an RTF document through ParseRtf and
// BuildRtfDocument, any other file as plain text. False, with `document` unchanged, when the
// file cannot be read.
bool LoadDocumentFile(QTextDocument& document, const std::string& path,
                      RtfMedium medium = RtfMedium::kScreen);

// The text of an RTF document as ParseRtf reads it, for places that only need the words.
QString RtfToPlainText(const QByteArray& rtf);

}  // namespace msu::print
