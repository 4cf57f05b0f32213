// The servers a program of this machine works with: the embedded instances first, then the SQL
// Servers configured on the machine; each server name chooses its own (CompositeBackend). The
// wizard and msu set up their servers here, so that both see the same list in the same order.
#pragma once

#include <string>

#include "data/backend.h"
#include "data/composite_backend.h"
#include "data/embedded/backend.h"
#include "data/sqlserver/backend.h"

namespace msu::data {

class MachineServers {
 public:
  // `instance_root` is the folder of the embedded instances; empty means the default one.
  explicit MachineServers(const std::string& instance_root = std::string());
  MachineServers(const MachineServers&) = delete;
  MachineServers& operator=(const MachineServers&) = delete;

  Backend& backend() { return backend_; }

 private:
  embedded::EmbeddedBackend embedded_;
  sqlserver::SqlServerBackend sql_server_;
  CompositeBackend backend_;  // over the two above: declared after them
};

}  // namespace msu::data
