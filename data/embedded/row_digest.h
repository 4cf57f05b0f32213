// A digest of the rows a query returns, hashed as SQLite holds the values: two queries whose
// digests agree return the same rows (as a multiset: order does not matter) with overwhelming
// likelihood. Digests of this server compare with digests of this server only.
#pragma once

#include <string>

#include "data/data_access.h"
#include "data/embedded/sqlite_database.h"

namespace msu::embedded {

// Steps `stmt` (prepared from `statement`, named in errors) to its end and digests its rows.
data::RowDigest DigestOf(SqliteDatabase& db, const Statement& stmt, const std::string& statement);

}  // namespace msu::embedded
