#include "cli/split_command.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <ostream>

#include "cli/command_support.h"
#include "cli/merge_json.h"
#include "cli/msu_wording.h"
#include "cli/split_json.h"
#include "core/text.h"
#include "page_rules/login_check.h"
#include "page_rules/split_paths.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/working_files.h"
#include "split/database_of_file.h"
#include "split/split_sequence.h"

namespace msu::cli {

namespace {

void PrintIncidents(const split::IncidentEntries& list, std::ostream& out) {
  for (const split::IncidentEntries::Entry& entry : list.Entries()) {
    out << entry.tag << "  " << entry.text << "\n";
  }
}

// --list: the incidents of the database to split, read where it is attached.
int ListIncidents(Context& context, const std::string& source, std::ostream& out,
                  std::ostream& err) {
  try {
    std::unique_ptr<data::Connection> connection = split::OpenDatabaseOfFile(context, source);
    split::IncidentEntries list;
    split::ReadIncidents(*connection, list);
    connection->Close();
    PrintIncidents(list, out);
    return kSplitDone;
  } catch (const std::exception& error) {
    err << "msu: the incidents could not be read: " << error.what() << "\n";
    return kSplitNotStarted;
  }
}

// The paths as the split database page checks them; 0 when they are accepted.
int CheckPaths(Context& context, std::string& source, std::string& target, bool list_only,
               std::ostream& err) {
  if (list_only) {
    server_routines::AppendMdfExtension(source);
    source = Trim(source);
    const char* message = source.size() < 2                      ? kMsgSplitSourceNotSpecified
                          : !server_routines::FileExists(source) ? kMsgSplitSourceMissing
                                                                 : nullptr;
    if (message == nullptr) return 0;
    err << message << "\n";
    return kStatusPaths;
  }
  const PathsCheck check = ValidateSplitPaths(context, source, target);
  source = Trim(source);
  target = Trim(target);
  switch (check.verdict) {
    case PathsVerdict::kAccepted:
      return 0;
    case PathsVerdict::kInvalid:
      err << check.message << "\n";
      return kStatusPaths;
    case PathsVerdict::kInUse:
      err << check.message << "\n";
      return kStatusInUse;
    case PathsVerdict::kNotOverwritten:
      err << "msu: " << target << " exists; give --overwrite to accept it\n";
      return kStatusPaths;
  }
  return kStatusPaths;
}

// A dry run: the incidents the split would keep and remove, and each table's rows before and
// after, from the engine's figures.
void PrintDryRun(const split::IncidentEntries& list, const split::SplitFigures& figures,
                 std::ostream& out) {
  for (const bool kept : {true, false}) {
    int count = 0;
    for (const split::IncidentEntries::Entry& entry : list.Entries())
      count += entry.checked == kept;
    out << (kept ? "Would keep " : "Would remove ") << count
        << (count == 1 ? " incident:\n" : " incidents:\n");
    for (const split::IncidentEntries::Entry& entry : list.Entries()) {
      if (entry.checked == kept) out << "  " << Trim(entry.tag) << "  " << entry.text << "\n";
    }
  }
  // A table of rows: the name left-aligned, the counts right-aligned under their headings.
  size_t width = 5;
  for (const split::TableRowCount& count : figures.table_rows) {
    width = std::max(width, count.table.size());
  }
  const auto right = [](const std::string& text, size_t columns) {
    return std::string(columns > text.size() ? columns - text.size() : 0, ' ') + text;
  };
  out << "Rows per table:\n  " << std::string(width, ' ') << right("now", 10) << right("after", 10)
      << right("removed", 10) << "\n";
  for (const split::TableRowCount& count : figures.table_rows) {
    out << "  " << count.table << std::string(width - count.table.size(), ' ')
        << right(std::to_string(count.before), 10) << right(std::to_string(count.after), 10)
        << right(std::to_string(count.before - count.after), 10) << "\n";
  }
}

// The last line of a split that ran: what it did and where its result is.
void PrintSplitEnd(Context& context, const SplitCommandOptions& options,
                   const split::SplitOutcome& outcome, const split::SplitFigures& figures,
                   const std::string& target, int status, std::ostream& out, std::ostream& err) {
  const size_t kept = figures.kept.size();
  const std::string incidents = std::to_string(kept) + " of " + std::to_string(figures.incidents) +
                                (figures.incidents == 1 ? " incident" : " incidents");
  if (options.dry_run && outcome.executed) {
    out << "msu split: dry run; nothing was written. " << target << " would hold " << incidents
        << ".\n";
  } else if (outcome.executed) {
    out << "msu split: kept " << incidents << " in " << target << ", attached to the server "
        << context.server.ServerName << " as " << server_routines::DatabaseNameOfFile(target)
        << (status == kSplitNotVerified ? "; the verification found problems (see above)" : "")
        << ".\n";
  } else {
    err << "msu split: the split stopped; nothing was placed at " << target
        << (figures.incomplete_database.empty()
                ? std::string()
                : "; what it made is kept, not attached, as " + figures.incomplete_database)
        << ".\n";
  }
}

int RunSplitSteps(const SplitCommandOptions& options, const std::vector<long>& keep,
                  std::string& password, std::ostream& out, std::ostream& err) {
  // A dry run never writes --new: an existing file there needs no --overwrite.
  CommandSession session(options.root, out, err, {LogPage::kCheck, LogPage::kSplit},
                         options.details, options.overwrite || options.dry_run, false,
                         options.dry_run && !options.overwrite);
  CommandWords words;
  words.command = CommandWords::Command::kSplit;
  words.dry_run = options.dry_run;
  session.progress.SetWords(words);
  Context& context = session.context;
  context.locks.owner = "msu split";
  if (const int refused = LogIn(context, options.server, password, err)) return refused;
  std::string source = AbsolutePath(options.database);
  std::string target = AbsolutePath(options.new_database);
  if (const int refused = CheckPaths(context, source, target, options.list, err)) return refused;

  std::string version;
  std::string refusal;
  switch (split::AcceptSplitSource(context, source, &version, &refusal)) {
    case split::SourceVerdict::kAccepted:
      break;
    case split::SourceVerdict::kUnfinished:
      err << refusal << "\n";
      return kSplitVersion;
    case split::SourceVerdict::kNotAttached:
      err << refusal << "\n";
      return kSplitVersion;
    case split::SourceVerdict::kUnreadable:
      err << split::kVersionUnreadableMessage << "\n";
      return kSplitVersion;
    case split::SourceVerdict::kTooOld:
      return kSplitVersion;
  }
  if (options.list) return ListIncidents(context, source, out, err);

  split::IncidentEntries list;
  std::unique_ptr<split::Split> engine;
  const split::StartOutcome start = split::StartSplit(context, source, list, engine);
  split::SplitOutcome outcome;
  bool ran = false;
  int status = kSplitDone;
  std::vector<long> unknown;
  if (!start.started) {
    err << "msu: the split could not start: " << start.failure << "\n";
    status = kSplitNotStarted;
  } else if (start.incidents < 2) {
    err << "msu: the database holds fewer than 2 incidents; there is nothing to split\n";
    status = kSplitFewIncidents;
  } else {
    for (long id : keep) {
      if (!list.Tick(id)) unknown.push_back(id);
    }
  }
  if (!unknown.empty()) {
    std::string ids;
    for (long id : unknown) ids += (ids.empty() ? "" : ",") + std::to_string(id);
    err << "msu: --keep names no incident of the database: " << ids
        << "; nothing was written. Its incidents are:\n";
    PrintIncidents(list, err);
    status = kSplitNoSuchIncident;
  } else if (status == kSplitDone) {
    split::SplitRun run;
    run.dry_run = options.dry_run;
    outcome = split::RunSplitSequence(context, *engine, source, target, run);
    ran = true;
    for (const std::string& line : split::SplitVerificationLines(outcome.verification)) {
      out << line << "\n";
    }
    if (options.dry_run && outcome.executed) PrintDryRun(list, engine->Figures(), out);
    status = !outcome.executed                                    ? kSplitStopped
             : !options.dry_run && !outcome.verification.Passed() ? kSplitNotVerified
                                                                  : kSplitDone;
  }

  if (engine != nullptr) engine->CloseConnections();
  if (!CleanUpAfterRun(context, err) && status == kSplitDone) status = kStatusNotCleanedUp;

  if (ran) PrintSplitEnd(context, options, outcome, engine->Figures(), target, status, out, err);

  if (!options.json.empty()) {
    SplitJsonInput input;
    input.source = source;
    input.new_database = target;
    input.version = version;
    input.list = &list;
    input.engine = engine.get();
    input.outcome = ran ? &outcome : nullptr;
    input.dry_run = options.dry_run;
    input.exit_status = status;
    if (!SaveJsonFigures(AbsolutePath(options.json), SplitJsonText(input), err) &&
        status == kSplitDone) {
      status = kSplitJsonNotSaved;
    }
  }
  return status;
}

}  // namespace

std::string SplitHelp() {
  return "Usage: msu split --server NAME --db PATH --new PATH --keep ID[,ID...] [--details]\n"
         "                 [--json FILE] [--dry-run] [--overwrite] [--password-file FILE]\n"
         "                 [--root DIR]\n"
         "       msu split --server NAME --db PATH --list [--password-file FILE] [--root DIR]\n"
         "\n"
         "Splits the incidents --keep names out of the database --db (version 4.1 or later)\n"
         "into a new database at --new, attached to the server NAME under its file name: the\n"
         "database is copied, every other incident is removed from the copy with everything\n"
         "that belongs to it, and the result is verified against --db before it is reported.\n"
         "Your database file is only read and stays attached under its own name.\n"
         "\n"
         "  --keep ID[,ID...]     the incidents to keep, by their incidentid (see --list)\n"
         "  --list                only print the incidents of --db: incidentid, then\n"
         "                        incidentnumber and incidentname\n"
         "  --details             also print the detail lines of the log\n"
         "  --json FILE           write the split's figures as JSON: incidents kept and\n"
         "                        removed, the verification, seconds (a dry run: the rows\n"
         "                        of each table)\n"
         "  --dry-run             split the working copy only: lists the incidents that would\n"
         "                        be kept and removed and the rows of each table now and\n"
         "                        after the split; --new is not written (an existing --new\n"
         "                        needs no --overwrite)\n"
         "  --overwrite           accept an existing file at --new and replace it\n"
         "  --password-file FILE  read the Warden password from the first line of FILE;\n"
         "                        otherwise it is asked on the terminal, without echo\n"
         "  --root DIR            folder of the server instances (default: the standard one)\n"
         "\n"
         "Exit status:\n"
         "  0   split (or listed); the verification found nothing\n"
         "  2   usage: bad options, or the password could not be read\n"
         "  3   login refused (server stopped, password incorrect, ...)\n"
         "  4   paths refused (missing or equal databases, existing new database, its\n"
         "      folder missing or not writable, its name taken on the server, not enough\n"
         "      room on a disk for the run)\n"
         "  5   open connections to a database or the working file, or another merge or\n"
         "      split running in the application folder or on the server (nothing changed)\n"
         "  6   version: unreadable, or the database is older than 4.1, or not attached to\n"
         "      the server, or an unfinished transaction beside it\n"
         "  8   the split could not start: the application folder, the working copy or the\n"
         "      incident list failed\n"
         "  10  split, but working files could not be deleted from the application folder\n"
         "  11  interrupted (Ctrl-C, SIGTERM): the split stopped at its next step and\n"
         "      cleaned up; your database stays attached under its own name\n"
         "  12  split stopped (see the log: a full disk, the final copy failed, ...);\n"
         "      nothing was placed at --new. When an incident could not be removed, the\n"
         "      copy is kept, not attached, as NAME.incomplete.mdf beside --new\n"
         "  13  split, but the verification found problems (see the log)\n"
         "  14  the database holds fewer than 2 incidents: there is nothing to split\n"
         "  15  --keep names an incident the database does not have; nothing was written\n"
         "  16  split, but the JSON figures could not be written\n";
}

bool ParseSplitOptions(const std::vector<std::string>& args, SplitCommandOptions* options,
                       std::vector<long>* keep, bool* help, std::string* problem) {
  const OptionTable table{{{"--server", &options->server},
                           {"--db", &options->database},
                           {"--new", &options->new_database},
                           {"--keep", &options->keep},
                           {"--json", &options->json},
                           {"--password-file", &options->password_file},
                           {"--root", &options->root}},
                          {{"--details", &options->details},
                           {"--overwrite", &options->overwrite},
                           {"--dry-run", &options->dry_run},
                           {"--list", &options->list}},
                          {"--server", "--db"}};
  std::map<std::string, bool> given;
  if (!ParseOptions(args, table, help, problem, &given)) return false;
  if (*help) return true;
  if (options->list) {
    for (const char* option : {"--new", "--keep", "--json", "--overwrite", "--dry-run"}) {
      if (given[option]) {
        *problem = std::string("--list only lists the incidents; leave out ") + option;
        return false;
      }
    }
    return true;
  }
  for (const char* option : {"--new", "--keep"}) {
    if (!given[option]) {
      *problem = std::string("missing ") + option;
      return false;
    }
  }
  keep->clear();
  std::string rest = options->keep;
  while (true) {
    const size_t comma = rest.find(',');
    const std::string id = Trim(rest.substr(0, comma));
    char* end = nullptr;
    const long value = std::strtol(id.c_str(), &end, 10);
    if (id.empty() || *end != '\0' || value < 1 || value > 147483647L) {
      *problem = "--keep needs incident IDs (whole numbers from 1, separated by commas)";
      return false;
    }
    keep->push_back(value);
    if (comma == std::string::npos) break;
    rest = rest.substr(comma + 1);
  }
  if (given["--json"]) {
    return CheckOutputOption("--json", options->json, {&options->database, &options->new_database},
                             problem);
  }
  return true;
}

int RunSplitCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  SplitCommandOptions options;
  std::vector<long> keep;
  bool help = false;
  std::string problem;
  if (!ParseSplitOptions(args, &options, &keep, &help, &problem)) {
    err << "msu split: " << problem << "\nTry 'msu split --help'.\n";
    return kStatusUsage;
  }
  if (help) {
    out << SplitHelp();
    return 0;
  }
  return RunWithPassword(options.password_file, "split", err, [&](std::string& password) {
    return RunSplitSteps(options, keep, password, out, err);
  });
}

}  // namespace msu::cli
