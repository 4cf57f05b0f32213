// SQL Server as a backend of the utility, over ODBC (unixODBC with FreeTDS's driver on Linux,
// the system's SQL Server driver on Windows).
//
// Servers: those configured on the machine (server_list.h), and any name written as a SQL
// Server address, HOST\INSTANCE or HOST,PORT, which Serves() accepts although it is not listed.
//
// Connect opens an ODBC connection to master as the login, waiting at most the login time-out
// (15 s unless given), and remembers the login for the data connections to that server. It
// fails with kErrServerStopped when the server does not answer or cannot be reached, with
// kErrLoginFailed when the server refuses the login (18456), and with kErrProviderNotFound
// when the driver is not installed. The administration itself is sqlserver_admin.h.
//
// Data connections: sqlserver_connection.h. DataConnectionString gives
//   Driver=FreeTDS;Servername=NAME;Database=DB;ClientCharset=UTF-8   (freetds.conf)
//   DSN=NAME;Database=DB[;ClientCharset=UTF-8]                        (a data source)
//   Driver=FreeTDS;Server=HOST\INSTANCE;Database=DB;ClientCharset=UTF-8
//   Driver=FreeTDS;Server=HOST;Port=PORT;Database=DB;ClientCharset=UTF-8
// with the driver's name as the driver manager knows it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/backend.h"
#include "data/sqlserver/odbc_api.h"
#include "data/sqlserver/server_list.h"
#include "data/sqlserver/sqlserver_connection.h"

namespace msu::sqlserver {

class SqlServerBackend : public data::Backend {
 public:
  // `api` is the driver manager (SystemOdbc() unless a test stands in for it);
  // `freetds_files` the freetds.conf files to read (FreeTdsConfigFiles() when not given).
  explicit SqlServerBackend(std::shared_ptr<OdbcApi> api = SystemOdbc(),
                            std::vector<std::string> freetds_files = FreeTdsConfigFiles(),
                            int login_timeout_seconds = 15);

  std::vector<std::string> ListServers() override;
  bool Serves(const std::string& server) override;
  std::unique_ptr<data::AdminConnection> Connect(const std::string& server,
                                                 const std::string& login,
                                                 const std::string& password) override;
  std::unique_ptr<data::Connection> CreateConnection() override;
  std::string DataConnectionString(const std::string& server, const std::string& database) override;
  // True for an ODBC string: one that names a Driver or a DSN.
  bool OpensConnectionString(const std::string& connection_string) override;
  // A file of this machine's (local_records.h): runs of other machines are not seen.
  std::string RunLockFile(const std::string& server) override;
  // sqlcmd with "CREATE DATABASE [DATABASE] ON (FILENAME = 'PATH') FOR ATTACH".
  std::string AttachCommand(const std::string& server, const std::string& database,
                            const std::string& path) override;

 private:
  std::vector<ConfiguredServer> Configured();
  ConfiguredServer Describe(const std::string& server);
  std::shared_ptr<OdbcEnvironment> Environment();
  std::string FreeTdsDriver();

  std::shared_ptr<OdbcApi> api_;
  std::vector<std::string> freetds_files_;
  int login_timeout_;
  std::shared_ptr<OdbcEnvironment> environment_;
  std::string driver_;
  std::shared_ptr<LoginStore> logins_ = std::make_shared<LoginStore>();
};

}  // namespace msu::sqlserver
