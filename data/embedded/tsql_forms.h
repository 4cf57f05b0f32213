// The translation of the statement forms, one routine each, shared by the files of the
// translator: the rewrites every statement gets (tsql_translator.cpp), the data statements
// (tsql_dml.cpp) and the definitions (tsql_ddl.cpp). Internal to the embedded server: its
// interface is tsql_translator.h. Each routine refuses what it does not know with Refuse.
#pragma once

#include <string_view>

#include "data/embedded/tsql_tokenizer.h"
#include "data/embedded/tsql_translator.h"

namespace msu::embedded::tsql {

// Rewrites that apply to every statement: schema prefixes, functions, TOP, concatenation of
// literals.
Tokens RewriteCommon(const Tokens& t, std::string_view statement);

// UPDATE t SET ... [FROM ...] [WHERE ...], with its parts for the key check of the server.
Translation TranslateUpdate(const Tokens& t, std::string_view statement);
// DELETE [FROM] t [WHERE ...].
Translation TranslateDelete(Tokens t, std::string_view statement);
// EXEC of sp_rename, sp_pkeys or a stored procedure whose name is at `name_at`.
Translation TranslateExec(const Tokens& t, size_t name_at, std::string_view statement);

// CREATE TABLE t (...).
Translation TranslateCreateTable(const Tokens& t, std::string_view statement);
// ALTER TABLE t ADD / DROP COLUMN / DROP CONSTRAINT.
Translation TranslateAlterTable(const Tokens& t, std::string_view statement);

}  // namespace msu::embedded::tsql
