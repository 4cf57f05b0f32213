#include "data/sqlserver/backend.h"

#include "core/text.h"
#include "data/connection_string.h"
#include "data/sqlserver/local_records.h"
#include "data/sqlserver/sqlserver_admin.h"

namespace msu::sqlserver {

namespace {

#ifdef _WIN32
constexpr const char* kDefaultDriver = "SQL Server";
#else
constexpr const char* kDefaultDriver = "FreeTDS";
#endif

}  // namespace

SqlServerBackend::SqlServerBackend(std::shared_ptr<OdbcApi> api,
                                   std::vector<std::string> freetds_files,
                                   int login_timeout_seconds)
    : api_(std::move(api)),
      freetds_files_(std::move(freetds_files)),
      login_timeout_(login_timeout_seconds) {}

std::shared_ptr<OdbcEnvironment> SqlServerBackend::Environment() {
  if (environment_ == nullptr) environment_ = std::make_shared<OdbcEnvironment>(api_);
  return environment_;
}

std::string SqlServerBackend::FreeTdsDriver() {
  if (driver_.empty()) {
    try {
      driver_ = FindFreeTdsDriver(*Environment());
    } catch (const data::DataError&) {
    }
    if (driver_.empty()) return kDefaultDriver;
  }
  return driver_;
}

std::vector<ConfiguredServer> SqlServerBackend::Configured() {
  std::vector<ConfiguredServer> servers = FreeTdsServers(freetds_files_);
  try {
    for (ConfiguredServer& source : SqlServerDataSources(*Environment())) {
      servers.push_back(std::move(source));
    }
  } catch (const data::DataError&) {
    // Without a driver manager there are no data sources; freetds.conf still lists servers.
  }
  std::vector<ConfiguredServer> unique;
  for (ConfiguredServer& server : servers) {
    bool listed = false;
    for (const ConfiguredServer& earlier : unique) {
      listed = listed || EqualsNoCase(earlier.name, server.name);
    }
    if (!listed) unique.push_back(std::move(server));
  }
  return unique;
}

std::vector<std::string> SqlServerBackend::ListServers() {
  std::vector<std::string> names;
  for (const ConfiguredServer& server : Configured()) names.push_back(server.name);
  return names;
}

bool SqlServerBackend::Serves(const std::string& server) {
  return IsServerAddress(server) || data::Backend::Serves(server);
}

ConfiguredServer SqlServerBackend::Describe(const std::string& server) {
  for (ConfiguredServer& configured : Configured()) {
    if (EqualsNoCase(configured.name, server)) return configured;
  }
  return {Trim(server), ConfiguredServer::Kind::kAddress, true};
}

std::string SqlServerBackend::DataConnectionString(const std::string& server,
                                                   const std::string& database) {
  const ConfiguredServer target = Describe(server);
  data::ConnectionString text;
  switch (target.kind) {
    case ConfiguredServer::Kind::kDataSource:
      text.Set("DSN", target.name);
      break;
    case ConfiguredServer::Kind::kFreeTds:
      text.Set("Driver", FreeTdsDriver());
      text.Set("Servername", target.name);
      break;
    case ConfiguredServer::Kind::kAddress: {
      text.Set("Driver", FreeTdsDriver());
      const size_t comma = target.name.find(',');
      if (comma == std::string::npos) {
        text.Set("Server", target.name);
      } else {
        text.Set("Server", Trim(target.name.substr(0, comma)));
        text.Set("Port", Trim(target.name.substr(comma + 1)));
      }
      break;
    }
  }
  text.Set("Database", database);
  // Texts travel as UTF-8 whatever the server's code page.
  if (target.freetds_driver) text.Set("ClientCharset", "UTF-8");
  return text.Text();
}

bool SqlServerBackend::OpensConnectionString(const std::string& connection_string) {
  const data::ConnectionString parsed = data::ConnectionString::Parse(connection_string);
  return parsed.Has("Driver") || parsed.Has("DSN");
}

std::unique_ptr<data::AdminConnection> SqlServerBackend::Connect(const std::string& server,
                                                                 const std::string& login,
                                                                 const std::string& password) {
  data::ConnectionString text =
      data::ConnectionString::Parse(DataConnectionString(server, "master"));
  text.Set("UID", login);
  text.Set("PWD", password);
  std::shared_ptr<OdbcEnvironment> environment;
  try {
    environment = Environment();
  } catch (const data::DataError& error) {
    throw data::AdminError(error.number(), error.description());
  }
  auto connection = std::make_shared<OdbcConnectionHandle>(environment);
  const std::vector<Diagnostic> failure = connection->Connect(text.Text(), login_timeout_);
  if (!failure.empty()) {
    throw LoginErrorFrom(failure, "The server " + server + " could not be reached.");
  }
  logins_->Remember(ServerKey(text), login, password);
  return std::make_unique<SqlServerAdminConnection>(std::move(connection), server);
}

std::unique_ptr<data::Connection> SqlServerBackend::CreateConnection() {
  return NewSqlServerConnection(api_, logins_);
}

std::string SqlServerBackend::AttachCommand(const std::string& server, const std::string& database,
                                            const std::string& path) {
  std::string name;
  for (char c : database) name += c == ']' ? std::string("]]") : std::string(1, c);
  return "sqlcmd -S " + server + " -Q \"CREATE DATABASE [" + name +
         "] ON (FILENAME = " + SqlLiteral(path) + ") FOR ATTACH\"";
}

std::string SqlServerBackend::RunLockFile(const std::string& server) {
  return LocalRunLockFile(server);
}

}  // namespace msu::sqlserver
