#include "data/sqlserver/connection_string.h"

#include "core/text.h"

namespace msu::sqlserver {

OdbcConnectionString OdbcConnectionString::Parse(const std::string& text) {
  OdbcConnectionString parsed;
  size_t i = 0;
  while (i < text.size()) {
    const size_t equals = text.find('=', i);
    const size_t semicolon = text.find(';', i);
    if (equals == std::string::npos) break;
    if (semicolon != std::string::npos && semicolon < equals) {
      i = semicolon + 1;
      continue;
    }
    const std::string key = Trim(text.substr(i, equals - i));
    size_t at = equals + 1;
    while (at < text.size() && text[at] == ' ') ++at;
    std::string value;
    if (at < text.size() && text[at] == '{') {
      ++at;
      while (at < text.size()) {
        if (text[at] == '}') {
          if (at + 1 < text.size() && text[at + 1] == '}') {
            value += '}';
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        value += text[at++];
      }
      const size_t end = text.find(';', at);
      i = end == std::string::npos ? text.size() : end + 1;
    } else {
      const size_t end = text.find(';', at);
      value = Trim(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
      i = end == std::string::npos ? text.size() : end + 1;
    }
    if (!key.empty()) parsed.Set(key, value);
  }
  return parsed;
}

std::string OdbcConnectionString::Get(const std::string& key) const {
  for (const auto& [name, value] : pairs_) {
    if (EqualsNoCase(name, key)) return value;
  }
  return "";
}

bool OdbcConnectionString::Has(const std::string& key) const {
  for (const auto& pair : pairs_) {
    if (EqualsNoCase(pair.first, key)) return true;
  }
  return false;
}

void OdbcConnectionString::Set(const std::string& key, const std::string& value) {
  for (auto& [name, old] : pairs_) {
    if (EqualsNoCase(name, key)) {
      old = value;
      return;
    }
  }
  pairs_.emplace_back(key, value);
}

std::string OdbcConnectionString::Take(const std::string& key) {
  std::string value;
  for (auto it = pairs_.begin(); it != pairs_.end();) {
    if (EqualsNoCase(it->first, key)) {
      value = it->second;
      it = pairs_.erase(it);
    } else {
      ++it;
    }
  }
  return value;
}

std::string OdbcConnectionString::Text() const {
  std::string text;
  for (const auto& [name, value] : pairs_) {
    if (!text.empty()) text += ';';
    text += name + "=" + OdbcValue(value);
  }
  return text;
}

std::string OdbcValue(const std::string& value) {
  const bool plain = value.find_first_of(";{}=") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + "}";
}

}  // namespace msu::sqlserver
