#include "data/machine_servers.h"

namespace msu::data {

MachineServers::MachineServers(const std::string& instance_root)
    : embedded_(instance_root), backend_({&embedded_, &sql_server_}) {}

}  // namespace msu::data
