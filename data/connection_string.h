// Connection strings, as ODBC and ADO write them: "Key=Value;Key={Value with ; or }} inside}"
// or "Key=\"Value with ; or \"\" inside\"". Every connection string of the programs is read and
// built here, so that any path, server or database name travels whole, ";" and quotes included.
// Keys compare without regard to case; a later key of the same name replaces an earlier one.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace msu::data {

class ConnectionString {
 public:
  ConnectionString() = default;
  // Reads a string. A value may be bare (trimmed; it ends at the next ";"), in braces ("}}"
  // stands for "}") or in double or single quotes (the quote doubled stands for itself). Text
  // that is no "Key=Value" pair is ignored; an unclosed brace or quote runs to the end.
  static ConnectionString Parse(const std::string& text);

  // The value of `key`, or empty text.
  std::string Get(const std::string& key) const;
  bool Has(const std::string& key) const;
  void Set(const std::string& key, const std::string& value);
  // Removes `key`; returns its value (empty text when it was not there).
  std::string Take(const std::string& key);

  // The string again, in the order the keys were first set, values in braces where needed
  // (ConnectionValue): Parse(Text()) gives the same pairs back.
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The value as ODBC and this module read it back: in braces (with "}" doubled) when it holds
// ";", "{", "}", "=", a quote or blanks at either end; otherwise as it is.
std::string ConnectionValue(const std::string& value);

}  // namespace msu::data
