#include "cli/manual_page.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

namespace msu::cli {

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

size_t IndentOf(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

bool IsBlank(const std::string& line) { return IndentOf(line) == line.size(); }

std::string TrimLeft(const std::string& line) { return line.substr(IndentOf(line)); }

// A list item starts two spaces in, with a word: "  --report FILE   save ...", "  0   the
// check ...", "  attach NAME ...". Deeper lines continue the item before them.
bool IsItem(const std::string& line) { return IndentOf(line) == 2 && line.size() > 2; }

// "Exit status:", "Commands:", "Options:".
bool IsHeading(const std::string& line) {
  return !line.empty() && line[0] != ' ' && line.back() == ':' && line.find(". ") == line.npos &&
         std::count(line.begin(), line.end(), ' ') <= 2;
}

bool IsUsage(const std::string& line) { return line.rfind("Usage: ", 0) == 0; }

// An item's term and its text: split at the first run of two spaces after the term.
std::pair<std::string, std::string> SplitItem(const std::string& line) {
  const std::string body = TrimLeft(line);
  const size_t gap = body.find("  ");
  if (gap == std::string::npos) return {body, ""};
  return {body.substr(0, gap), TrimLeft(body.substr(gap))};
}

// A value's name in a usage line: capitals, digits, and the brackets, commas and dots of
// "ID[,ID...]".
bool IsValueName(const std::string& word) {
  return !word.empty() && std::isupper(static_cast<unsigned char>(word[0])) &&
         std::all_of(word.begin(), word.end(), [](char c) {
           return std::isupper(static_cast<unsigned char>(c)) ||
                  std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '[' || c == ']' ||
                  c == ',' || c == '.';
         });
}

}  // namespace

std::string RoffEscape(const std::string& text) {
  std::string escaped;
  // Inside an option's name ("--into-incident") every hyphen is a minus sign.
  bool in_option = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char before = i == 0 ? '\n' : text[i - 1];
    const bool line_start = before == '\n';
    if (line_start && (c == '.' || c == '\'')) escaped += "\\&";
    if (c == '-' && !in_option && std::string_view(" \n[(|").find(before) != std::string::npos) {
      in_option = true;
    } else if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-')) {
      in_option = false;
    }
    if (c == '\\') {
      escaped += "\\e";
    } else if (c == '-' && in_option) {
      // The minus signs of options: typed as such, and found as such by a search in the page.
      escaped += "\\-";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string RoffFromHelp(const std::string& help) {
  const std::vector<std::string> lines = LinesOf(help);
  std::string roff;
  // What the last line opened: text of a paragraph, or of a list item.
  enum class Open { kNothing, kParagraph, kItem } open = Open::kNothing;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (IsBlank(line)) {
      open = Open::kNothing;
      continue;
    }
    if (IsUsage(line)) {
      // The usage keeps its lines and columns; "Usage:" becomes the section's job.
      roff += ".PP\n.nf\n" + RoffEscape(line.substr(7)) + "\n";
      const size_t indent = 7;
      while (i + 1 < lines.size() && !IsBlank(lines[i + 1]) && IndentOf(lines[i + 1]) >= indent) {
        const std::string& next = lines[++i];
        roff += RoffEscape(next.substr(next.rfind("Usage: ", 0) == 0 ? 7 : indent)) + "\n";
      }
      roff += ".fi\n";
      open = Open::kNothing;
      continue;
    }
    if (IsHeading(line)) {
      roff += ".PP\n.B " + RoffEscape(line) + "\n";
      open = Open::kNothing;
      continue;
    }
    if (IsItem(line)) {
      const auto [term, text] = SplitItem(line);
      roff += ".TP\n\\fB" + RoffEscape(term) + "\\fR\n";
      if (!text.empty()) roff += RoffEscape(text) + "\n";
      open = Open::kItem;
      continue;
    }
    if (open == Open::kItem && IndentOf(line) > 2) {
      roff += RoffEscape(TrimLeft(line)) + "\n";
      continue;
    }
    if (open != Open::kParagraph) roff += ".PP\n";
    roff += RoffEscape(TrimLeft(line)) + "\n";
    open = Open::kParagraph;
  }
  return roff;
}

std::string TextOfRoff(const std::string& roff) {
  std::string text;
  for (const std::string& line : LinesOf(roff)) {
    std::string rest = line;
    if (rest.rfind(".B ", 0) == 0 || rest.rfind(".I ", 0) == 0) {
      rest = rest.substr(3);
    } else if (rest.rfind(".BR ", 0) == 0 || rest.rfind(".SH ", 0) == 0 ||
               rest.rfind(".SS ", 0) == 0) {
      rest = rest.substr(4);
      std::erase(rest, '"');
    } else if (!rest.empty() && rest[0] == '.') {
      continue;
    }
    for (size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] != '\\' || i + 1 == rest.size()) {
        text += rest[i];
        continue;
      }
      const char next = rest[++i];
      if (next == 'e') {
        text += '\\';
      } else if (next == '-') {
        text += '-';
      } else if (next == 'f' && i + 1 < rest.size()) {
        ++i;  // the font's letter
      }
      // \& and every other escape stand for nothing a reader sees.
    }
    text += "\n";
  }
  return text;
}

