#include "data/admin.h"

#include "core/text.h"

namespace msu::data {

std::string ResultTable::GetColumnString(long row, long column) const {
  if (row < 1 || row > Rows() || column < 1 || column > static_cast<long>(rows_[row - 1].size())) {
    throw AdminError(kErrAdminOperation, "Row " + std::to_string(row) + ", column " +
                                             std::to_string(column) +
                                             " is outside the result table.");
  }
  return rows_[row - 1][column - 1];
}

long ResultTable::GetColumnLong(long row, long column) const {
  return static_cast<long>(LeadingNumber(GetColumnString(row, column)));
}

std::string AdminConnection::DatabaseNameProblem(const std::string& name) {
  if (name.empty() || name.size() > 128) {
    return "a database name must be 1 to 128 characters long";
  }
  for (unsigned char c : name) {
    if (c < 32) return "a database name cannot hold control characters";
  }
  return {};
}

}  // namespace msu::data
