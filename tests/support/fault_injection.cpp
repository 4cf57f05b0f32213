#include "tests/support/fault_injection.h"

#include <fstream>

namespace msu::testing {

struct FaultInjectingConnection::Shared {
  std::shared_ptr<FaultPlan> plan;
  bool injected_last = false;
  std::vector<data::ErrorEntry> injected;

  // Counts a call of `kind`; on a fault, records it as the connection's error and rethrows.
  void Enter(CallKind kind, const std::string& statement = "") {
    try {
      plan->Enter(kind, statement);
    } catch (const data::DataError& error) {
      injected_last = true;
      injected = {{error.number(), error.description()}};
      throw;
    }
  }
};

namespace {

using Shared = FaultInjectingConnection::Shared;

// A real recordset whose reads and writes count, and fail when a fault is due.
class FaultInjectingRecordset : public data::Recordset {
 public:
  FaultInjectingRecordset(std::unique_ptr<data::Recordset> real, std::shared_ptr<Shared> shared)
      : real_(std::move(real)), shared_(std::move(shared)) {}

  bool IsOpen() const override { return real_->IsOpen(); }
  void Close() override { real_->Close(); }
  bool IsEOF() const override { return real_->IsEOF(); }
  bool IsBOF() const override { return real_->IsBOF(); }
  void MoveNext() override {
    shared_->Enter(CallKind::kRead);
    real_->MoveNext();
  }
  void MoveFirst() override { real_->MoveFirst(); }
  long RecordCount() const override { return real_->RecordCount(); }
  int FieldCount() const override { return real_->FieldCount(); }
  const data::FieldInfo& Field(int index) const override { return real_->Field(index); }
  int FieldIndex(std::string_view name) const override { return real_->FieldIndex(name); }
  const data::Value& Get(int index) const override {
    shared_->Enter(CallKind::kRead);
    return real_->Get(index);
  }
  void Set(int index, data::Value value) override { real_->Set(index, std::move(value)); }
  void AddNew() override {
    shared_->Enter(CallKind::kUpdate);
    real_->AddNew();
  }
  void Update() override {
    shared_->Enter(CallKind::kUpdate);
    real_->Update();
  }
  void UpdateBatch() override {
    shared_->Enter(CallKind::kUpdate);
    real_->UpdateBatch();
  }
  void SetFilter(const std::string& expression) override { real_->SetFilter(expression); }

