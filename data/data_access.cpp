#include "data/data_access.h"

#include <algorithm>

namespace msu::data {

std::optional<int64_t> KeyChange::Apply(std::optional<int64_t> value) const {
  if (!value) return value;
  if (new_keys == nullptr) {
    return *value == 0 || *value == -1 ? *value : *value + offset;
  }
  // The map is sorted by old key.
  const auto found = std::lower_bound(
      new_keys->begin(), new_keys->end(), *value,
      [](const std::pair<int64_t, int64_t>& entry, int64_t key) { return entry.first < key; });
  return found != new_keys->end() && found->first == *value ? found->second : *value;
}

std::unique_ptr<Recordset> Command::Execute(long* rows_affected) {
  if (connection_ == nullptr || !connection_->IsOpen()) {
    throw DataError(kErrClosed, "Operation is not allowed when the object is closed.");
  }
  return connection_->Execute(text_, rows_affected);
}

int64_t QueryInteger(Connection& connection, const std::string& statement, int64_t when_no_row) {
  std::unique_ptr<Recordset> rows = connection.Execute(statement);
  const int64_t value = rows->IsOpen() && !rows->IsEOF() ? rows->Get(0).AsInteger() : when_no_row;
  if (rows->IsOpen()) rows->Close();
  return value;
}

}  // namespace msu::data
