#include "cli/server_repair.h"

#include <ostream>

#include "core/run_lock.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "server_routines/pending_attachments.h"

namespace msu::cli {

namespace {

// The instances that have entries, each with the process of a run that holds it (0 when
// none does; then `lock` is taken for the caller).
PendingOnInstance Look(const std::string& root, const std::string& name,
                       std::unique_ptr<RunLock>* lock) {
  std::unique_ptr<embedded::Instance> instance = embedded::Instance::Open(root, name);
  PendingOnInstance found{instance->Name(), instance->PendingAttachments(), 0,
                          instance->IsRunning()};
  if (!found.entries.empty()) {
    std::unique_ptr<RunLock> taken = RunLock::TryTake(instance->RunLockFile(), &found.holder);
    if (lock != nullptr) *lock = std::move(taken);
  }
  return found;
}

}  // namespace

void RepairInstances(const std::string& root, std::ostream& err) {
  for (const std::string& name : embedded::Instance::List(root)) {
    try {
      std::unique_ptr<RunLock> lock;
      const PendingOnInstance pending = Look(root, name, &lock);
      if (pending.entries.empty() || !lock || !pending.running) continue;
      embedded::EmbeddedAdminConnection connection(embedded::Instance::Open(root, name));
      for (const server_routines::RepairLine& line :
           server_routines::AttachPendingAgain(connection)) {
        err << "msu-server: " << line.text << "\n";
      }
    } catch (const std::exception&) {
      // The command that follows meets the same trouble and says so.
    }
  }
}

std::vector<PendingOnInstance> PendingOnInstances(const std::string& root) {
  std::vector<PendingOnInstance> all;
  for (const std::string& name : embedded::Instance::List(root)) {
    try {
      std::unique_ptr<RunLock> lock;
      PendingOnInstance pending = Look(root, name, &lock);
      if (!pending.entries.empty()) all.push_back(std::move(pending));
    } catch (const std::exception&) {
    }
  }
  return all;
}

}  // namespace msu::cli