 private:
  std::unique_ptr<data::Recordset> real_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace

void FaultPlan::FailNth(CallKind kind, long nth, long number, std::string description,
                        std::string statement_prefix) {
  faults_[Index(kind)] = Fault{nth, number, std::move(description), std::move(statement_prefix)};
}

void FaultPlan::FailFrom(CallKind kind, long nth, long number, std::string description,
                         std::string statement_prefix) {
  faults_[Index(kind)] =
      Fault{nth, number, std::move(description), std::move(statement_prefix), true};
}

void FaultPlan::Enter(CallKind kind, const std::string& statement) {
  ++counts_[Index(kind)];
  std::optional<Fault>& fault = faults_[Index(kind)];
  if (!fault || statement.rfind(fault->statement_prefix, 0) != 0) return;
  if (--fault->remaining > 0) return;
  const Fault due = *fault;
  if (due.lasting) {
    fault->remaining = 1;
  } else {
    fault.reset();
  }
  throw data::DataError(due.number, due.description);
}

FaultInjectingConnection::FaultInjectingConnection(std::unique_ptr<data::Connection> real,
                                                   std::shared_ptr<FaultPlan> plan)
    : real_(std::move(real)), shared_(std::make_shared<Shared>()) {
  shared_->plan = std::move(plan);
}

void FaultInjectingConnection::SetConnectionString(const std::string& connection_string) {
  real_->SetConnectionString(connection_string);
}

const std::string& FaultInjectingConnection::ConnectionString() const {
  return real_->ConnectionString();
}

void FaultInjectingConnection::SetProperty(const std::string& name, long value) {
  real_->SetProperty(name, value);
}

void FaultInjectingConnection::Open(const std::string& user, const std::string& password) {
  real_->Open(user, password);
  shared_->injected_last = false;
}

void FaultInjectingConnection::Close() {
  real_->Close();
  shared_->injected_last = false;
}

bool FaultInjectingConnection::IsOpen() const { return real_->IsOpen(); }

void FaultInjectingConnection::SetCommandTimeout(int seconds) { real_->SetCommandTimeout(seconds); }

int FaultInjectingConnection::CommandTimeout() const { return real_->CommandTimeout(); }

std::unique_ptr<data::Recordset> FaultInjectingConnection::Execute(const std::string& statement,
                                                                   long* rows_affected) {
  shared_->Enter(CallKind::kExecute, statement);
  std::unique_ptr<data::Recordset> rows = Wrap(real_->Execute(statement, rows_affected));
  shared_->injected_last = false;
  return rows;
}

std::unique_ptr<data::Recordset> FaultInjectingConnection::OpenRecordset(
    const std::string& statement, data::CursorChoice choice) {
  shared_->Enter(CallKind::kExecute, statement);
  std::unique_ptr<data::Recordset> rows = Wrap(real_->OpenRecordset(statement, choice));
  shared_->injected_last = false;
  return rows;
}

std::optional<data::RowDigest> FaultInjectingConnection::DigestRows(const std::string& statement) {
  shared_->Enter(CallKind::kExecute, statement);
  std::optional<data::RowDigest> digest = real_->DigestRows(statement);
  shared_->injected_last = false;
  return digest;
}

std::optional<long> FaultInjectingConnection::CopyRowsFrom(
    data::Connection& source, const std::string& source_statement, const std::string& table,
    const std::vector<data::FieldInfo>& fields) {
  return CopyRowsFrom(source, source_statement, table, fields, {});
}

std::optional<long> FaultInjectingConnection::CopyRowsFrom(
    data::Connection& source, const std::string& source_statement, const std::string& table,
    const std::vector<data::FieldInfo>& fields, const std::vector<data::KeyChange>& changes) {
  shared_->Enter(CallKind::kExecute, "INSERT INTO " + table + " " + source_statement);
  std::optional<long> copied =
      real_->CopyRowsFrom(RealOf(source), source_statement, table, fields, changes);
  shared_->injected_last = false;
  return copied;
}

bool FaultInjectingConnection::CanCopyRowsFrom(data::Connection& source) {
  return real_->CanCopyRowsFrom(RealOf(source));
}

std::optional<int64_t> FaultInjectingConnection::RowMark(const std::string& table) {
  return real_->RowMark(table);
}

std::string FaultInjectingConnection::RowsAddedSince(const std::string& alias, int64_t mark) {
  return real_->RowsAddedSince(alias, mark);
}

data::Connection& FaultInjectingConnection::RealOf(data::Connection& connection) {
  // The real connection copies from the real one behind a wrapper of the same backend.
  auto* wrapped = dynamic_cast<FaultInjectingConnection*>(&connection);
  return wrapped != nullptr ? *wrapped->real_ : connection;
}

long FaultInjectingConnection::BeginTrans() {
  shared_->Enter(CallKind::kExecute, "BEGIN TRANSACTION");
  const long level = real_->BeginTrans();
  shared_->injected_last = false;
  return level;
}

void FaultInjectingConnection::CommitTrans() {
  shared_->Enter(CallKind::kExecute, "COMMIT TRANSACTION");
  real_->CommitTrans();
  shared_->injected_last = false;
}

void FaultInjectingConnection::RollbackTrans() {
  shared_->Enter(CallKind::kExecute, "ROLLBACK TRANSACTION");
  real_->RollbackTrans();
  shared_->injected_last = false;
}

const std::vector<data::ErrorEntry>& FaultInjectingConnection::Errors() const {
  return shared_->injected_last ? shared_->injected : real_->Errors();
}

std::unique_ptr<data::Recordset> FaultInjectingConnection::Wrap(
    std::unique_ptr<data::Recordset> real) {
  if (real == nullptr) return real;
  return std::make_unique<FaultInjectingRecordset>(std::move(real), shared_);
}

}  // namespace msu::testing

namespace msu::testing {

std::error_code FullDiskCopier::Copy(const std::string& from, const std::string& to,
                                     const CopyOptions& options) {
  if (whole_copies_-- > 0) return SystemFileCopier().Copy(from, to, options);
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  std::string bytes(room_, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.write(bytes.data(), in.gcount());
  return std::make_error_code(std::errc::no_space_on_device);
}

}  // namespace msu::testing
