// msu-server's part in bringing back the databases that runs of the utility left detached
// (server/pending_attachments.h): every command first attaches again what the instances'
// records list, and `status` shows what is still pending and why.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "data/admin.h"

namespace msu::cli {

// What waits on one instance.
struct PendingOnInstance {
  std::string server;
  std::vector<data::PendingAttachment> entries;
  long holder = 0;       // the process of a run that holds the instance (its entries are its own)
  bool running = false;  // the instance runs (a stopped one cannot attach)
};

// Attaches again the pending databases of each instance under `root` that has some, runs, and
// is held by no run (its run lock is free; it is held while attaching). One line per database
// on `err`, each "msu-server: " + the repair's line. Failures to look at an instance are
// ignored: the command that follows reports them in its own words.
void RepairInstances(const std::string& root, std::ostream& err);

// The entries still pending on each instance under `root` that has some, in name order.
std::vector<PendingOnInstance> PendingOnInstances(const std::string& root);

}  // namespace msu::cli
