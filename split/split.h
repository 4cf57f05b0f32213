// The split engine: one object per split, created anew each time the split selection page is
// entered with Next. Initialize copies the database to split to the working file
// "W_O_R_K_A.tmp", attaches the copy as "W_O_R_K_A" (and the database to split again as it was),
// copies its ini file and lists its incidents; the user ticks the incidents to keep; Execute
// removes every other incident from the copy through the suite's incident-deletion component
// and places the copy at TargetDBPath, attached as NewDatabaseName. The database to split is
// only read.
//
// Every line goes to the split page's log and is always shown (none is a detail line).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "split/incident_list.h"
#include "split/split_verification.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::split {

inline constexpr const char* kFewIncidentsCaption =
    "Error, the database must have 2 or more incidents, press Back.";
inline constexpr const char* kNoneCheckedCaption = "Incidents checked to split: 0";
inline constexpr const char* kSplitDoneLine = "Done. Press Next to finish.";

// How Execute removes the unticked incidents. kSetBased first removes them all in one
// transaction with one statement per rule; when that fails, nothing of it stays and they are
// removed one by one, as kOneByOne always does. Both give the same database and the same lines.
enum class RemovalPath { kSetBased, kOneByOne };

struct PhaseSeconds {
  std::string phase;
  double seconds = 0;
};

// What Initialize and Execute did, in figures. None of it changes a line of the log.
struct SplitFigures {
  int incidents = 0;                        // entries Initialize listed
  std::vector<int64_t> kept;                // ids of the ticked entries, in list order
  std::vector<int64_t> removed;             // ids of the unticked entries that were removed
  std::vector<int64_t> not_removed;         // ids of the unticked entries whose removal failed
  std::vector<std::string> removal_errors;  // why, in the order of not_removed
  bool set_based = false;                   // the removal ran as one set of statements
  std::vector<PhaseSeconds> phases;
  // Where the copy was kept, not attached, when an incident could not be removed (the split
  // then places nothing at TargetDBPath).
  std::string incomplete_database;
  // With DryRun: the rows of each table of the working copy before and after the removal.
  std::vector<TableRowCount> table_rows;
};

inline constexpr const char* kSplitDryRunLine = "Dry run: the resulting database was not written.";

class Split {
 public:
  // `list` is the selection page's list: Initialize fills it, the user ticks it, Execute reads
  // the ticks and marks the kept entries.
  Split(Context& context, IncidentList& list);
  ~Split();  // closes its connections
  Split(const Split&) = delete;
  Split& operator=(const Split&) = delete;

  std::string SourcePath;    // the database to split
  std::string TargetDBPath;  // the new database

  // `database_box` is the text of the page's "Database to Split" box. Detaches the working file
  // and the database to split, deletes "W_O_R_K_A.tmp" and "W_O_R_K_A.ini", copies the database
  // to "W_O_R_K_A.tmp" ("Created a working copy of database: " + SourcePath), attaches the
  // database to split again under the name it had (its file name when it had none) and the
  // copy as "W_O_R_K_A", copies its ini file when there is one ("Created a working copy of ini
  // for database: " + SourcePath), opens a connection to "W_O_R_K_A" and fills the list with
  // one entry per incident (text incidentnumber + ", " + incidentname, tag IncidentTag). With
  // fewer than two incidents the list is switched off and its label shows
  // kFewIncidentsCaption, otherwise kNoneCheckedCaption; Initialize still returns true.
  // A failed copy adds "Error, Creating working copy of database: " (or "... of ini for
  // database: ") and the description and returns false; any other failure returns false
  // without a line. Failure() tells why. The database to split is detached with
  // AfterDetach::kAttachAgain and attached again on every path; when that fails, the server's
  // record of pending attachments keeps it for the next run.
  //
  // Beyond those steps: before anything is detached the working name "W_O_R_K_A" must be free
  // (WorkingNameRefusal; otherwise "Error, " + the refusal and false); the working file goes
  // with the journal files beside it; the copy is attached as a recorded working database
  // (AttachWorkingCopy) and confirmed to be this split's copy (ConfirmWorkingDatabase) before
  // any connection opens to it. Never throws.
  bool Initialize(const std::string& database_box);

  // On the list Initialize filled: clears the log, adds "Spliting process initiated ...", and
  // for each entry in order marks a ticked one "Split" in bold, or adds "Deleting unchecked
  // incident: " + text and removes the incident (key: its id + 2000000000), adding "Error
  // deleting incident: " + text when that fails (the incident stays). Then switches the list
  // off, adds "Completed the split process.", closes its connections, detaches and deletes
  // what is at TargetDBPath, sets NewDatabaseName from it and copies "W_O_R_K_A.tmp" there,
  // attached as NewDatabaseName ("Done. Press Next to finish."). True when the new database
  // was placed and attached. Any other failure ends it at once with "Error, copying and
  // compacting database: " + the description and false; incidents removed before stay
  // removed from the working copy. A stop the user asked for (Context::RequestStop) ends it
  // so before the next incident or before the final copy, with kStoppedByUser as the
  // description.
  //
  // Beyond those steps: "W_O_R_K_A" is confirmed to be this split's copy before the first
  // deletion; each "Error deleting incident: " line is followed by "- because: " + the cause; a
  // full disk ends the split at once (Context::Halt), nothing placed; a file at TargetDBPath is
  // replaced by the finished copy, never deleted before it (server/attachment.h); and when an
  // incident could not be removed the copy is not placed at TargetDBPath but kept at
  // IncompleteNameOf(TargetDBPath), not attached, with two lines saying so, and false is
  // returned. Never throws.
  bool Execute();

  // Why the last Initialize or Execute returned false; empty after a success.
  const std::string& Failure() const { return failure_; }

  // How Execute removes the incidents; set before it runs.
  RemovalPath Removal = RemovalPath::kSetBased;
  // Execute removes the unticked incidents from the working copy only, counting the rows of
  // each table of the split (SplitTables) before and after (Figures().table_rows), and then
  // ends with kSplitDryRunLine instead of placing anything at TargetDBPath; true when the
  // removal ran. Set before it runs.
  bool DryRun = false;

  const SplitFigures& Figures() const { return figures_; }

  // Closes the connection Initialize opened (before the working copy is detached).
  void CloseConnections();

 private:
  void ListIncidents();
  void RemoveIncidents(data::Connection& connection);
  // Keeps the working copy, which still holds incidents that could not be removed, at
  // IncompleteNameOf(TargetDBPath) without attaching it, and says so; returns false.
  bool PlaceIncomplete();
  void AttachSourceAgain();

  Context& context_;
  IncidentList& list_;
  std::string source_name_;  // the name the database to split had before Initialize
  bool source_detached_ = false;
  std::unique_ptr<data::Connection> environment_;
  std::string failure_;
  SplitFigures figures_;
};

// Fills `list` with one entry per row of the table Incidents on `connection`, in the order the
// server returns them: text incidentnumber + ", " + incidentname, tag IncidentTag(incidentid).
// Returns the number of entries. Throws data::DataError when the table cannot be read.
int ReadIncidents(data::Connection& connection, IncidentList& list);

// The key the incident-deletion component takes for an entry's tag: the id + 2000000000.
// Throws NumberedError kErrOverflow ("Overflow") when that passes the 32-bit range.
int32_t IncidentKeyOfTag(const std::string& tag);

}  // namespace msu::split
