#include "data/sqlserver/odbc_handles.h"

#include <cstdint>

#include "core/text.h"

namespace msu::sqlserver {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsWarning(const Diagnostic& d) { return StartsWith(d.state, "01"); }

// unixODBC reports a driver library it cannot load as a warning, "Can't open lib".
bool IsMissingDriver(const Diagnostic& d) {
  return d.state == "IM002" || d.state == "IM003" || d.state == "IM004" ||
         d.message.find("Can't open lib") != std::string::npos;
}

bool IsTimeout(const Diagnostic& d) { return d.state == "HYT00" || d.state == "HYT01"; }

const Diagnostic* FirstError(const std::vector<Diagnostic>& diagnostics) {
  for (const Diagnostic& d : diagnostics) {
    if (!IsWarning(d)) return &d;
  }
  return diagnostics.empty() ? nullptr : &diagnostics.front();
}

// "[unixODBC][FreeTDS][SQL Server]Invalid object name 'x'." -> "Invalid object name 'x'."
std::string WithoutPrefixes(std::string message) {
  while (!message.empty() && message.front() == '[') {
    const size_t close = message.find(']');
    if (close == std::string::npos) break;
    message.erase(0, close + 1);
  }
  return Trim(message);
}

}  // namespace

std::vector<Diagnostic> ReadDiagnostics(OdbcApi& api, SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> diagnostics;
  for (SQLSMALLINT record = 1; record < 50; ++record) {
    Diagnostic d;
    SQLINTEGER native = 0;
    if (!SQL_SUCCEEDED(api.GetDiagRec(type, handle, record, &d.state, &native, &d.message))) break;
    d.native = native;
    diagnostics.push_back(std::move(d));
  }
  return diagnostics;
}

std::string Describe(const std::vector<Diagnostic>& diagnostics, const std::string& fallback) {
  const Diagnostic* d = FirstError(diagnostics);
  if (d == nullptr) return fallback;
  std::string text = WithoutPrefixes(d->message);
  return text.empty() ? fallback : text;
}

data::DataError DataErrorFrom(const std::vector<Diagnostic>& diagnostics,
                              const std::string& fallback) {
  long number = data::kErrStatement;
  if (const Diagnostic* d = FirstError(diagnostics)) {
    if (IsTimeout(*d)) {
      number = data::kErrTimeout;
    } else if (StartsWith(d->state, "08") || d->state == "28000") {
      number = data::kErrConnection;
    } else if (IsMissingDriver(*d)) {
      number = data::kErrProviderNotFound;
    } else if (d->native == 1105 || d->native == 9002 || d->native == 1101) {
      // A filegroup or the transaction log has no room left: a full disk, as the engines
      // treat it (they stop at once).
      number = kErrDiskFull;
    }
  }
  return data::DataError(number, Describe(diagnostics, fallback));
}

data::AdminError LoginErrorFrom(const std::vector<Diagnostic>& diagnostics,
                                const std::string& fallback) {
  long number = data::kErrAdminOperation;
  for (const Diagnostic& d : diagnostics) {
    if (d.native == 18456 || d.state == "28000") {
      number = data::kErrLoginFailed;
      break;
    }
  }
  if (number == data::kErrAdminOperation) {
    if (const Diagnostic* d = FirstError(diagnostics)) {
      if (StartsWith(d->state, "08") || IsTimeout(*d)) {
        number = data::kErrServerStopped;
      } else if (IsMissingDriver(*d)) {
        number = data::kErrProviderNotFound;
      }
    }
  }
  return data::AdminError(number, Describe(diagnostics, fallback));
}

OdbcEnvironment::OdbcEnvironment(std::shared_ptr<OdbcApi> api) : api_(std::move(api)) {
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api_->AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    throw data::DataError(data::kErrProviderNotFound,
                          "The ODBC driver manager could not be started.");
  }
  env_ = env;
  api_->SetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                   reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0);
}

OdbcEnvironment::~OdbcEnvironment() { api_->FreeHandle(SQL_HANDLE_ENV, env_); }

OdbcConnectionHandle::OdbcConnectionHandle(std::shared_ptr<OdbcEnvironment> environment)
    : environment_(std::move(environment)) {
  SQLHANDLE dbc = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api().AllocHandle(SQL_HANDLE_DBC, environment_->handle(), &dbc))) {
    throw data::DataError(data::kErrConnection, "The ODBC driver manager gave no connection.");
  }
  dbc_ = dbc;
}

