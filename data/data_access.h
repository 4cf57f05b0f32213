// The data-access layer: connections, recordsets and commands over a database of a server.
// Every read and write of table data goes through it. Statements are T-SQL as the merge and
// split routines write them; a backend runs them with the suite server's meaning or refuses
// them with an error.
//
// Errors: a failing call throws DataError with a number of the layer (core/error_numbers.h)
// and a description (the callers' own
// handlers turn it into progress lines). The connection also keeps the errors of its last
// failed call in Errors().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#include "core/numbered_error.h"

#include "data/value.h"

namespace msu::data {

// Numeric type codes of fields, as the callers test them.
enum TypeCode : int {
  kTypeEmpty = 0,
  kTypeSmallInt = 2,        // smallint
  kTypeInteger = 3,         // int
  kTypeSingle = 4,          // single-precision float
  kTypeDouble = 5,          // float, real
  kTypeCurrency = 6,        // money, smallmoney
  kTypeDate = 7,            // OLE date
  kTypeBoolean = 11,        // bit
  kTypeTinyInt = 17,        // tinyint
  kTypeBigInt = 20,         // bigint
  kTypeGuid = 72,           // uniqueidentifier
  kTypeBinary = 128,        // binary(n)
  kTypeChar = 129,          // char(n)
  kTypeWChar = 130,         // nchar(n)
  kTypeNumeric = 131,       // decimal, numeric
  kTypeDBDate = 133,        // date
  kTypeDBTime = 134,        // time
  kTypeDBTimeStamp = 135,   // datetime, smalldatetime, datetime2
  kTypeVarChar = 200,       // varchar(n)
  kTypeLongVarChar = 201,   // text, varchar(max)
  kTypeVarWChar = 202,      // nvarchar(n)
  kTypeLongVarWChar = 203,  // ntext, nvarchar(max)
  kTypeVarBinary = 204,     // varbinary(n)
  kTypeLongVarBinary = 205  // image, varbinary(max)
};

// One entry of a connection's error collection.
struct ErrorEntry {
  long number = 0;
  std::string description;
};

class DataError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

// The value of the connection property "Mode" that opens a connection only for reading.
inline constexpr long kModeRead = 1;

// The three cursor and lock choices of a recordset.
enum class CursorChoice {
  kForward,     // default cursor, default lock: read forward once
  kOptimistic,  // default cursor, optimistic lock: rows are changed or added through it
  kStatic,      // static cursor, read-only: the row count is known
};

// Name, type code and defined size of one field of a recordset.
struct FieldInfo {
  std::string name;
  int type = kTypeEmpty;
  long defined_size = 0;
};

class Recordset {
 public:
  virtual ~Recordset() = default;

  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;

  // End of data / start of data: true when there is no current row.
  virtual bool IsEOF() const = 0;
  virtual bool IsBOF() const = 0;
  virtual void MoveNext() = 0;
  virtual void MoveFirst() = 0;
  // Number of rows (rows passing the filter, when one is set); -1 when a forward cursor
  // cannot tell.
  virtual long RecordCount() const = 0;

  virtual int FieldCount() const = 0;
  // Field by position, from 0.
  virtual const FieldInfo& Field(int index) const = 0;
  // Position of the field of that name, without regard to case; -1 when there is none.
  virtual int FieldIndex(std::string_view name) const = 0;

  // Value of a field of the current row. Throws kErrNoCurrentRow at EOF/BOF and kErrNotFound
  // for an unknown field.
  virtual const Value& Get(int index) const = 0;
  const Value& Get(std::string_view name) const { return Get(RequireField(name)); }

  // Assigns a field of the current row (or of the new row after AddNew); written by Update.
  virtual void Set(int index, Value value) = 0;
  void Set(std::string_view name, Value value) { Set(RequireField(name), std::move(value)); }

  // Starts a new row; Update writes it, and afterwards the row holds the values the database
  // gave it (a key assigned by the server included).
  virtual void AddNew() = 0;
  // Writes the changes of the current row.
  virtual void Update() = 0;
  // Writes every pending change.
  virtual void UpdateBatch() = 0;

  // Restricts the rows to those matching a where-clause expression of code fields, such as
  // [KindCode] = 'ENG' AND [Seq] = 3, compared without regard to case like the server does.
  // An empty expression removes the filter. The cursor moves to the first matching row.
  virtual void SetFilter(const std::string& expression) = 0;

 protected:
  int RequireField(std::string_view name) const {
    int index = FieldIndex(name);
    if (index < 0) {
      throw DataError(kErrNotFound,
                      "Item cannot be found in the collection corresponding to "
                      "the requested name or ordinal: " +
                          std::string(name));
    }
    return index;
  }
};

// What a query selects, in brief: the number of rows and fields, and the sum of a 64-bit hash
// of each row's values (their types and contents), which does not depend on the order the
// rows come in. Equal digests from one backend mean, but for a chance of 2^-64, equal rows.
struct RowDigest {
  int64_t rows = 0;
  int fields = 0;
  uint64_t sum = 0;
  bool operator==(const RowDigest&) const = default;
};

// How a copy changes one integer column of the rows it copies (Connection::CopyRowsFrom):
// either every value but 0, -1 and NULL gets `offset` added (0 and -1 are markers, not keys),
// or, with `new_keys`, a value found among its old keys becomes the new key it maps to and any
// other value stays. Several changes of one column apply in the order given.
struct KeyChange {
  std::string column;
  int64_t offset = 0;
  // Old key -> new key, sorted by old key; shared, so that many child tables of one parent use
  // one map.
  std::shared_ptr<const std::vector<std::pair<int64_t, int64_t>>> new_keys;

  // The value `value` becomes (NULL stays NULL).
  std::optional<int64_t> Apply(std::optional<int64_t> value) const;
};

class Connection {
 public:
  virtual ~Connection() = default;

