// The SQL Server instances configured on the machine, as the server list offers them:
//   - the servers of FreeTDS's configuration files (every section but [global], except those
//     that speak a Sybase protocol, "tds version" 4.x or 5.0): $FREETDSCONF when it is set,
//     otherwise the account's ~/.freetds.conf and then the system's freetds.conf, as FreeTDS
//     reads them;
//   - the ODBC data sources (user and system) whose driver is a SQL Server driver: FreeTDS, or a
//     driver whose name holds "SQL Server" or whose library is FreeTDS's or Microsoft's.
// A name listed twice is kept once, first come first kept.
#pragma once

#include <string>
#include <vector>

#include "data/sqlserver/odbc_handles.h"

namespace msu::sqlserver {

struct ConfiguredServer {
  enum class Kind {
    kFreeTds,     // a server of freetds.conf: "Servername=NAME"
    kDataSource,  // an ODBC data source: "DSN=NAME"
    kAddress,     // typed as SQL Server addresses are, HOST\INSTANCE or HOST,PORT: "Server=..."
  };
  std::string name;
  Kind kind = Kind::kFreeTds;
  bool freetds_driver = true;  // the connection goes through FreeTDS's driver
};

// The freetds.conf files read, in order.
std::vector<std::string> FreeTdsConfigFiles();

// The servers of the freetds.conf files at `paths` (missing files are skipped). Left out: the
// section "global", sections of Sybase servers ("tds version" 4.x or 5.0), and the examples
// FreeTDS ships in its file (a section named "egServer" and digits whose host lies in
// "domain.com"), which no user configured.
std::vector<ConfiguredServer> FreeTdsServers(const std::vector<std::string>& paths);

// The installed driver that is FreeTDS's: its name in the driver manager, or empty text.
std::string FindFreeTdsDriver(OdbcEnvironment& environment);

// The data sources of `environment` whose driver is a SQL Server driver.
std::vector<ConfiguredServer> SqlServerDataSources(OdbcEnvironment& environment);

// True for a name written as a SQL Server address (HOST\INSTANCE or HOST,PORT).
bool IsServerAddress(const std::string& name);

}  // namespace msu::sqlserver