OdbcConnectionHandle::~OdbcConnectionHandle() {
  Disconnect();
  api().FreeHandle(SQL_HANDLE_DBC, dbc_);
}

std::vector<Diagnostic> OdbcConnectionHandle::Connect(const std::string& connection_string,
                                                      int login_timeout_seconds) {
  api().SetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(login_timeout_seconds)),
                       0);
  const SQLRETURN rc = api().DriverConnect(dbc_, connection_string);
  if (SQL_SUCCEEDED(rc)) {
    connected_ = true;
    return {};
  }
  std::vector<Diagnostic> diagnostics = ReadDiagnostics(api(), SQL_HANDLE_DBC, dbc_);
  if (diagnostics.empty()) diagnostics.push_back({"08001", 0, "The server did not answer."});
  return diagnostics;
}

void OdbcConnectionHandle::Disconnect() {
  if (!connected_) return;
  connected_ = false;
  api().Disconnect(dbc_);
}

OdbcStatement::OdbcStatement(std::shared_ptr<OdbcConnectionHandle> connection)
    : connection_(std::move(connection)) {
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  if (!connection_->connected() ||
      !SQL_SUCCEEDED(api().AllocHandle(SQL_HANDLE_STMT, connection_->handle(), &stmt))) {
    throw DataErrorFrom(ReadDiagnostics(api(), SQL_HANDLE_DBC, connection_->handle()),
                        "Operation is not allowed when the object is closed.");
  }
  stmt_ = stmt;
}

OdbcStatement::~OdbcStatement() {
  if (connection_->connected()) api().FreeHandle(SQL_HANDLE_STMT, stmt_);
}

void OdbcStatement::Check(SQLRETURN rc, const std::string& what, bool no_data_is_success) const {
  if (SQL_SUCCEEDED(rc) || (no_data_is_success && rc == SQL_NO_DATA)) return;
  throw DataErrorFrom(Diagnostics(), what + " failed.");
}

void OdbcStatement::SetTimeout(int seconds) {
  api().SetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds < 0 ? 0 : seconds)),
                    0);
}

void OdbcStatement::ExecDirect(const std::string& statement) {
  // An UPDATE or DELETE that changes no row answers SQL_NO_DATA: that is no failure.
  Check(api().ExecDirect(stmt_, statement), "The statement", true);
}

SQLSMALLINT OdbcStatement::ResultColumns() const {
  SQLSMALLINT columns = 0;
  Check(api().NumResultCols(stmt_, &columns), "Reading the result");
  return columns;
}

ColumnDescription OdbcStatement::Describe(SQLUSMALLINT column) const {
  ColumnDescription description;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
  Check(api().DescribeCol(stmt_, column, &description.name, &description.sql_type,
                          &description.size, &digits, &nullable),
        "Reading the result");
  api().ColAttributeText(stmt_, column, SQL_DESC_TYPE_NAME, &description.type_name);
  return description;
}

long OdbcStatement::RowCount() const {
  SQLLEN rows = -1;
  if (!SQL_SUCCEEDED(api().RowCount(stmt_, &rows))) return -1;
  return static_cast<long>(rows);
}

bool OdbcStatement::MoreResults() {
  const SQLRETURN rc = api().MoreResults(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "The statement");
  return true;
}

bool OdbcStatement::Fetch() {
  const SQLRETURN rc = api().Fetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "Reading a row");
  return true;
}

bool OdbcStatement::GetText(SQLUSMALLINT column, std::string* text) {
  text->clear();
  char buffer[4096];
  while (true) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        api().GetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return true;
    Check(rc, "Reading a value");
    if (indicator == SQL_NULL_DATA) return false;
    const bool truncated = rc == SQL_SUCCESS_WITH_INFO &&
                           (indicator == SQL_NO_TOTAL || indicator >= SQLLEN{sizeof buffer});
    const size_t length = truncated ? sizeof buffer - 1 : static_cast<size_t>(indicator);
    text->append(buffer, length);
    if (!truncated) return true;
  }
}

void OdbcStatement::CloseCursor() { api().CloseCursor(stmt_); }

}  // namespace msu::sqlserver
