#include "print/rtf_reader.h"

#include <QFile>
#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLength>
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>

namespace msu::print {

namespace {

constexpr char32_t kLineSeparator = 0x2028;

// Windows-1252 above 127; the five unassigned bytes keep their own code, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromCp1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Groups whose content is no text of the document. Everything after "{\*" is skipped too.
const std::set<std::string, std::less<>>& SkippedDestinations() {
  static const std::set<std::string, std::less<>> names = {
      "annotation", "atnid",        "author",
      "bkmkend",    "bkmkstart",    "colortbl",
      "comment",    "company",      "datastore",
      "doccomm",    "falt",         "filetbl",
      "fldinst",    "footer",       "footerf",
      "footerl",    "footerr",      "footnote",
      "generator",  "header",       "headerf",
      "headerl",    "headerr",      "info",
      "keywords",   "latentstyles", "listoverridetable",
      "listtable",  "nonshppict",   "objdata",
      "object",     "operator",     "panose",
      "pict",       "revtbl",       "rsidtbl",
      "shp",        "shpinst",      "stylesheet",
      "subject",    "template",     "themedata",
      "title",      "xmlnstbl",     "colorschememapping"};
  return names;
}

// Single characters some control words stand for.
const std::map<std::string, char32_t, std::less<>>& SymbolWords() {
  static const std::map<std::string, char32_t, std::less<>> words = {
      {"tab", U'\t'},      {"line", kLineSeparator}, {"emdash", 0x2014},   {"endash", 0x2013},
      {"emspace", 0x2003}, {"enspace", 0x2002},      {"bullet", 0x2022},   {"lquote", 0x2018},
      {"rquote", 0x2019},  {"ldblquote", 0x201C},    {"rdblquote", 0x201D}};
  return words;
}

enum class Destination { kText, kFontTable, kSkip };

struct GroupState {
  RtfCharFormat format;
  Destination destination = Destination::kText;
  // Characters to drop after a \uN: the stand-in of readers without Unicode.
  int unicode_skip = 1;
};

struct FontEntry {
  bool monospace = false;
  std::string name;
};

class Parser {
 public:
  explicit Parser(std::string_view rtf) : rtf_(rtf) {}

  RtfDocument Run() {
    size_t i = 0;
    const size_t n = rtf_.size();
    // Whatever comes before the document's opening brace is not part of it.
    while (i < n && rtf_[i] != '{') ++i;
    while (i < n) {
      const char c = rtf_[i];
      if (c == '{') {
        stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
        ++i;
      } else if (c == '}') {
        if (!stack_.empty()) stack_.pop_back();
        ++i;
        if (stack_.empty()) break;  // the document's group is closed
      } else if (c == '\\') {
        i = ControlAt(i);
      } else {
        if (c != '\r' && c != '\n' && c != '\f') {
          if (c == '\t') {
            Char(U'\t');
          } else if (static_cast<unsigned char>(c) >= 0x20) {
            Char(FromCp1252(static_cast<unsigned char>(c)));
          }
        }
        ++i;
      }
    }
    // A \par at the very end closed the last paragraph; one without it still holds text.
    if (!current_.runs.empty() || current_.page_break_before) EndParagraph();
    return std::move(document_);
  }

 private:
  GroupState& State() { return stack_.back(); }

  // Reads the control word or symbol at `i` (a backslash) and returns the index after it.
  size_t ControlAt(size_t i) {
    const size_t n = rtf_.size();
    if (i + 1 >= n) return n;
    const char next = rtf_[i + 1];
    if (std::isalpha(static_cast<unsigned char>(next))) {
      size_t j = i + 1;
      while (j < n && std::isalpha(static_cast<unsigned char>(rtf_[j]))) ++j;
      const std::string_view word = rtf_.substr(i + 1, j - i - 1);
      bool has_parameter = false;
      long parameter = 0;
      bool negative = false;
      if (j < n && rtf_[j] == '-' && j + 1 < n &&
          std::isdigit(static_cast<unsigned char>(rtf_[j + 1]))) {
        negative = true;
        ++j;
      }
      while (j < n && std::isdigit(static_cast<unsigned char>(rtf_[j]))) {
        has_parameter = true;
        if (parameter < 100000000) parameter = parameter * 10 + (rtf_[j] - '0');
        ++j;
      }
      if (negative) parameter = -parameter;
      if (j < n && rtf_[j] == ' ') ++j;  // the blank only ends the word
      if (word == "bin" && has_parameter && parameter > 0) {
        // Binary data: its bytes may look like braces, so they are passed over by count.
        return std::min(n, j + static_cast<size_t>(parameter));
      }
      if (!stack_.empty()) Word(word, has_parameter, parameter);
      return j;
    }
    if (stack_.empty()) return i + 2;
    switch (next) {
      case '\\':
      case '{':
      case '}':
        Char(static_cast<unsigned char>(next));
        return i + 2;
      case '\'': {
        if (i + 3 >= n) return n;
        const std::string hex(rtf_.substr(i + 2, 2));
        char* end = nullptr;
        const long code = std::strtol(hex.c_str(), &end, 16);
        if (hex.size() == 2 && end == hex.c_str() + 2) {
          Char(FromCp1252(static_cast<unsigned char>(code)));
        }
        return std::min(n, i + 4);
      }
      case '*':
        State().destination = Destination::kSkip;
        return i + 2;
      case '~':
        Char(0x00A0);
        return i + 2;
      case '_':
        Char(0x2011);
        return i + 2;
      case '\r':
      case '\n':
        // A backslash at the end of a line is a paragraph mark.
        if (State().destination == Destination::kText) EndParagraph();
        return i + 2;
      default:
        // Optional hyphens, index and formula marks and anything unknown show nothing.
        return i + 2;
    }
  }

