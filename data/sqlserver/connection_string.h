// ODBC connection strings: "Key=Value;Key={Value with ; or }} inside}". Keys compare without
// regard to case; a later key of the same name replaces an earlier one.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace msu::sqlserver {

class OdbcConnectionString {
 public:
  OdbcConnectionString() = default;
  // Reads a string; text that is no "Key=Value" pair is ignored.
  static OdbcConnectionString Parse(const std::string& text);

  // The value of `key`, or empty text.
  std::string Get(const std::string& key) const;
  bool Has(const std::string& key) const;
  void Set(const std::string& key, const std::string& value);
  // Removes `key`; returns its value (empty text when it was not there).
  std::string Take(const std::string& key);

  // The string again, values in braces where ODBC needs them.
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The value as ODBC reads it back: in braces (with "}" doubled) when it holds ";", "{", "}",
// "=" or blanks at either end.
std::string OdbcValue(const std::string& value);

}  // namespace msu::sqlserver
