#include "suite/incident_delete_rules.h"

#include <cctype>
#include <fstream>

namespace msu::suite {
namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameName(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// "<table>.<column>" with an optional bracketed table name. The table is everything up to the
// last "." that stands outside brackets.
bool SplitName(const std::string& text, std::string* table, std::string* column) {
  std::string value = Trimmed(text);
  size_t dot = std::string::npos;
  int depth = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '[') ++depth;
    if (value[i] == ']') --depth;
    if (value[i] == '.' && depth == 0) dot = i;
  }
  if (dot == std::string::npos) return false;
  *table = Trimmed(value.substr(0, dot));
  *column = Trimmed(value.substr(dot + 1));
  if (table->size() >= 2 && table->front() == '[' && table->back() == ']') {
    *table = table->substr(1, table->size() - 2);
  }
  return !table->empty() && !column->empty() && table->find_first_of("[]") == std::string::npos;
}

std::string Bracketed(const std::string& name) { return "[" + name + "]"; }

// "= 7" for one incident, "IN (7, 9)" for several.
std::string KeyTest(const std::vector<long long>& keys) {
  if (keys.size() == 1) return " = " + std::to_string(keys.front());
  std::string list;
  for (long long key : keys) list += (list.empty() ? "" : ", ") + std::to_string(key);
  return " IN (" + list + ")";
}

// The condition that picks the rows of `table` belonging to the incidents: the rules of that
// table joined with OR. Rules were validated, so every parent resolves to rules further down.
std::string RowsOf(const std::vector<IncidentDeleteRule>& rules, size_t from,
                   const std::string& table, const std::string& key_test);

std::string Condition(const std::vector<IncidentDeleteRule>& rules, size_t index,
                      const std::string& key_test) {
  const IncidentDeleteRule& rule = rules[index];
  if (rule.parent_table.empty()) return Bracketed(rule.column) + key_test;
  return Bracketed(rule.column) + " IN (SELECT " + Bracketed(rule.parent_column) + " FROM " +
         Bracketed(rule.parent_table) + " WHERE " +
         RowsOf(rules, index + 1, rule.parent_table, key_test) + ")";
}

std::string RowsOf(const std::vector<IncidentDeleteRule>& rules, size_t from,
                   const std::string& table, const std::string& key_test) {
  std::vector<std::string> parts;
  for (size_t i = from; i < rules.size(); ++i) {
    if (SameName(rules[i].table, table)) parts.push_back(Condition(rules, i, key_test));
  }
  if (parts.empty()) return "";
  if (parts.size() == 1) return parts.front();
  std::string joined;
  for (const std::string& p : parts) joined += (joined.empty() ? "(" : " OR (") + p + ")";
  return joined;
}

}  // namespace

bool ParseIncidentDeleteRules(std::istream& in, std::vector<IncidentDeleteRule>* rules,
                              std::string* error) {
  rules->clear();
  std::string raw;
  int line_number = 0;
  bool in_section = false;
  auto fail = [&](int line, const std::string& message) {
    *error = "Line " + std::to_string(line) + ": " + message;
    rules->clear();
    return false;
  };
  while (std::getline(in, raw)) {
    ++line_number;
    std::string line = Trimmed(raw);
    if (!in_section) {
      in_section = Upper(line.substr(0, 16)) == "[INCIDENTDELETE]";
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) return fail(line_number, "no \"=\" in \"" + line + "\"");
    std::string word = Upper(Trimmed(line.substr(0, equals)));
    std::string value = line.substr(equals + 1);
    if (!rules->empty() && rules->back().incident) {
      return fail(line_number, "nothing may follow the DeleteIncident line");
    }
    IncidentDeleteRule rule;
    rule.line = line_number;
    if (word == "DELETEINCIDENT") {
      rule.incident = true;
      if (!SplitName(value, &rule.table, &rule.column)) {
        return fail(line_number, "expected <table>.<key column> in \"" + line + "\"");
      }
    } else if (word == "DELETEROWS") {
      size_t link = value.find('=');
      if (!SplitName(value.substr(0, link), &rule.table, &rule.column)) {
        return fail(line_number, "expected <table>.<column> in \"" + line + "\"");
      }
      if (link != std::string::npos &&
          !SplitName(value.substr(link + 1), &rule.parent_table, &rule.parent_column)) {
        return fail(line_number,
                    "expected <parent table>.<parent column> after the second "
                    "\"=\" in \"" +
                        line + "\"");
      }
    } else {
      return fail(line_number, "unknown instruction \"" + Trimmed(line.substr(0, equals)) +
                                   "\"; expected DeleteRows or DeleteIncident");
    }
    rules->push_back(rule);
  }
  if (!in_section) return fail(line_number, "no [INCIDENTDELETE] section");
  if (rules->empty() || !rules->back().incident) {
    return fail(line_number, "the section does not end with a DeleteIncident line");
  }
  // Every parent must still have its rows when the line that names it runs.
  for (size_t i = 0; i < rules->size(); ++i) {
    const IncidentDeleteRule& rule = (*rules)[i];
    if (rule.parent_table.empty()) continue;
    bool later = false;
    for (size_t j = i + 1; j < rules->size(); ++j) {
      later = later || SameName((*rules)[j].table, rule.parent_table);
    }
    if (!later) {
      return fail(rule.line, "the parent table " + rule.parent_table +
                                 " has no DeleteRows or DeleteIncident line further down");
    }
  }
  return true;
}

bool ReadIncidentDeleteRules(const std::string& path, std::vector<IncidentDeleteRule>* rules,
                             std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "Cannot open the instruction file " + path;
    rules->clear();
    return false;
  }
  if (!ParseIncidentDeleteRules(in, rules, error)) {
    *error = path + ", " + *error;
    return false;
  }
  return true;
}

std::vector<std::string> IncidentDeleteStatements(const std::vector<IncidentDeleteRule>& rules,
                                                  long long incident_key) {
  return IncidentDeleteStatements(rules, std::vector<long long>{incident_key});
}

std::vector<std::string> IncidentDeleteStatements(const std::vector<IncidentDeleteRule>& rules,
                                                  const std::vector<long long>& incident_keys) {
  std::vector<std::string> statements;
  const std::string key_test = KeyTest(incident_keys);
  for (size_t i = 0; i < rules.size(); ++i) {
    statements.push_back("DELETE FROM " + Bracketed(rules[i].table) + " WHERE " +
                         Condition(rules, i, key_test));
  }
  return statements;
}

std::string IncidentRowsCondition(const std::vector<IncidentDeleteRule>& rules,
                                  const std::string& table,
                                  const std::vector<long long>& incident_keys) {
  return RowsOf(rules, 0, table, KeyTest(incident_keys));
}

std::vector<std::string> IncidentDeleteTables(const std::vector<IncidentDeleteRule>& rules) {
  std::vector<std::string> tables;
  for (const IncidentDeleteRule& rule : rules) {
    bool known = false;
    for (const std::string& table : tables) known = known || SameName(table, rule.table);
    if (!known) tables.push_back(rule.table);
  }
  return tables;
}

}  // namespace msu::suite
