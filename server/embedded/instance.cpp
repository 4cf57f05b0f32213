// Placeholder until the instance catalog lands: every instance is reported missing.
#include "server/embedded/instance.h"

#include "server/admin.h"

namespace msu::embedded {

std::unique_ptr<Instance> Instance::Open(const std::string& /*root*/, const std::string& name) {
  throw data::AdminError(data::kErrAdminOperation, "The server " + name + " does not exist.");
}

}  // namespace msu::embedded