  void Word(std::string_view word, bool has_parameter, long parameter) {
    GroupState& state = State();
    if (state.destination == Destination::kSkip) return;
    if (word == "fonttbl") {
      state.destination = Destination::kFontTable;
      return;
    }
    if (SkippedDestinations().count(word) != 0) {
      state.destination = Destination::kSkip;
      return;
    }
    if (state.destination == Destination::kFontTable) {
      if (word == "f") {
        font_being_defined_ = static_cast<int>(parameter);
        fonts_[font_being_defined_];
      } else if (word == "fmodern") {
        fonts_[font_being_defined_].monospace = true;
      }
      return;
    }

    // A switch without a parameter, or with one other than 0, turns its property on.
    const bool on = !has_parameter || parameter != 0;
    RtfCharFormat& format = state.format;
    if (word == "b") {
      format.bold = on;
    } else if (word == "i") {
      format.italic = on;
    } else if (word == "ulnone") {
      format.underline = false;
    } else if (word.substr(0, 2) == "ul" && word != "ulc") {
      // \ul, \ulth (thick), \uld (dotted), \uldb (double) and the other underline kinds.
      format.underline = on;
    } else if (word == "fs") {
      format.font_size =
          has_parameter && parameter > 0 ? static_cast<int>(parameter) : kRtfDefaultFontSize;
    } else if (word == "f") {
      format.font = static_cast<int>(parameter);
    } else if (word == "deff") {
      default_font_ = static_cast<int>(parameter);
      format.font = default_font_;
    } else if (word == "plain") {
      format = RtfCharFormat{};
      format.font = default_font_;
    } else if (word == "par" || word == "sect") {
      EndParagraph();
    } else if (word == "page") {
      PageBreak();
    } else if (word == "uc") {
      state.unicode_skip = static_cast<int>(parameter);
    } else if (word == "u") {
      const long code = parameter < 0 ? parameter + 65536 : parameter;
      Char(static_cast<char32_t>(code));
      pending_skip_ = state.unicode_skip;
    } else if (auto symbol = SymbolWords().find(word); symbol != SymbolWords().end()) {
      Char(symbol->second);
    }
    // Every other word (paragraph layout, colours, document settings) changes nothing shown.
  }

  void Char(char32_t code) {
    if (stack_.empty()) return;
    GroupState& state = State();
    if (state.destination == Destination::kSkip) return;
    if (state.destination == Destination::kFontTable) {
      if (code == U';') {
        FontEntry& entry = fonts_[font_being_defined_];
        if (entry.name.find("Courier") != std::string::npos) entry.monospace = true;
      } else {
        AppendUtf8(fonts_[font_being_defined_].name, code);
      }
      return;
    }
    if (pending_skip_ > 0) {
      --pending_skip_;
      return;
    }
    const RtfCharFormat format = Effective(state.format);
    if (current_.runs.empty() || !(current_.runs.back().format == format)) {
      current_.runs.push_back({std::string(), format});
    }
    AppendUtf8(current_.runs.back().text, code);
  }

  // The format with the font table's word on the font: the table may come after \deff.
  RtfCharFormat Effective(RtfCharFormat format) const {
    const auto font = fonts_.find(format.font);
    format.monospace = font != fonts_.end() && font->second.monospace;
    return format;
  }

  void EndParagraph() {
    current_.mark = Effective(stack_.empty() ? RtfCharFormat{} : State().format);
    document_.paragraphs.push_back(std::move(current_));
    current_ = RtfParagraph{};
  }

