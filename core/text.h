// Small text helpers with the meanings the suite's routines give them.
#pragma once

#include <string>
#include <string_view>

namespace msu {

// ASCII upper and lower case; other bytes (UTF-8 sequences included) are left alone.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

// True when the two texts are equal without regard to ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// A T-SQL string literal of `text`: in single quotes, each quote inside doubled ("O'Brien"
// gives 'O''Brien').
std::string SqlLiteral(std::string_view text);

// Leading and trailing blanks (spaces and tabs) removed.
std::string Trim(std::string_view text);

// The file name of a path: the text after its last "/" or "\".
std::string FileNameOf(std::string_view path);

// The folder of a path: the text before its last "/" or "\" (empty when there is none).
std::string FolderOf(std::string_view path);

// `text` without its last `count` characters (empty when it is shorter).
std::string DropLast(std::string_view text, size_t count);

// Joins a folder and a file name with the platform's separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// Reads the leading decimal number of `text`, the way the suite reads versions and keys:
// from the start, skipping blanks, stopping at the first character that cannot continue the
// number (so "4.13.00" reads as 4.13). Empty or non-numeric text reads as 0.
double LeadingNumber(std::string_view text);

}  // namespace msu
