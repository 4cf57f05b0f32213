// Turns one T-SQL statement, as the utility and administrators write them, into what the
// embedded server runs on SQLite. A statement is either translated to SQLite text with the same
// meaning or refused; it never runs with another meaning.
//
// Known forms:
//   SELECT ... (and WITH ... SELECT)   TOP n / TOP (n) -> LIMIT n; ISNULL( -> IFNULL(;
//                                      LEN(x) -> LENGTH(RTRIM(x)); SUBSTRING( -> SUBSTR(;
//                                      GETDATE() -> the local date-time text
//                                      "YYYY-MM-DD HH:MM:SS"; GETUTCDATE() likewise in UTC;
//                                      CAST(x AS <number or text type>)
//   INSERT [INTO] t ...                "INTO" is supplied when missing
//   UPDATE t SET [t.]c = e, ... [FROM other ...] [WHERE ...]
//                                      the qualifier of a SET target is dropped; FROM must not
//                                      name the updated table again
//   DELETE [FROM] t [WHERE ...]        "FROM" is supplied when missing
//   TRUNCATE TABLE t                   -> DELETE FROM t
//   CREATE TABLE t (...)               declared types are kept as written ("varchar(max)"
//                                      included), text columns that name no collation get
//                                      COLLATE NOCASE, CLUSTERED/NONCLUSTERED and "ON [PRIMARY]"
//                                      are dropped; "int IDENTITY(s,1) PRIMARY KEY" (or an
//                                      IDENTITY column named by the table's primary key)
//                                      becomes "INTEGER PRIMARY KEY AUTOINCREMENT", seeded at s
//   CREATE [UNIQUE] INDEX, CREATE VIEW, DROP TABLE/INDEX/VIEW ("DROP INDEX t.i" too)
//   ALTER TABLE t ADD c type ...       one column, translated like a CREATE TABLE column
//   ALTER TABLE t DROP COLUMN c
//   ALTER TABLE t DROP CONSTRAINT name the primary key reported by sp_pkeys (the table is
//                                      rebuilt without it; the rowid stays, and an identity
//                                      key becomes a plain integer column with its values)
//   EXEC sp_rename 'T.old', 'new', 'COLUMN'  -> ALTER TABLE T RENAME COLUMN old TO new
//   EXEC sp_rename 'old', 'new'              -> ALTER TABLE old RENAME TO new
//   EXEC sp_pkeys t                    a result naming the primary-key columns of t
//   name [args] / EXEC name [args]     the stored procedure of that name in the database's
//                                      table orvane_procedures(name, body); arguments are
//                                      literals, bound to ?1, ?2 ... of its statements
// A trailing ";" is dropped, "dbo." prefixes are dropped, N'text' reads as 'text', and 'a' + 'b'
// between two literals becomes 'a' || 'b'.
//
// Refused (DataError kErrStatement, "The embedded server does not support ...: <statement>"):
// DECLARE, SET, @variables, GO, BEGIN/COMMIT/ROLLBACK/SAVE TRAN, IF, WHILE, PRINT, USE, MERGE,
// OUTPUT, table hints (NOLOCK, WITH (...)), SELECT ... INTO, TOP ... PERCENT / WITH TIES,
// DELETE/UPDATE TOP, CONVERT(), CHARINDEX(), DATEADD() and the other date functions, NEWID(),
// FORMAT(), LOG(), CAST to date, bit, money or GUID types, LIKE patterns with [ ] classes,
// "+" between a text literal and anything but another text literal, binary literals 0x...,
// several statements in one text, and any other statement or ALTER TABLE form.
//
// The translation lives in tsql_tokenizer.cpp (tokens), tsql_dml.cpp (data statements),
// tsql_ddl.cpp (definitions) and tsql_translator.cpp (the rewrites every statement gets and the
// choice of form), which share the internal headers tsql_tokenizer.h and tsql_forms.h.
//
// Known gap: "+" between two columns is passed on as an addition, since the translator does
// not know column types; text columns joined with "+" add up as numbers instead of joining.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/value.h"

namespace msu::embedded {

struct Translation {
  enum class Kind {
    kStatement,       // `sql` runs as it is
    kUpdate,          // an UPDATE: `sql` runs as it is, unless it sets a key (see the parts)
    kProcedure,       // stored procedure `name` with `arguments`
    kPrimaryKeys,     // sp_pkeys on `table_name`
    kDropConstraint,  // ALTER TABLE `table_name` DROP CONSTRAINT `name`
  };
  Kind kind = Kind::kStatement;
  std::string sql;
  // Statements to run after `sql` in the same savepoint (the seed of an identity column).
  std::vector<std::string> follow_up;

  // kUpdate: the parts of the statement, in SQLite text. `table` is the table as written,
  // `table_name` its bare name, `targets` the bare column names set, `values` their
  // expressions, `where` the condition (empty when there is none); `has_from` when a FROM
  // clause joins other tables.
  std::string table;
  std::string table_name;
  std::vector<std::string> targets;
  std::vector<std::string> values;
  std::string where;
  bool has_from = false;

  // kProcedure, kDropConstraint.
  std::string name;
  std::vector<data::Value> arguments;
};

// Translates one statement. Throws data::DataError(kErrStatement) for a form the embedded
// server does not support, naming the form and quoting the statement.
Translation TranslateStatement(std::string_view statement);

// Translates one column definition of CREATE TABLE or ALTER TABLE ADD (no identity allowed
// there); used for the table rebuild of DROP CONSTRAINT too.
std::string TranslateColumnDefinition(std::string_view definition, std::string_view statement);

// A SELECT over one table, as an updatable recordset needs it.
struct SingleTableSelect {
  std::string select_list;  // the columns selected, as written
  std::string table;        // the table as written
  std::string table_name;   // its bare name
  std::string rest;         // WHERE and ORDER BY clauses, or empty
};

// Splits translated SQLite text "SELECT list FROM table [WHERE ...] [ORDER BY ...]". Returns
// false for anything else (joins, several tables, DISTINCT, GROUP BY, unions, LIMIT).
bool SplitSingleTableSelect(std::string_view sql, SingleTableSelect* out);

// The CREATE TABLE text `create_sql` (as SQLite stores it) for a table named `new_name` without
// its primary key (the key's columns stay, as plain columns).
std::string CreateTableWithoutPrimaryKey(std::string_view create_sql, std::string_view new_name);

// The name of the primary-key constraint in `create_sql` ("CONSTRAINT [PK_T] PRIMARY KEY"),
// or empty when the key has no name.
std::string PrimaryKeyConstraintName(std::string_view create_sql);

// `name` as a double-quoted SQLite identifier.
std::string QuoteIdentifier(std::string_view name);

}  // namespace msu::embedded
