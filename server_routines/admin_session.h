// One administration connection for the length of one routine call, opened with the login's
// server settings. Administration connections never outlive the routine that opened them:
// the destructor disconnects on every path out, error paths included.
#pragma once

#include <memory>

#include "core/context.h"
#include "data/admin.h"

namespace msu::server_routines {

class AdminSession {
 public:
  // Connects to `ServerName` as "VESTRA" with `ServerPassword`. Throws what the backend's
  // Connect throws (AdminError with the server's number).
  explicit AdminSession(Context& context);
  // Disconnects if the routine has not; a failure to disconnect is ignored here because the
  // routine is already leaving.
  ~AdminSession();
  AdminSession(const AdminSession&) = delete;
  AdminSession& operator=(const AdminSession&) = delete;

  data::AdminConnection* operator->() { return connection_.get(); }
  data::AdminConnection& connection() { return *connection_; }

  // The routine's own, orderly disconnect. Throws what the backend throws; the connection
  // counts as ended either way.
  void Disconnect();

 private:
  std::unique_ptr<data::AdminConnection> connection_;
};

}  // namespace msu::server_routines
