// Manual pages and shell completion made from the programs' own help texts, so that neither can
// say something --help does not: msu-docs writes them at build time (cli/docs_main.cpp).
//
// The help texts share one layout, which is what the conversion reads:
//
//   Usage: msu check --server NAME ...      usage, continued on lines indented further
//                    [--report FILE]
//                                           a blank line ends a paragraph or a list
//   Checks two databases before a merge,    text: a paragraph, filled by the reader
//   ...
//   Exit status:                            a heading: unindented, ending with ":"
//     --report FILE   save the problem      a list item: two spaces, the term, two or more
//                     report ...            spaces, its text; continued on deeper lines
//     attach NAME DBNAME FILE               or a term alone, its text on the deeper lines below
//         Attaches the database file ...
#pragma once

#include <string>
#include <vector>

namespace msu::cli {

// `text` escaped for roff: backslashes, leading dots and quotes, and the minus signs of options.
std::string RoffEscape(const std::string& text);

// A help text (as above) as the body of a manual page section: usage as an unfilled block, text
// as filled paragraphs, headings in bold, list items as tagged paragraphs (.TP) with the term in
// bold. Every word of the help text is kept, in its order.
std::string RoffFromHelp(const std::string& help);

// The text a reader sees of roff source: escapes and font changes removed, headings and the
// words of font requests kept, other request lines (".TP") dropped. Used to compare a page with the
// help it was made from.
std::string TextOfRoff(const std::string& roff);

// An option as a usage line shows it: "--report" with its value's name ("FILE"; empty for a
// flag).
struct UsageOption {
  std::string name;
  std::string value;

  bool operator==(const UsageOption&) const = default;
};

// The options a help text names: those of its usage lines (the "Usage:" line and the lines that
// continue it) and the terms of its list items that are options ("  --root DIR   folder ..."), in
// order of first appearance, each once.
std::vector<UsageOption> OptionsOfHelp(const std::string& help);

// What bash completes for one command of a program: its options, and the words that may stand
// in the first argument place ("NAME" of msu-server's commands: the instances).
struct CompletionCommand {
  std::string name;
  std::vector<UsageOption> options;
  bool first_argument_is_instance = false;
};

// A bash completion script for `program`: the commands and `global_options` in the first
// place, each command's options after it, file names after an option whose value is a FILE or
// PATH, folders after DIR, and the instances of the embedded server where a command takes the
// server's NAME first. Needs nothing but bash (no bash-completion helpers).
std::string BashCompletion(const std::string& program,
                           const std::vector<UsageOption>& global_options,
                           const std::vector<CompletionCommand>& commands);

}  // namespace msu::cli
