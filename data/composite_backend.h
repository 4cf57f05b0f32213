// Several server products behind one backend, each server name choosing its own: the list of
// servers is the lists of the products one after another (a name two products offer is listed
// once and belongs to the first), and every call that names a server goes to the product that
// serves it (Backend::Serves). A name no product serves goes to the first product, whose own
// error then says that there is no such server.
//
// Data connections choose their product by their connection string (the first product whose
// OpensConnectionString accepts it; the first product when none does) once it is set; the
// properties and the command time-out set before that are handed on. The set-based copy
// between two such connections is the copy of the connections underneath.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/backend.h"

namespace msu::data {

class CompositeBackend : public Backend {
 public:
  // `products` in the order of the server list; they must outlive this backend. At least one.
  explicit CompositeBackend(std::vector<Backend*> products);

  std::vector<std::string> ListServers() override;
  std::unique_ptr<AdminConnection> Connect(const std::string& server, const std::string& login,
                                           const std::string& password) override;
  std::unique_ptr<Connection> CreateConnection() override;
  std::string DataConnectionString(const std::string& server, const std::string& database) override;
  bool Serves(const std::string& server) override;
  bool OpensConnectionString(const std::string& connection_string) override;
  std::string RunLockFile(const std::string& server) override;
  std::string AttachCommand(const std::string& server, const std::string& database,
                            const std::string& path) override;
  std::string StartCommand(const std::string& server) override;

  // The product that serves `server` (the first product when none does).
  Backend& ProductFor(const std::string& server);

 private:
  std::vector<Backend*> products_;
};

}  // namespace msu::data
