// Reads the processing instructions of a merge, the instruction file chosen by the version
// rules, into the instruction model.
//
// The file is plain text, one instruction per line (CR LF, LF or CR ends a line). A line is
// recognised by a key word in its first column, compared without regard to case, followed by
// one separator character (written "=") and the value, trimmed:
//
//   ; comment                          skipped, as are empty lines
//   Version=3                          mergeVersion (the text from the 9th character on)
//   [CoreTables] / [LookUpTables]      section headers, no effect
//   ParentTable=Incidents.AUTOINCREMENT=IncidentID
//   ChildTable=Resources.IncidentID    child of the last ParentTable line
//   LUTable=KindCodes.KindCode         lookup table and its code fields ("+" between fields)
//   RefTable=Quals.KindCode            refers to the last LUTable line, its code fields
//   [INCIDENTDELETE]                   reading ends here
//
// Anything else is ignored.
#pragma once

#include <string>

#include "instructions/instruction_model.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::instructions {

// What the loader fills; the merge engine owns one per merge.
struct InstructionSet {
  instructions::Tables Tables;    // core tables, keyed by table name
  instructions::LookUps LookUps;  // lookup tables, without keys
  std::string mergeVersion;       // merge version of the instruction file
};

// Loads context.versions.InstructionFileName from the application folder into `set`, adding to
// what it holds. Writes its lines to the check page's log:
//   "Loading processing instructions..." first;
//   "Unable to find instructions" when there is no such file (nothing is loaded);
//   detail lines "- Adding parent table/key object: " and "- Adding child table/key object: ",
//   lines "- Adding LU table/key object(s): " and "- Adding ref table/key object(s): ";
//   "Error, adding parent table/key: ", "Error, adding child table/key: ",
//   "Error, adding Lookup table/key: ", "Error, adding ref table/key: " for a line that could
//   not be stored, quoting the table and key as split from the line and the error's
//   description;
//   "Error, reading processing instructions " and "Error is " + number + " - " + description
//   when the file cannot be opened or read, or is not a regular file (a pipe is never opened).
// A failed parent, lookup or referring-table line is skipped and the loading goes on; a failed
// child line ends it. The loading also stops after any line that left context.ErrorFlag set
// (it is not cleared here: the wizard clears it).
// Returns true when every instruction line was stored, false otherwise. Never throws.
bool LoadInstructions(Context& context, InstructionSet& set);

}  // namespace msu::instructions
