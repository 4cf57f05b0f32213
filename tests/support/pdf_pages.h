// A PDF read back as its reader sees it, through poppler's pdfinfo and pdftotext (setup.sh
// installs poppler-utils): the number of pages and the text of each page.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

namespace msu::testing {

// The standard output of `command`; empty when it cannot be run.
inline std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, read);
  ::pclose(pipe);
  return output;
}

// The page count pdfinfo gives; -1 when it gives none (no file, not a PDF).
inline int PdfPageCount(const std::string& pdf) {
  const std::string info = CommandOutput("pdfinfo '" + pdf + "' 2>/dev/null");
  const size_t at = info.find("\nPages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 7));
}

// The text of every page, line by line as on the page (pdftotext -layout), with every run of
// blanks made one blank: how many blanks the layout puts between two words depends on where
// they were drawn, not on the text.
inline std::vector<std::string> PdfPageTexts(const std::string& pdf) {
  const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  std::vector<std::string> pages(1);
  for (const char c : text) {
    if (c == '\f') {
      pages.emplace_back();  // pdftotext ends every page with a form feed
    } else if (c != ' ' || (!pages.back().empty() && pages.back().back() != ' ')) {
      pages.back() += c;
    }
  }
  pages.pop_back();
  return pages;
}

}  // namespace msu::testing
