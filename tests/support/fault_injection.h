// Data connections that fail on demand, and a disk that fills up (FullDiskCopier, at the end),
// so that the engines' failure paths can be reached without breaking files. The connections: a
// backend that wraps a real one and hands out connections that wrap the real connections and
// the recordsets they return. Every call goes through to the real
// object, except a call that is due to fail: that one throws data::DataError with the chosen
// number and description instead of running, as the real layer throws its own failures.
//
// Calls are counted by kind, over every connection of the backend:
//   kExecute  Connection::Execute, OpenRecordset and DigestRows (a statement sent to the
//             server), CopyRowsFrom (counted as the statement "INSERT INTO " + table + " " +
//             the source statement, and passed on between the real connections), and
//             BeginTrans, CommitTrans and RollbackTrans (counted as the statements
//             "BEGIN TRANSACTION", "COMMIT TRANSACTION" and "ROLLBACK TRANSACTION");
//             RowMark and RowsAddedSince pass through uncounted
//   kUpdate   Recordset::AddNew, Update and UpdateBatch (a row written through a recordset)
//   kRead     Recordset::MoveNext and Get (a row or a value read)
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "core/file_copier.h"
#include "data/backend.h"

namespace msu::testing {

enum class CallKind { kExecute, kUpdate, kRead };

class FaultPlan {
 public:
  // The `nth` call of `kind` from now on (from 1) fails with `number` and `description`; for
  // kExecute, only statements that start with `statement_prefix` count toward `nth`. One fault
  // per kind: a new one replaces the one waiting.
  void FailNth(CallKind kind, long nth, long number, std::string description,
               std::string statement_prefix = "");
  // As FailNth, and every such call after it fails too, as a full disk stays full.
  void FailFrom(CallKind kind, long nth, long number, std::string description,
                std::string statement_prefix = "");
  // The calls of `kind` so far, the one that failed included.
  long Count(CallKind kind) const { return counts_[Index(kind)]; }

  // Counts one call and throws the fault that is due. `statement` is the statement of an
  // execute.
  void Enter(CallKind kind, const std::string& statement = "");

 private:
  struct Fault {
    long remaining;
    long number;
    std::string description;
    std::string statement_prefix;
    bool lasting = false;
  };
  static size_t Index(CallKind kind) { return static_cast<size_t>(kind); }

  std::array<long, 3> counts_{};
  std::array<std::optional<Fault>, 3> faults_;
};

// A real connection with faults: see the top of this file. Errors() holds the injected error
// after a call of the connection (or of one of its recordsets) failed by a fault, until the
// connection's next call that succeeds; otherwise it is the real connection's.
class FaultInjectingConnection : public data::Connection {
 public:
  FaultInjectingConnection(std::unique_ptr<data::Connection> real, std::shared_ptr<FaultPlan> plan);

  void SetConnectionString(const std::string& connection_string) override;
  const std::string& ConnectionString() const override;
  void SetProperty(const std::string& name, long value) override;
  void Open(const std::string& user, const std::string& password) override;
  void Close() override;
  bool IsOpen() const override;
  void SetCommandTimeout(int seconds) override;
  void SetHeartbeat(std::function<bool()> beat) override { real_->SetHeartbeat(std::move(beat)); }
  int CommandTimeout() const override;
  std::unique_ptr<data::Recordset> Execute(const std::string& statement,
                                           long* rows_affected) override;
  std::unique_ptr<data::Recordset> OpenRecordset(const std::string& statement,
                                                 data::CursorChoice choice) override;
  const std::vector<data::ErrorEntry>& Errors() const override;
  std::optional<data::RowDigest> DigestRows(const std::string& statement) override;
  std::optional<long> CopyRowsFrom(data::Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<data::FieldInfo>& fields) override;
  std::optional<long> CopyRowsFrom(data::Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<data::FieldInfo>& fields,
                                   const std::vector<data::KeyChange>& changes) override;
  bool CanCopyRowsFrom(data::Connection& source) override;
  std::optional<int64_t> RowMark(const std::string& table) override;
  std::string RowsAddedSince(const std::string& alias, int64_t mark) override;
  long BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;

  // The state a connection shares with its recordsets.
  struct Shared;

 private:
  std::unique_ptr<data::Recordset> Wrap(std::unique_ptr<data::Recordset> real);
  static data::Connection& RealOf(data::Connection& connection);

  std::unique_ptr<data::Connection> real_;
  std::shared_ptr<Shared> shared_;
};

// A real backend whose data connections are FaultInjectingConnections sharing one plan; the
// administration calls go through unchanged.
class FaultInjectingBackend : public data::Backend {
 public:
  explicit FaultInjectingBackend(data::Backend& real) : real_(real) {}

  FaultPlan& plan() { return *plan_; }

  std::vector<std::string> ListServers() override { return real_.ListServers(); }
  std::unique_ptr<data::AdminConnection> Connect(const std::string& server,
                                                 const std::string& login,
                                                 const std::string& password) override {
    return real_.Connect(server, login, password);
  }
  std::unique_ptr<data::Connection> CreateConnection() override {
    return std::make_unique<FaultInjectingConnection>(real_.CreateConnection(), plan_);
  }
  std::string DataConnectionString(const std::string& server,
                                   const std::string& database) override {
    return real_.DataConnectionString(server, database);
  }

 private:
  data::Backend& real_;
  std::shared_ptr<FaultPlan> plan_ = std::make_shared<FaultPlan>();
};

}  // namespace msu::testing

namespace msu::testing {

// A disk that fills up: the first `whole_copies` copies go through, every later one writes
// `room` bytes of the file and then fails with "No space left on device", leaving that partial
// copy behind as a full disk does.
class FullDiskCopier : public FileCopier {
 public:
  FullDiskCopier(int whole_copies, size_t room) : whole_copies_(whole_copies), room_(room) {}
  std::error_code Copy(const std::string& from, const std::string& to,
                       const CopyOptions& options) override;

 private:
  int whole_copies_;
  size_t room_;
};

}  // namespace msu::testing
