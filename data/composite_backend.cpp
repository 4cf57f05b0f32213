#include "data/composite_backend.h"

#include <utility>

#include "core/text.h"

namespace msu::data {

namespace {

[[noreturn]] void ClosedConnection() {
  throw DataError(kErrClosed, "Operation is not allowed when the object is closed.");
}

// A data connection whose product is chosen by its connection string.
class CompositeConnection : public Connection {
 public:
  explicit CompositeConnection(std::vector<Backend*> products) : products_(std::move(products)) {}

  void SetConnectionString(const std::string& connection_string) override {
    Backend* chosen = products_.front();
    for (Backend* product : products_) {
      if (product->OpensConnectionString(connection_string)) {
        chosen = product;
        break;
      }
    }
    if (inner_ == nullptr || chosen != product_) {
      if (inner_ != nullptr && inner_->IsOpen()) {
        throw DataError(kErrOpen, "Operation is not allowed when the object is open.");
      }
      inner_ = chosen->CreateConnection();
      product_ = chosen;
      for (const auto& [name, value] : properties_) inner_->SetProperty(name, value);
      if (timeout_set_) inner_->SetCommandTimeout(timeout_);
      if (beat_) inner_->SetHeartbeat(beat_);
    }
    inner_->SetConnectionString(connection_string);
  }

  const std::string& ConnectionString() const override {
    static const std::string kNone;
    return inner_ != nullptr ? inner_->ConnectionString() : kNone;
  }

  void SetProperty(const std::string& name, long value) override {
    properties_.emplace_back(name, value);
    if (inner_ != nullptr) inner_->SetProperty(name, value);
  }

  void Open(const std::string& user, const std::string& password) override {
    if (inner_ == nullptr) SetConnectionString("");
    inner_->Open(user, password);
  }

  void Close() override {
    if (inner_ == nullptr) ClosedConnection();
    inner_->Close();
  }

  bool IsOpen() const override { return inner_ != nullptr && inner_->IsOpen(); }

  void SetCommandTimeout(int seconds) override {
    timeout_ = seconds;
    timeout_set_ = true;
    if (inner_ != nullptr) inner_->SetCommandTimeout(seconds);
  }

  void SetHeartbeat(std::function<bool()> beat) override {
    beat_ = std::move(beat);
    if (inner_ != nullptr) inner_->SetHeartbeat(beat_);
  }

  int CommandTimeout() const override {
    return inner_ != nullptr ? inner_->CommandTimeout() : (timeout_set_ ? timeout_ : 30);
  }

  std::unique_ptr<Recordset> Execute(const std::string& statement, long* rows_affected) override {
    return Inner().Execute(statement, rows_affected);
  }

  std::unique_ptr<Recordset> OpenRecordset(const std::string& statement,
                                           CursorChoice choice) override {
    return Inner().OpenRecordset(statement, choice);
  }

  const std::vector<ErrorEntry>& Errors() const override {
    static const std::vector<ErrorEntry> kNone;
    return inner_ != nullptr ? inner_->Errors() : kNone;
  }

  std::optional<RowDigest> DigestRows(const std::string& statement) override {
    return Inner().DigestRows(statement);
  }

  long BeginTrans() override { return Inner().BeginTrans(); }
  void CommitTrans() override { Inner().CommitTrans(); }
  void RollbackTrans() override { Inner().RollbackTrans(); }

  std::optional<long> CopyRowsFrom(Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<FieldInfo>& fields) override {
    Connection* other = Unwrapped(source);
    if (other == nullptr) return std::nullopt;
    return Inner().CopyRowsFrom(*other, source_statement, table, fields);
  }

  std::optional<long> CopyRowsFrom(Connection& source, const std::string& source_statement,
                                   const std::string& table, const std::vector<FieldInfo>& fields,
                                   const std::vector<KeyChange>& changes) override {
    Connection* other = Unwrapped(source);
    if (other == nullptr) return std::nullopt;
    return Inner().CopyRowsFrom(*other, source_statement, table, fields, changes);
  }

  bool CanCopyRowsFrom(Connection& source) override {
    Connection* other = Unwrapped(source);
    return inner_ != nullptr && other != nullptr && inner_->CanCopyRowsFrom(*other);
  }

  std::optional<int64_t> RowMark(const std::string& table) override {
    return Inner().RowMark(table);
  }

  std::string RowsAddedSince(const std::string& alias, int64_t mark) override {
    return Inner().RowsAddedSince(alias, mark);
  }

 private:
  // The product's connection behind `connection` when it is one of these, so that two
  // connections of one product can copy between themselves; nothing when it is not open yet.
  static Connection* Unwrapped(Connection& connection) {
    auto* composite = dynamic_cast<CompositeConnection*>(&connection);
    if (composite == nullptr) return &connection;
    return composite->inner_.get();
  }

  Connection& Inner() {
    if (inner_ == nullptr) ClosedConnection();
    return *inner_;
  }

  std::vector<Backend*> products_;
  Backend* product_ = nullptr;
  std::unique_ptr<Connection> inner_;
  std::vector<std::pair<std::string, long>> properties_;
  int timeout_ = 30;
  bool timeout_set_ = false;
  std::function<bool()> beat_;
};

}  // namespace

CompositeBackend::CompositeBackend(std::vector<Backend*> products)
    : products_(std::move(products)) {
  if (products_.empty()) {
    throw AdminError(kErrAdminOperation, "A composite backend needs at least one product.");
  }
}

std::vector<std::string> CompositeBackend::ListServers() {
  std::vector<std::string> names;
  for (Backend* product : products_) {
    for (std::string& name : product->ListServers()) {
      bool listed = false;
      for (const std::string& earlier : names) listed = listed || EqualsNoCase(earlier, name);
      if (!listed) names.push_back(std::move(name));
    }
  }
  return names;
}

Backend& CompositeBackend::ProductFor(const std::string& server) {
  for (Backend* product : products_) {
    if (product->Serves(server)) return *product;
  }
  return *products_.front();
}

std::unique_ptr<AdminConnection> CompositeBackend::Connect(const std::string& server,
                                                           const std::string& login,
                                                           const std::string& password) {
  return ProductFor(server).Connect(server, login, password);
}

std::unique_ptr<Connection> CompositeBackend::CreateConnection() {
  return std::make_unique<CompositeConnection>(products_);
}

std::string CompositeBackend::DataConnectionString(const std::string& server,
                                                   const std::string& database) {
  return ProductFor(server).DataConnectionString(server, database);
}

bool CompositeBackend::Serves(const std::string& server) {
  for (Backend* product : products_) {
    if (product->Serves(server)) return true;
  }
  return false;
}

bool CompositeBackend::OpensConnectionString(const std::string& connection_string) {
  for (Backend* product : products_) {
    if (product->OpensConnectionString(connection_string)) return true;
  }
  return false;
}

std::string CompositeBackend::RunLockFile(const std::string& server) {
  return ProductFor(server).RunLockFile(server);
}

std::string CompositeBackend::AttachCommand(const std::string& server, const std::string& database,
                                            const std::string& path) {
  return ProductFor(server).AttachCommand(server, database, path);
}

std::string CompositeBackend::StartCommand(const std::string& server) {
  return ProductFor(server).StartCommand(server);
}

}  // namespace msu::data
