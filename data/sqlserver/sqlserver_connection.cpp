#include "data/sqlserver/sqlserver_connection.h"

#include <cmath>
#include <optional>
#include <utility>

#include "core/text.h"
#include "data/error_guard.h"
#include "data/sqlserver/odbc_session.h"
#include "data/sqlserver/sqlserver_recordset.h"

namespace msu::sqlserver {

namespace {

constexpr int kDefaultLoginTimeout = 15;

[[noreturn]] void Closed() {
  throw data::DataError(data::kErrClosed, "Operation is not allowed when the object is closed.");
}

// "SELECT * FROM t [WHERE ...]" split into the table and what follows it; nothing for any other
// form.
std::optional<std::pair<std::string, std::string>> StarSelect(const std::string& statement) {
  const std::string text = Trim(statement);
  const std::string prefix = "SELECT * FROM ";
  if (text.size() <= prefix.size() || !EqualsNoCase(text.substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  size_t at = prefix.size();
  while (at < text.size() && text[at] == ' ') ++at;
  size_t end = at;
  if (end < text.size() && text[end] == '[') {
    end = text.find(']', end);
    if (end == std::string::npos) return std::nullopt;
    ++end;
  } else {
    while (end < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
      ++end;
    }
  }
  const std::string table = text.substr(at, end - at);
  const std::string rest = Trim(text.substr(end));
  if (table.empty() || (!rest.empty() && !EqualsNoCase(rest.substr(0, 6), "WHERE "))) {
    return std::nullopt;
  }
  if (rest.find(';') != std::string::npos) return std::nullopt;
  return std::make_pair(table, rest);
}

class SqlServerConnection final : public data::Connection {
 public:
  SqlServerConnection(std::shared_ptr<OdbcApi> api, std::shared_ptr<LoginStore> logins)
      : api_(std::move(api)),
        logins_(std::move(logins)),
        session_(std::make_shared<OdbcSession>()) {}

  ~SqlServerConnection() override { session_->Close(); }

  void SetConnectionString(const std::string& connection_string) override {
    if (IsOpen())
      throw data::DataError(data::kErrOpen, "Operation is not allowed when the object is open.");
    connection_string_ = connection_string;
  }
  const std::string& ConnectionString() const override { return connection_string_; }
  void SetProperty(const std::string& /*name*/, long /*value*/) override {
    // The driver never prompts (SQL_DRIVER_NOPROMPT); other properties of the embedded server
    // mean nothing here.
  }

  void Open(const std::string& user, const std::string& password) override {
    Guard([&] {
      if (IsOpen())
        throw data::DataError(data::kErrOpen, "Operation is not allowed when the object is open.");
      data::ConnectionString parsed = data::ConnectionString::Parse(connection_string_);
      int login_timeout = kDefaultLoginTimeout;
      for (const char* key : {"Connect Timeout", "Login Timeout"}) {
        const std::string value = parsed.Take(key);
        if (!value.empty()) login_timeout = static_cast<int>(LeadingNumber(value));
      }
      const std::string key = ServerKey(parsed);
      if (!user.empty()) {
        parsed.Set("UID", user);
        parsed.Set("PWD", password);
      } else if (!parsed.Has("UID")) {
        std::string login;
        std::string remembered;
        if (logins_ != nullptr && logins_->Find(key, &login, &remembered)) {
          parsed.Set("UID", login);
          parsed.Set("PWD", remembered);
        }
      }
      if (environment_ == nullptr) environment_ = std::make_shared<OdbcEnvironment>(api_);
      auto handle = std::make_shared<OdbcConnectionHandle>(environment_);
      const std::vector<Diagnostic> failure = handle->Connect(parsed.Text(), login_timeout);
      if (!failure.empty()) {
        data::DataError error = DataErrorFrom(failure, "The connection could not be opened.");
        // A refused login or a server that does not answer are failures to connect.
        if (error.number() == data::kErrStatement) {
          throw data::DataError(data::kErrConnection, error.description());
        }
        throw error;
      }
      session_->connection = std::move(handle);
      ++session_->generation;
      session_->server_key = key;
      session_->dialect = Dialect::kOther;
      std::string dbms;
      if (SQL_SUCCEEDED(api_->GetInfoText(session_->connection->handle(), SQL_DBMS_NAME, &dbms))) {
        if (LowerCase(dbms).find("sql server") != std::string::npos) {
          session_->dialect = Dialect::kSqlServer;
        } else if (LowerCase(dbms).find("sqlite") != std::string::npos) {
          session_->dialect = Dialect::kSqlite;
        }
      }
      session_->database.clear();
      if (session_->dialect == Dialect::kSqlServer) {
        std::unique_ptr<OdbcStatement> statement = session_->Run("SELECT DB_NAME()");
        if (statement->ResultColumns() > 0 && statement->Fetch()) {
          statement->GetText(1, &session_->database);
        }
        statement->CloseCursor();
      }
      return 0;
    });
  }

  void Close() override {
    if (!IsOpen()) Closed();
    session_->Close();
    transaction_level_ = 0;
  }

  bool IsOpen() const override { return session_->IsOpen(); }

  void SetCommandTimeout(int seconds) override { session_->timeout = seconds < 0 ? 0 : seconds; }
  int CommandTimeout() const override { return session_->timeout; }

  std::unique_ptr<data::Recordset> Execute(const std::string& statement,
                                           long* rows_affected) override {
    return Guard([&] { return Run(statement, data::CursorChoice::kForward, rows_affected); });
  }

  std::unique_ptr<data::Recordset> OpenRecordset(const std::string& statement,
                                                 data::CursorChoice choice) override {
    return Guard([&] { return Run(statement, choice, nullptr); });
  }

  const std::vector<data::ErrorEntry>& Errors() const override { return session_->errors; }

  // T-SQL's own statements (the SQLite driver of the tests reads them too); a level ends with
  // the connection, where the server rolls back what was not committed.
  long BeginTrans() override {
    return Guard([&] {
      session_->Run("BEGIN TRANSACTION")->CloseCursor();
      return ++transaction_level_;
    });
  }
  void CommitTrans() override { EndTransaction("COMMIT TRANSACTION"); }
  void RollbackTrans() override { EndTransaction("ROLLBACK TRANSACTION"); }

  std::optional<long> CopyRowsFrom(data::Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<data::FieldInfo>& fields) override {
    auto* other = dynamic_cast<SqlServerConnection*>(&source);
    if (other == nullptr || other == this || !other->IsOpen() || !IsOpen()) return std::nullopt;
    const OdbcSession& from = *other->session_;
    if (session_->dialect != Dialect::kSqlServer || from.dialect != Dialect::kSqlServer ||
        from.server_key != session_->server_key || from.database.empty() ||
        session_->database.empty() || fields.empty()) {
      return std::nullopt;
    }
    for (const data::FieldInfo& field : fields) {
      switch (field.type) {
        case data::kTypeBinary:
        case data::kTypeVarBinary:
        case data::kTypeLongVarBinary:
        case data::kTypeWChar:
        case data::kTypeVarWChar:
        case data::kTypeLongVarWChar:
          return std::nullopt;
        default:
          break;
      }
    }
    const auto select = StarSelect(source_statement);
    if (!select) return std::nullopt;

    std::string columns;
    for (const data::FieldInfo& field : fields) {
      columns += (columns.empty() ? "" : ", ") + Bracketed(field.name);
    }
    const std::string sql = "INSERT INTO " + Bracketed(session_->database) + ".." + table + " (" +
                            columns + ") SELECT " + columns + " FROM " + Bracketed(from.database) +
                            ".." + select->first +
                            (select->second.empty() ? "" : " " + select->second);
    return Guard([&]() -> std::optional<long> {
      session_->Run("BEGIN TRANSACTION")->CloseCursor();
      try {
        session_->Run("SAVE TRANSACTION msu_bulk_copy")->CloseCursor();
        std::unique_ptr<OdbcStatement> insert = session_->Run(sql, 0);
        const long rows = insert->RowCount();
        insert->CloseCursor();
        session_->Run("COMMIT TRANSACTION")->CloseCursor();
        return rows;
      } catch (...) {
        try {
          // Back to the savepoint and out of the level this copy opened; a transaction the
          // error doomed can only be rolled back whole.
          session_
              ->Run(
                  "IF XACT_STATE() = 1 BEGIN ROLLBACK TRANSACTION msu_bulk_copy; "
                  "COMMIT TRANSACTION END ELSE IF XACT_STATE() = -1 ROLLBACK TRANSACTION")
              ->CloseCursor();
        } catch (...) {
          // The connection is gone; the server rolls the transaction back itself.
        }
        throw;
      }
    });
  }

 private:
  void EndTransaction(const char* statement) {
    Guard([&] {
      if (transaction_level_ == 0) {
        throw data::DataError(data::kErrStatement, "No transaction is active.");
      }
      session_->Run(statement)->CloseCursor();
      // ROLLBACK TRANSACTION ends every level at once.
      transaction_level_ = statement[0] == 'R' ? 0 : transaction_level_ - 1;
      return 0;
    });
  }

  std::unique_ptr<data::Recordset> Run(const std::string& text, data::CursorChoice choice,
                                       long* rows_affected) {
    std::unique_ptr<OdbcStatement> statement = session_->Run(text);
    long affected = -1;
    while (true) {
      if (statement->ResultColumns() > 0) {
        if (rows_affected != nullptr) *rows_affected = -1;
        return SqlServerRecordset::Open(session_, std::move(statement), text, choice);
      }
      const long rows = statement->RowCount();
      if (rows >= 0) affected = (affected < 0 ? 0 : affected) + rows;
      if (!statement->MoreResults()) break;
    }
    statement->CloseCursor();
    if (rows_affected != nullptr) *rows_affected = affected;
    return SqlServerRecordset::Closed();
  }

  // Keeps the error collection as data::Guard does; a lost connection closes the connection.
  template <class F>
  auto Guard(F&& call) -> decltype(call()) {
    try {
      return data::Guard(&session_->errors, std::forward<F>(call));
    } catch (const data::DataError& error) {
      if (error.number() == data::kErrConnection && IsOpen()) session_->Close();
      throw;
    }
  }

  std::shared_ptr<OdbcApi> api_;
  long transaction_level_ = 0;
  std::shared_ptr<LoginStore> logins_;
  std::shared_ptr<OdbcEnvironment> environment_;
  std::string connection_string_;
  std::shared_ptr<OdbcSession> session_;
};

}  // namespace

std::string Bracketed(const std::string& name) {
  std::string quoted = "[";
  for (char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

void OdbcSession::RequireOpen() const {
  if (!IsOpen()) Closed();
}

void OdbcSession::FreeForStatement() {
  if (streaming != nullptr) {
    StreamingReader* reader = streaming;
    streaming = nullptr;
    reader->ReadRest();
  }
}

std::unique_ptr<OdbcStatement> OdbcSession::Run(const std::string& statement, int timeout_seconds) {
  RequireOpen();
  FreeForStatement();
  auto handle = std::make_unique<OdbcStatement>(connection);
  handle->SetTimeout(timeout_seconds >= 0 ? timeout_seconds : timeout);
  handle->ExecDirect(statement);
  return handle;
}

void OdbcSession::Close() {
  if (streaming != nullptr) {
    StreamingReader* reader = streaming;
    streaming = nullptr;
    reader->ConnectionClosing();
  }
  if (connection != nullptr) connection->Disconnect();
  connection.reset();
}

std::string OdbcSession::TextLiteral(const std::string& text) const {
  std::string literal = dialect == Dialect::kSqlite ? "'" : "N'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

std::string OdbcSession::BytesLiteral(const std::string& bytes) const {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
  }
  if (dialect == Dialect::kSqlite) return "X'" + hex + "'";
  return "0x" + hex;
}

std::string OdbcSession::Literal(const data::Value& value) const {
  switch (value.kind()) {
    case data::Value::Kind::kNull:
      return "NULL";
    case data::Value::Kind::kInteger:
      return value.AsText();
    case data::Value::Kind::kReal:
      if (!std::isfinite(value.AsReal())) {
        throw data::DataError(data::kErrInvalidArgument,
                              "The number " + value.AsText() + " cannot be stored.");
      }
      return value.AsText();
    case data::Value::Kind::kText:
      return TextLiteral(value.AsText());
    case data::Value::Kind::kBlob:
      return BytesLiteral(value.AsText());
  }
  return "NULL";
}

void LoginStore::Remember(const std::string& server_key, const std::string& login,
                          const std::string& password) {
  logins_[server_key] = {login, password};
}

bool LoginStore::Find(const std::string& server_key, std::string* login,
                      std::string* password) const {
  const auto found = logins_.find(server_key);
  if (found == logins_.end()) return false;
  *login = found->second.first;
  *password = found->second.second;
  return true;
}

std::string ServerKey(const data::ConnectionString& connection_string) {
  if (connection_string.Has("DSN")) return "dsn:" + LowerCase(connection_string.Get("DSN"));
  if (connection_string.Has("Servername")) {
    return "freetds:" + LowerCase(connection_string.Get("Servername"));
  }
  std::string server = LowerCase(connection_string.Get("Server"));
  if (connection_string.Has("Port")) server += "," + connection_string.Get("Port");
  return "server:" + server;
}

std::unique_ptr<data::Connection> NewSqlServerConnection(std::shared_ptr<OdbcApi> api,
                                                         std::shared_ptr<LoginStore> logins) {
  return std::make_unique<SqlServerConnection>(std::move(api), std::move(logins));
}

}  // namespace msu::sqlserver
