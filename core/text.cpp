#include "core/text.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace msu {

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string SqlLiteral(std::string_view text) {
  std::string literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return std::string(text.substr(begin, end - begin));
}

namespace {
size_t LastSeparator(std::string_view path) { return path.find_last_of("/\\"); }
}  // namespace

std::string FileNameOf(std::string_view path) {
  size_t pos = LastSeparator(path);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string FolderOf(std::string_view path) {
  size_t pos = LastSeparator(path);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos));
}

std::string DropLast(std::string_view text, size_t count) {
  return text.size() <= count ? std::string() : std::string(text.substr(0, text.size() - count));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/' && out.back() != '\\') out += std::filesystem::path::preferred_separator;
  out += name;
  return out;
}

double LeadingNumber(std::string_view text) {
  std::string digits;
  bool seen_point = false, seen_digit = false;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) digits += text[i++];
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ' || c == '\t') continue;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits += c;
      seen_digit = true;
    } else if (c == '.' && !seen_point) {
      digits += c;
      seen_point = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return 0.0;
  return std::strtod(digits.c_str(), nullptr);
}

}  // namespace msu