  virtual void SetConnectionString(const std::string& connection_string) = 0;
  virtual const std::string& ConnectionString() const = 0;
  // Connection properties such as "PROMPT" (4: never prompt) and "Mode" (kModeRead: open
  // only for reading). Unknown names are kept.
  virtual void SetProperty(const std::string& name, long value) = 0;

  // Opens the connection; user name and password may come from the connection string.
  virtual void Open(const std::string& user = "", const std::string& password = "") = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Seconds a statement may run; 0 is no limit.
  virtual void SetCommandTimeout(int seconds) = 0;
  virtual int CommandTimeout() const = 0;

  // Called about every 50 milliseconds while a statement of this connection runs, where the
  // backend can: a front end stays responsive through long statements. When it returns true,
  // the statement under way is interrupted and fails with kErrUserInterrupt (a stop the user
  // asked for), undoing what it did. A backend that cannot ignores it.
  virtual void SetHeartbeat(std::function<bool()> /*beat*/) {}

  // Runs a statement. `rows_affected` receives the number of rows changed (-1 for a query).
  // For a query the result is a forward-only, read-only recordset; otherwise it is closed.
  virtual std::unique_ptr<Recordset> Execute(const std::string& statement,
                                             long* rows_affected = nullptr) = 0;

  // Opens a recordset on a statement with one of the three cursor and lock choices.
  virtual std::unique_ptr<Recordset> OpenRecordset(const std::string& statement,
                                                   CursorChoice choice) = 0;

  // Errors of the last failed call, oldest first; cleared by the next call that succeeds.
  virtual const std::vector<ErrorEntry>& Errors() const = 0;

  // A transaction: BeginTrans starts one (returning its nesting level, 1) and every statement
  // after it counts only once CommitTrans has run; RollbackTrans undoes all of them. Closing
  // the connection, or losing it, in between undoes them too. One transaction at a time: a
  // BeginTrans inside one, and a CommitTrans or RollbackTrans outside one, throw DataError.
  // A backend that has no transactions throws DataError kErrStatement from all three.
  // The digest of the rows a query ("SELECT ...") selects, computed where the rows are,
  // without handing each row over. Nothing when this backend cannot; the caller then reads the
  // rows. Digests compare only with digests of the same backend. Throws DataError when the
  // query fails.
  virtual std::optional<RowDigest> DigestRows(const std::string& /*statement*/) {
    return std::nullopt;
  }

  virtual long BeginTrans() { throw NoTransactions(); }
  virtual void CommitTrans() { throw NoTransactions(); }
  virtual void RollbackTrans() { throw NoTransactions(); }

  // Set-based copy into this connection's database of the rows that `source_statement`
  // ("SELECT * FROM t" or "SELECT * FROM t WHERE ...") selects on `source`, a connection to
  // another database of the same server, into the table `table` of this database. `fields`
  // are the fields of that statement's result, as `source` reports them; each is written into
  // the column of the same name, with the value the generic row copy would write for its type
  // code (one INSERT per row with the value's literal: see merge/row_copy.h).
  //
  // Returns the number of rows copied, or nothing when this backend cannot copy between these
  // two connections (a value it cannot write exactly as the row copy would, say); nothing has
  // changed then. Throws DataError when the copy failed; everything it wrote is undone (the
  // copy runs inside a savepoint), so the caller can copy the rows one by one instead.
  virtual std::optional<long> CopyRowsFrom(Connection& /*source*/,
                                           const std::string& /*source_statement*/,
                                           const std::string& /*table*/,
                                           const std::vector<FieldInfo>& /*fields*/) {
    return std::nullopt;
  }

  // The same copy with `changes` made to the values of their columns on the way (KeyChange),
  // so that the source's rows keep their keys and the copies get new ones. Nothing, with
  // nothing changed, when this backend cannot (CanCopyRowsFrom). Throws as CopyRowsFrom does.
  virtual std::optional<long> CopyRowsFrom(Connection& /*source*/,
                                           const std::string& /*source_statement*/,
                                           const std::string& /*table*/,
                                           const std::vector<FieldInfo>& /*fields*/,
                                           const std::vector<KeyChange>& /*changes*/) {
    return std::nullopt;
  }

  // True when CopyRowsFrom can copy from `source` into this connection's database at all (two
  // open connections of the same server of this backend).
  virtual bool CanCopyRowsFrom(Connection& /*source*/) { return false; }

  // A mark of the rows `table` holds now, so that the rows added to it later can be told from
  // them: RowsAddedSince gives the condition that selects those, for the table under the alias
  // `alias` in a query. Nothing when this backend cannot tell (a caller then reads every row).
  // Throws DataError when the table cannot be read.
  virtual std::optional<int64_t> RowMark(const std::string& /*table*/) { return std::nullopt; }
  virtual std::string RowsAddedSince(const std::string& /*alias*/, int64_t /*mark*/) { return {}; }

 private:
  static DataError NoTransactions() {
    return DataError(kErrStatement, "This data connection does not support transactions.");
  }
};

// The first column of the first row `statement` gives, read as an integer: a count, a largest
// key. `when_no_row` when the statement gives no row (or no recordset). Throws what Execute
// throws.
int64_t QueryInteger(Connection& connection, const std::string& statement, int64_t when_no_row = 0);

// A statement bound to a connection.
class Command {
 public:
  void SetActiveConnection(Connection* connection) { connection_ = connection; }
  void SetCommandText(std::string text) { text_ = std::move(text); }
  const std::string& CommandText() const { return text_; }
  std::unique_ptr<Recordset> Execute(long* rows_affected = nullptr);

 private:
  Connection* connection_ = nullptr;
  std::string text_;
};

}  // namespace msu::data
