// The catalog of an instance: one SQLite file "catalog.db" in the instance folder, shared by
// every process that uses the instance. It holds the settings (running state, version, the
// next process number), the logins with their password hashes, the attached databases in
// attach order, and the databases detached on the way that must be attached again. Every change
// runs in an immediate transaction and every connection waits for the others (busy timeout), so
// concurrent processes see one order of events.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/admin.h"
#include "data/embedded/catalog_password.h"
#include "data/embedded/instance.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::embedded {

class Catalog {
 public:
  // Opens the catalog file; with `create` the file and its tables are made (the file must not
  // exist yet). Throws std::runtime_error with SQLite's message when that fails.
  Catalog(const std::string& path, bool create);
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  // Runs `work` inside BEGIN IMMEDIATE ... COMMIT; rolls back and rethrows when it throws.
  void Write(const std::function<void()>& work);

  std::optional<std::string> Setting(const std::string& key) const;
  void SetSetting(const std::string& key, const std::string& value);

  std::optional<PasswordHash> Login(const std::string& name) const;
  void SetLogin(const std::string& name, const PasswordHash& hash);

  std::vector<AttachedDatabase> Databases() const;
  void AddDatabase(const AttachedDatabase& database);
  // False when no database of that name (without regard to case) exists.
  bool RemoveDatabase(const std::string& name);

  // Takes the next process number (inside Write).
  long NextSpid();

  // The pending attachments (data/admin.h), oldest first. Record replaces an entry of the same
  // name and waits until the entry is on the disk; Remove returns false when there was none.
  std::vector<data::PendingAttachment> PendingAttachments() const;
  void RecordPendingAttachment(const data::PendingAttachment& attachment);
  bool RemovePendingAttachment(const std::string& name);

 private:
  void Exec(const char* sql);
  // Catalogs made before the record of pending attachments existed get its table.
  void EnsurePendingTable();
  sqlite::Database db_;
};

}  // namespace msu::embedded
