#include "data/embedded/row_digest.h"

#include <sqlite3.h>

#include <cstdint>

#include "data/row_digest_builder.h"

namespace msu::embedded {

data::RowDigest DigestOf(SqliteDatabase& db, const Statement& stmt, const std::string& statement) {
  sqlite3_stmt* s = stmt.get();
  const int fields = sqlite3_column_count(s);
  data::RowDigestBuilder digest(fields);
  while (db.Step(stmt, statement) == SQLITE_ROW) {
    digest.BeginRow();
    for (int c = 0; c < fields; ++c) {
      const auto type = static_cast<unsigned char>(sqlite3_column_type(s, c));
      digest.Feed(&type, 1);
      if (type == SQLITE_INTEGER) {
        const sqlite3_int64 value = sqlite3_column_int64(s, c);
        digest.Feed(&value, sizeof value);
      } else if (type == SQLITE_FLOAT) {
        const double value = sqlite3_column_double(s, c);
        digest.Feed(&value, sizeof value);
      } else if (type != SQLITE_NULL) {
        const void* bytes = type == SQLITE_TEXT
                                ? static_cast<const void*>(sqlite3_column_text(s, c))
                                : sqlite3_column_blob(s, c);
        const auto size = static_cast<uint64_t>(sqlite3_column_bytes(s, c));
        digest.Feed(&size, sizeof size);
        if (bytes != nullptr) digest.Feed(bytes, size);
      }
    }
    digest.EndRow();
  }
  return digest.digest();
}

}  // namespace msu::embedded