std::vector<UsageOption> OptionsOfHelp(const std::string& help) {
  std::vector<UsageOption> options;
  // Adds the options of `words`, each followed by its value's name, if any.
  auto take = [&](std::string words_text) {
    std::replace_if(
        words_text.begin(), words_text.end(),
        [](char c) { return c == '[' || c == ']' || c == '|'; }, ' ');
    std::istringstream words(words_text);
    std::vector<std::string> all;
    for (std::string word; words >> word;) all.push_back(word);
    for (size_t w = 0; w < all.size(); ++w) {
      if (all[w].rfind("-", 0) != 0 || all[w] == "-" || all[w] == "--") continue;
      UsageOption option{all[w], ""};
      if (w + 1 < all.size() && IsValueName(all[w + 1])) option.value = all[w + 1];
      const bool seen = std::any_of(options.begin(), options.end(),
                                    [&](const UsageOption& o) { return o.name == option.name; });
      if (!seen) options.push_back(option);
    }
  };
  const std::vector<std::string> lines = LinesOf(help);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (IsItem(lines[i]) && lines[i][2] == '-') {
      // "  --keep ID[,ID...]     the incidents": the term only.
      take(SplitItem(lines[i]).first);
      continue;
    }
    if (!IsUsage(lines[i])) continue;
    std::string usage = lines[i];
    while (i + 1 < lines.size() && !IsBlank(lines[i + 1]) && IndentOf(lines[i + 1]) >= 7) {
      usage += " " + lines[++i];
    }
    take(usage);
  }
  return options;
}

namespace {

// "--report --json" and the case labels of the options by their value's kind.
std::string Names(const std::vector<UsageOption>& options) {
  std::string names;
  for (const UsageOption& option : options) names += (names.empty() ? "" : " ") + option.name;
  return names;
}

std::string ValueCases(const std::vector<UsageOption>& options) {
  std::string files, folders, instances, others;
  for (const UsageOption& option : options) {
    if (option.value.empty()) continue;
    std::string& list = (option.value == "FILE" || option.value == "PATH") ? files
                        : option.value == "DIR"                            ? folders
                        : option.value == "NAME"                           ? instances
                                                                           : others;
    list += (list.empty() ? "" : "|") + option.name;
  }
  std::string cases;
  if (!files.empty()) cases += "      " + files + ") _orvane_files \"$cur\"; return ;;\n";
  if (!folders.empty()) cases += "      " + folders + ") _orvane_folders \"$cur\"; return ;;\n";
  if (!instances.empty()) {
    cases += "      " + instances + ") _orvane_instances \"$cur\"; return ;;\n";
  }
  if (!others.empty()) cases += "      " + others + ") return ;;\n";
  return cases;
}

std::string FunctionName(const std::string& program) {
  std::string name = "_" + program;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

}  // namespace

std::string BashCompletion(const std::string& program,
                           const std::vector<UsageOption>& global_options,
                           const std::vector<CompletionCommand>& commands) {
  const std::string function = FunctionName(program);
  std::string command_names;
  for (const CompletionCommand& command : commands) {
    command_names += (command_names.empty() ? "" : " ") + command.name;
  }
  std::string script =
      "# bash completion for " + program +
      ", made from its help by msu-docs.\n"
      "\n"
      "# Helpers shared with the other programs of the utility.\n"
      "_orvane_files() {\n"
      "  local IFS=$'\\n'\n"
      "  COMPREPLY=($(compgen -f -- \"$1\"))\n"
      "  compopt -o filenames 2>/dev/null\n"
      "}\n"
      "_orvane_folders() {\n"
      "  local IFS=$'\\n'\n"
      "  COMPREPLY=($(compgen -d -- \"$1\"))\n"
      "  compopt -o filenames 2>/dev/null\n"
      "}\n"
      "# The instances of the embedded server: the folders of --root, or of the default root.\n"
      "_orvane_instances() {\n"
      "  local root=\"${ORVANE_SERVER_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/orvane-server}\"\n"
      "  local i\n"
      "  for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do\n"
      "    if [[ ${COMP_WORDS[i]} == --root ]]; then root=${COMP_WORDS[i + 1]}; fi\n"
      "  done\n"
      "  local IFS=$'\\n' names=()\n"
      "  if [[ -d $root ]]; then\n"
      "    names=($(cd \"$root\" && compgen -d -- \"$1\"))\n"
      "  fi\n"
      "  COMPREPLY=(\"${names[@]}\")\n"
      "}\n"
      "\n" +
      function +
      "() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  COMPREPLY=()\n"
      "  # The command: the first word that is neither an option nor an option's value.\n"
      "  local i command= at=0\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in\n" +
      [&] {
        std::string valued;
        for (const UsageOption& option : global_options) {
          if (!option.value.empty()) valued += (valued.empty() ? "" : "|") + option.name;
        }
        return valued.empty() ? std::string() : "      " + valued + ") ((i++)) ;;\n";
      }() +
      "      -*) ;;\n"
      "      *) command=${COMP_WORDS[i]}; at=$i; break ;;\n"
      "    esac\n"
      "  done\n"
      "  if [[ -z $command ]]; then\n"
      "    case $prev in\n" +
      ValueCases(global_options) +
      "    esac\n"
      "    COMPREPLY=($(compgen -W \"" +
      command_names + " " + Names(global_options) +
      "\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  case $command in\n";
  for (const CompletionCommand& command : commands) {
    script += "    " + command.name + ")\n      case $prev in\n" + ValueCases(command.options) +
              "      esac\n";
    if (command.first_argument_is_instance) {
      // The first word after the command that is not an option is the server's name.
      script +=
          "      local words=0\n"
          "      for ((i = at + 1; i < COMP_CWORD; i++)); do\n"
          "        [[ ${COMP_WORDS[i]} == -* ]] || ((words++))\n"
          "      done\n"
          "      if ((words == 0)) && [[ $cur != -* ]]; then _orvane_instances \"$cur\"; return; "
          "fi\n";
    }
    script += "      COMPREPLY=($(compgen -W \"" + Names(command.options) +
              " --help\" -- \"$cur\"))\n      ;;\n";
  }
  script += "  esac\n}\ncomplete -F " + function + " " + program + "\n";
  return script;
}

}  // namespace msu::cli
