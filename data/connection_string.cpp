#include "data/connection_string.h"

#include "core/text.h"

namespace msu::data {

ConnectionString ConnectionString::Parse(const std::string& text) {
  ConnectionString parsed;
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
    if (at < text.size() && (text[at] == '{' || text[at] == '"' || text[at] == '\'')) {
      const char close = text[at] == '{' ? '}' : text[at];
      ++at;
      while (at < text.size()) {
        if (text[at] == close) {
          if (at + 1 < text.size() && text[at + 1] == close) {
            value += close;
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

std::string ConnectionString::Get(const std::string& key) const {
  for (const auto& [name, value] : pairs_) {
    if (EqualsNoCase(name, key)) return value;
  }
  return "";
}

bool ConnectionString::Has(const std::string& key) const {
  for (const auto& pair : pairs_) {
    if (EqualsNoCase(pair.first, key)) return true;
  }
  return false;
}

void ConnectionString::Set(const std::string& key, const std::string& value) {
  for (auto& [name, old] : pairs_) {
    if (EqualsNoCase(name, key)) {
      old = value;
      return;
    }
  }
  pairs_.emplace_back(key, value);
}

std::string ConnectionString::Take(const std::string& key) {
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

std::string ConnectionString::Text() const {
  std::string text;
  for (const auto& [name, value] : pairs_) {
    if (!text.empty()) text += ';';
    text += name + "=" + ConnectionValue(value);
  }
  return text;
}

std::string ConnectionValue(const std::string& value) {
  const bool plain = value.find_first_of(";{}=\"'") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + "}";
}

}  // namespace msu::data