  // Text after a page break starts the next page. A break at the start of a paragraph moves
  // that paragraph; one inside a paragraph ends it first.
  void PageBreak() {
    if (!current_.runs.empty()) EndParagraph();
    current_.page_break_before = true;
  }

  std::string_view rtf_;
  std::vector<GroupState> stack_;
  std::map<int, FontEntry> fonts_;
  int font_being_defined_ = 0;
  int default_font_ = 0;
  int pending_skip_ = 0;
  RtfParagraph current_;
  RtfDocument document_;
};

QTextCharFormat ToQt(const RtfCharFormat& format) {
  QTextCharFormat qt;
  qt.setFontWeight(format.bold ? QFont::Bold : QFont::Normal);
  qt.setFontItalic(format.italic);
  qt.setFontUnderline(format.underline);
  qt.setFontPointSize(format.font_size / 2.0);
  if (format.monospace) {
    qt.setFontFamilies(QStringList{"Courier New", "Courier", "monospace"});
    qt.setFontFixedPitch(true);
    qt.setFontStyleHint(QFont::Monospace);
  }
  return qt;
}

}  // namespace

std::string RtfParagraph::Text() const {
  std::string text;
  for (const RtfRun& run : runs) text += run.text;
  return text;
}

std::string RtfDocument::PlainText() const {
  std::string text;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (i > 0) text += '\n';
    text += paragraphs[i].Text();
  }
  // A line break inside a paragraph is U+2028 (UTF-8 E2 80 A8); plain text shows it as "\n".
  const std::string_view separator = "\xE2\x80\xA8";
  std::string plain;
  plain.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (std::string_view(text).substr(at, separator.size()) == separator) {
      plain += '\n';
      at += separator.size();
    } else {
      plain += text[at++];
    }
  }
  return plain;
}

RtfDocument ParseRtf(std::string_view rtf) { return Parser(rtf).Run(); }

void BuildRtfDocument(const RtfDocument& rtf, QTextDocument& document, RtfMedium medium) {
  // On paper, a last page break followed by nothing but empty paragraphs would only make a
  // blank sheet.
  size_t end = rtf.paragraphs.size();
  if (medium == RtfMedium::kPaper) {
    size_t after_break = end;
    while (after_break > 0 && !rtf.paragraphs[after_break - 1].page_break_before) --after_break;
    if (after_break > 0 &&
        std::all_of(rtf.paragraphs.begin() + static_cast<std::ptrdiff_t>(after_break - 1),
                    rtf.paragraphs.end(),
                    [](const RtfParagraph& paragraph) { return paragraph.runs.empty(); })) {
      end = after_break - 1;
    }
  }

  document.clear();
  document.setUndoRedoEnabled(false);
  QTextCursor cursor(&document);
  cursor.beginEditBlock();
  bool first_block = true;
  auto new_block = [&](const QTextBlockFormat& block, const QTextCharFormat& mark) {
    if (first_block) {
      cursor.setBlockFormat(block);
      cursor.setBlockCharFormat(mark);
      first_block = false;
    } else {
      cursor.insertBlock(block, mark);
    }
  };
  for (size_t i = 0; i < end; ++i) {
    const RtfParagraph& paragraph = rtf.paragraphs[i];
    // An empty paragraph is as high as the format of its mark.
    const QTextCharFormat mark =
        ToQt(paragraph.runs.empty() ? paragraph.mark : paragraph.runs.front().format);
    QTextBlockFormat block;
    if (paragraph.page_break_before) {
      if (medium == RtfMedium::kScreen) {
        // The screen has no pages: the break is shown as a rule across the text.
        QTextBlockFormat rule;
        rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                         QTextLength(QTextLength::PercentageLength, 100));
        new_block(rule, mark);
      }
      block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    }
    new_block(block, mark);
    for (const RtfRun& run : paragraph.runs) {
      cursor.insertText(QString::fromUtf8(run.text.data(), static_cast<qsizetype>(run.text.size())),
                        ToQt(run.format));
    }
  }
  cursor.endEditBlock();
}

bool LoadDocumentFile(QTextDocument& document, const std::string& path, RtfMedium medium) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray content = file.readAll();
  if (content.startsWith("{\\rtf")) {
    BuildRtfDocument(
        ParseRtf(std::string_view(content.constData(), static_cast<size_t>(content.size()))),
        document, medium);
  } else {
    document.setPlainText(QString::fromLocal8Bit(content));
  }
  return true;
}

QString RtfToPlainText(const QByteArray& rtf) {
  const std::string text =
      ParseRtf(std::string_view(rtf.constData(), static_cast<size_t>(rtf.size()))).PlainText();
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace msu::print
