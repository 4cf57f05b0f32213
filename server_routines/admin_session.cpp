#include "server_routines/admin_session.h"

#include "data/backend.h"

namespace msu::server_routines {

AdminSession::AdminSession(Context& context)
    : connection_(context.backend().Connect(context.server.ServerName, kLoginName,
                                            context.server.ServerPassword)) {
  if (!connection_) {
    throw data::AdminError(data::kErrAdminOperation, "The server gave no connection.");
  }
}

AdminSession::~AdminSession() {
  if (!connection_) return;
  try {
    connection_->Disconnect();
  } catch (...) {
  }
}

void AdminSession::Disconnect() {
  std::unique_ptr<data::AdminConnection> connection = std::move(connection_);
  if (connection) connection->Disconnect();
}

}  // namespace msu::server_routines
