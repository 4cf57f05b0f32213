#include "data/data_access.h"

namespace msu::data {

std::unique_ptr<Recordset> Command::Execute(long* rows_affected) {
  if (connection_ == nullptr || !connection_->IsOpen()) {
    throw DataError(kErrClosed, "Operation is not allowed when the object is closed.");
  }
  return connection_->Execute(text_, rows_affected);
}

}  // namespace msu::data
