#include "data/sqlserver/server_list.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "core/text.h"

namespace msu::sqlserver {

namespace {

bool Contains(const std::string& text, const char* part) {
  return LowerCase(text).find(part) != std::string::npos;
}

bool IsFreeTdsLibrary(const std::string& attributes) { return Contains(attributes, "tdsodbc"); }

// The example sections of the freetds.conf FreeTDS ships ([egServer50], [egServer73]): they
// name hosts of the placeholder domain, not a server of this machine's user.
bool IsShippedExample(const std::string& section, const std::string& host) {
  const std::string name = LowerCase(section);
  const std::string where = LowerCase(host);
  return name.starts_with("egserver") && name.size() > 8 &&
         name.find_first_not_of("0123456789", 8) == std::string::npos &&
         (where == "domain.com" || where.ends_with(".domain.com"));
}

bool IsSqlServerDriver(const std::string& name, const std::string& attributes) {
  return Contains(name, "freetds") || Contains(name, "sql server") ||
         IsFreeTdsLibrary(attributes) || Contains(attributes, "msodbcsql") ||
         Contains(attributes, "sqlncli") || Contains(attributes, "sqlsrv32");
}

struct Driver {
  std::string name;
  std::string attributes;
};

std::vector<Driver> InstalledDrivers(OdbcEnvironment& environment) {
  std::vector<Driver> drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  Driver driver;
  while (drivers.size() < 1000 &&
         SQL_SUCCEEDED(environment.api().Drivers(environment.handle(), direction, &driver.name,
                                                 &driver.attributes))) {
    drivers.push_back(driver);
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

}  // namespace

std::vector<std::string> FreeTdsConfigFiles() {
  if (const char* file = std::getenv("FREETDSCONF"); file != nullptr && *file != '\0') {
    return {file};
  }
  std::vector<std::string> files;
  // FreeTDS reads the home folder of the account, not $HOME.
  if (const passwd* account = ::getpwuid(::getuid());
      account != nullptr && account->pw_dir != nullptr) {
    files.push_back(JoinPath(account->pw_dir, ".freetds.conf"));
  }
  files.push_back("/etc/freetds/freetds.conf");
  return files;
}

std::vector<ConfiguredServer> FreeTdsServers(const std::vector<std::string>& paths) {
  std::vector<ConfiguredServer> servers;
  for (const std::string& path : paths) {
    std::ifstream in(path);
    std::string section;
    std::string protocol;
    std::string host;
    const auto finish = [&] {
      const bool sybase = protocol.rfind("4.", 0) == 0 || protocol == "5.0";
      if (!section.empty() && !EqualsNoCase(section, "global") && !sybase &&
          !IsShippedExample(section, host)) {
        servers.push_back({section, ConfiguredServer::Kind::kFreeTds, true});
      }
    };
    std::string line;
    while (std::getline(in, line)) {
      const std::string text = Trim(line.substr(0, line.find_first_of(";#")));
      if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        finish();
        section = Trim(text.substr(1, text.size() - 2));
        protocol.clear();
        host.clear();
        continue;
      }
      const size_t equals = text.find('=');
      if (equals == std::string::npos) continue;
      const std::string key = Trim(text.substr(0, equals));
      if (EqualsNoCase(key, "tds version")) protocol = Trim(text.substr(equals + 1));
      if (EqualsNoCase(key, "host")) host = Trim(text.substr(equals + 1));
    }
    finish();
  }
  return servers;
}

std::string FindFreeTdsDriver(OdbcEnvironment& environment) {
  for (const Driver& driver : InstalledDrivers(environment)) {
    if (EqualsNoCase(driver.name, "FreeTDS") || IsFreeTdsLibrary(driver.attributes)) {
      return driver.name;
    }
  }
  return "";
}

std::vector<ConfiguredServer> SqlServerDataSources(OdbcEnvironment& environment) {
  const std::vector<Driver> drivers = InstalledDrivers(environment);
  std::vector<ConfiguredServer> sources;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  std::string name;
  std::string driver_name;
  while (sources.size() < 1000 && SQL_SUCCEEDED(environment.api().DataSources(
                                      environment.handle(), direction, &name, &driver_name))) {
    direction = SQL_FETCH_NEXT;
    std::string attributes;
    for (const Driver& driver : drivers) {
      if (EqualsNoCase(driver.name, driver_name)) attributes = driver.attributes;
    }
    if (!IsSqlServerDriver(driver_name, attributes)) continue;
    const bool freetds = Contains(driver_name, "freetds") || IsFreeTdsLibrary(attributes);
    sources.push_back({name, ConfiguredServer::Kind::kDataSource, freetds});
  }
  return sources;
}

bool IsServerAddress(const std::string& name) {
  const std::string text = Trim(name);
  return !text.empty() && text.find_first_of("\\,") != std::string::npos && text.front() != '\\' &&
         text.front() != ',';
}

}  // namespace msu::sqlserver
