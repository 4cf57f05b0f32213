#include "data/embedded/instance.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/context.h"
#include "core/server_password.h"
#include "core/text.h"
#include "data/admin.h"
#include "data/embedded/catalog.h"
#include "data/embedded/session_file.h"

namespace msu::embedded {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCatalogFile = "catalog.db";
constexpr const char* kSessionsFolder = "sessions";
constexpr const char* kRunLockFile = "run.lock";
constexpr const char* kLoginLockFile = "login.lock";
constexpr const char* kStateKey = "state";
constexpr const char* kRunning = "running";
constexpr const char* kStopped = "stopped";
constexpr const char* kFailedLoginsKey = "failed_logins";
constexpr const char* kLastFailureKey = "last_failed_login_ms";

// What every SQLite database file starts with.
constexpr char kDatabaseHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                      'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

[[noreturn]] void Refuse(const std::string& description) {
  throw data::AdminError(data::kErrAdminOperation, description);
}

// Runs a catalog call and turns its failures into administration errors.
template <typename Work>
auto Guarded(Work work) -> decltype(work()) {
  try {
    return work();
  } catch (const data::AdminError&) {
    throw;
  } catch (const std::exception& error) {
    Refuse(error.what());
  }
}

bool ValidInstanceName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '$' || c == '.';
  });
}

// Database names end up in file names (the log file) and in connection strings.
bool ValidDatabaseName(const std::string& name) {
  if (name.empty() || name.size() > 123 || Trim(name) != name) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 32 || c == '/' || c == '\\' || c == ';' || c == '=';
  });
}

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
  return host;
}

std::string ProgramName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// An instance holds the salted hash of its login's password and the paths of the databases it
// serves: only its owner may read anything in it. Instances made before this rule are
// narrowed when their owner next opens them; another account's are left alone (it cannot
// change them, and root may).
void KeepPrivate(const std::string& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || status.st_uid != ::geteuid()) return;
  ::chmod(folder.c_str(), 0700);
  ::chmod(JoinPath(folder, kSessionsFolder).c_str(), 0700);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    ::chmod((JoinPath(folder, kCatalogFile) + suffix).c_str(), 0600);
  }
}

// The folder of the instance called `name` in any letter case, or nothing.
std::optional<std::string> FindInstanceFolder(const std::string& root, const std::string& name) {
  for (const std::string& found : Instance::List(root)) {
    if (EqualsNoCase(found, name)) return JoinPath(root, found);
  }
  return std::nullopt;
}

// Holds the instance's login lock (flock, released by the kernel when a process dies) for the
// length of one login attempt; waits for the attempt before it.
class LoginTurn {
 public:
  explicit LoginTurn(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) {
      Refuse("Cannot open the login lock " + path + ": " + std::strerror(errno) + ".");
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd_);
      Refuse("Cannot take the login lock " + path + ": " + std::strerror(error) + ".");
    }
  }
  ~LoginTurn() { ::close(fd_); }
  LoginTurn(const LoginTurn&) = delete;
  LoginTurn& operator=(const LoginTurn&) = delete;

 private:
  int fd_;
};

class EmbeddedSession : public Session {
 public:
  explicit EmbeddedSession(std::unique_ptr<OwnedSessionFile> file) : file_(std::move(file)) {}
  long Spid() const override { return file_->Spid(); }
  bool Killed() const noexcept override { return file_->Killed(); }

 private:
  std::unique_ptr<OwnedSessionFile> file_;
};

class EmbeddedInstance : public Instance {
 public:
  EmbeddedInstance(std::string folder, std::unique_ptr<Catalog> catalog)
      : folder_(std::move(folder)),
        name_(FileNameOf(folder_)),
        sessions_folder_(JoinPath(folder_, kSessionsFolder)),
        catalog_(std::move(catalog)) {}

  const std::string& Name() const override { return name_; }
  const std::string& Folder() const override { return folder_; }

  bool IsRunning() const override {
    return Guarded([&] { return catalog_->Setting(kStateKey).value_or(kStopped) == kRunning; });
  }

  std::string Version() const override {
    return "Orvane Embedded Server " + catalog_->Setting("version").value_or("1.0") + " (SQLite " +
           sqlite3_libversion() + ")";
  }

  bool Start() override {
    bool changed = false;
    Guarded([&] {
      catalog_->Write([&] {
        changed = catalog_->Setting(kStateKey).value_or(kStopped) != kRunning;
        catalog_->SetSetting(kStateKey, kRunning);
      });
    });
    return changed;
  }

  bool Stop() override {
    bool changed = false;
    Guarded([&] {
      catalog_->Write([&] {
        changed = catalog_->Setting(kStateKey).value_or(kStopped) != kStopped;
        catalog_->SetSetting(kStateKey, kStopped);
        // Inside the transaction, so no session can open between the state change and the
        // kills.
        for (const SessionInfo& session : ListSessionFiles(sessions_folder_)) {
          KillSessionFile(sessions_folder_, session.spid);
        }
      });
    });
    return changed;
  }

  bool CheckLogin(const std::string& login, const std::string& password, LoginClock& clock,
                  LoginProofs* proofs) const override {
    // A login this process proved against the stored hash as it still is needs no second
    // Argon2id computation, nor a turn: it is no guess.
    if (proofs != nullptr) {
      const std::optional<PasswordHash> stored = Guarded([&] { return catalog_->Login(login); });
      if (stored && proofs->Holds(folder_, login, password, *stored)) return true;
    }
    // One attempt at a time on an instance, whichever process makes it: parallel guesses
    // would otherwise all wait out the same delay together.
    const LoginTurn turn(JoinPath(folder_, kLoginLockFile));
    const auto number = [&](const char* key) {
      return std::stoll(catalog_->Setting(key).value_or("0"));
    };
    const int64_t failures = Guarded([&] { return number(kFailedLoginsKey); });
    if (failures > 0) {
      const int64_t wait =
          Guarded([&] { return number(kLastFailureKey); }) + LoginDelayMs(failures) - clock.NowMs();
      if (wait > 0) clock.SleepMs(std::min(wait, LoginDelayMs(failures)));
    }
    const std::optional<PasswordHash> stored = Guarded([&] { return catalog_->Login(login); });
    const bool valid = stored && VerifyPassword(password, *stored);
    // Hashed before the transaction: other processes wait for the catalog meanwhile.
    std::optional<PasswordHash> renewed;
    if (valid && NeedsRehash(*stored)) renewed = Guarded([&] { return HashPassword(password); });
    Guarded([&] {
      catalog_->Write([&] {
        if (!valid) {
          catalog_->SetSetting(kFailedLoginsKey, std::to_string(number(kFailedLoginsKey) + 1));
          catalog_->SetSetting(kLastFailureKey, std::to_string(clock.NowMs()));
          return;
        }
        if (number(kFailedLoginsKey) != 0) catalog_->SetSetting(kFailedLoginsKey, "0");
        if (renewed) catalog_->SetLogin(login, *renewed);
      });
    });
    if (valid && proofs != nullptr)
      proofs->Add(folder_, login, password, renewed ? *renewed : *stored);
    return valid;
  }

  std::vector<AttachedDatabase> Databases() const override {
    return Guarded([&] { return catalog_->Databases(); });
  }

  std::optional<std::string> DatabaseFile(const std::string& database) const override {
    for (const AttachedDatabase& attached : Databases()) {
      if (EqualsNoCase(attached.name, database)) return attached.data_file;
    }
    return std::nullopt;
  }

  std::string Attach(const std::string& name, const std::string& data_file) override {
    if (const std::string problem = DatabaseNameProblem(name); !problem.empty()) {
      Refuse("The database name '" + name + "' is not valid: " + problem + ".");
    }
    if (data_file.empty()) Refuse("No data file was given for the database " + name + ".");
    std::error_code error;
    const std::string path = fs::absolute(data_file, error).string();
    if (error) Refuse("The path " + data_file + " cannot be used: " + error.message() + ".");
    CheckDatabaseFile(path);
    struct stat file_status {};
    ::stat(path.c_str(), &file_status);

    Guarded([&] {
      catalog_->Write([&] {
        for (const AttachedDatabase& attached : catalog_->Databases()) {
          if (EqualsNoCase(attached.name, name)) {
            Refuse("A database named " + attached.name + " is already attached to the server " +
                   name_ + ". Choose a different database name.");
          }
          struct stat other {};
          const bool same_file =
              attached.data_file == path ||
              (::stat(attached.data_file.c_str(), &other) == 0 &&
               other.st_dev == file_status.st_dev && other.st_ino == file_status.st_ino);
          if (same_file) {
            Refuse("The file " + path + " is already attached to the server " + name_ +
                   " as the database " + attached.name + ".");
          }
        }
        SupplyLogFile(path, name);
        catalog_->AddDatabase({name, path});
      });
    });
    return "The database " + name + " was attached to the server " + name_ + " from " + path + ".";
  }

  std::string Detach(const std::string& name) override {
    std::string detached;
    Guarded([&] {
      catalog_->Write([&] {
        for (const AttachedDatabase& attached : catalog_->Databases()) {
          if (EqualsNoCase(attached.name, name)) detached = attached.name;
        }
        if (detached.empty()) {
          Refuse("The database " + name + " does not exist on the server " + name_ + ".");
        }
        for (const SessionInfo& session : Sessions()) {
          if (EqualsNoCase(session.database, detached)) {
            Refuse("Cannot detach the database " + detached + " because it is currently in use.");
          }
        }
        catalog_->RemoveDatabase(detached);
      });
    });
    return "The database " + detached + " was detached from the server " + name_ + ".";
  }

  std::vector<SessionInfo> Sessions() const override {
    std::vector<SessionInfo> live = ListSessionFiles(sessions_folder_);
    std::erase_if(live, [](const SessionInfo& session) { return session.killed; });
    return live;
  }

  void Kill(long spid) override {
    if (!KillSessionFile(sessions_folder_, spid)) {
      Refuse("Process ID " + std::to_string(spid) + " is not an active process ID on the server " +
             name_ + ".");
    }
  }

  std::vector<data::PendingAttachment> PendingAttachments() const override {
    return Guarded([&] { return catalog_->PendingAttachments(); });
  }

  void RecordPendingAttachment(const data::PendingAttachment& attachment) override {
    Guarded([&] { catalog_->RecordPendingAttachment(attachment); });
  }

  void RemovePendingAttachment(const std::string& name) override {
    Guarded([&] { catalog_->Write([&] { catalog_->RemovePendingAttachment(name); }); });
  }

  std::string RunLockFile() const override { return JoinPath(folder_, kRunLockFile); }

  std::unique_ptr<Session> OpenSession(const std::string& database) override {
    std::unique_ptr<OwnedSessionFile> file;
    Guarded([&] {
      // One transaction with detach and stop: a session never appears on a database that
      // is being detached, nor on an instance that is being stopped.
      catalog_->Write([&] {
        if (catalog_->Setting(kStateKey).value_or(kStopped) != kRunning) {
          throw data::AdminError(data::kErrServerStopped, "The server " + name_ + " is stopped.");
        }
        std::string attached_name;
        for (const AttachedDatabase& attached : catalog_->Databases()) {
          if (EqualsNoCase(attached.name, database)) attached_name = attached.name;
        }
        if (attached_name.empty()) {
          Refuse("The database " + database + " does not exist on the server " + name_ + ".");
        }
        SessionInfo info;
        info.spid = catalog_->NextSpid();
        info.login = kLoginName;
        info.host = HostName();
        info.database = attached_name;
        info.program = ProgramName();
        file = OwnedSessionFile::Publish(sessions_folder_, info);
      });
    });
    return std::make_unique<EmbeddedSession>(std::move(file));
  }

 private:
  // Reads the first 16 bytes only: a refused file is never written.
  static void CheckDatabaseFile(const std::string& path) {
    struct stat file_status {};
    if (::stat(path.c_str(), &file_status) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) Refuse("The file " + path + " does not exist.");
      Refuse("The file " + path + " cannot be read: " + std::strerror(errno) + ".");
    }
    if (!S_ISREG(file_status.st_mode)) Refuse("The path " + path + " is not a file.");
    std::ifstream file(path, std::ios::binary);
    char header[sizeof kDatabaseHeader] = {};
    if (!file) Refuse("The file " + path + " cannot be read: " + std::strerror(errno) + ".");
    file.read(header, sizeof header);
    if (file.gcount() != sizeof header ||
        std::memcmp(header, kDatabaseHeader, sizeof header) != 0) {
      Refuse("The file " + path + " is not a database.");
    }
  }

  // Nothing is logged into it; it is there because the administrators' routines expect a
  // server to keep a log file beside each attached data file.
  static void SupplyLogFile(const std::string& data_file, const std::string& name) {
    const std::string log_file = JoinPath(FolderOf(data_file), name + "_log.LDF");
    const int fd = ::open(log_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) return;
      Refuse("Cannot create the log file " + log_file + ": " + std::strerror(errno) + ".");
    }
    static constexpr char kMarker[] = "Orvane Embedded Server log file\n";
    const bool written = ::write(fd, kMarker, sizeof kMarker - 1) == sizeof kMarker - 1;
    ::close(fd);
    if (!written) Refuse("Cannot write the log file " + log_file + ".");
  }

  std::string folder_;
  std::string name_;
  std::string sessions_folder_;
  std::unique_ptr<Catalog> catalog_;
};

}  // namespace

namespace {

class SystemClock : public LoginClock {
 public:
  int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(int64_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

LoginClock& SystemLoginClock() {
  static SystemClock clock;
  return clock;
}

int64_t LoginDelayMs(int64_t failures) {
  constexpr int64_t kFirst = 250, kLongest = 30000;
  if (failures <= 0) return 0;
  return failures > 8 ? kLongest : std::min(kLongest, kFirst << (failures - 1));
}

std::unique_ptr<Instance> Instance::Open(const std::string& root, const std::string& name) {
  const std::optional<std::string> folder = FindInstanceFolder(root, name);
  if (!folder) {
    throw data::AdminError(data::kErrServerNotFound, "The server " + name + " does not exist.");
  }
  KeepPrivate(*folder);
  auto catalog =
      Guarded([&] { return std::make_unique<Catalog>(JoinPath(*folder, kCatalogFile), false); });
  return std::make_unique<EmbeddedInstance>(*folder, std::move(catalog));
}

std::unique_ptr<Instance> Instance::Create(const std::string& root, const std::string& name,
                                           const std::string& warden_password) {
  if (!ValidInstanceName(name)) {
    Refuse("The server name '" + name +
           "' is not valid: use 1 to 64 letters, digits, '_', '-', '$' or '.', not starting "
           "with '.' or '-'.");
  }
  if (warden_password.empty()) Refuse("Password not specified.");
  if (const auto existing = FindInstanceFolder(root, name)) {
    Refuse("The server " + FileNameOf(*existing) + " already exists.");
  }
  std::error_code error;
  // A root made here is the user's own (the default one is); a given one keeps its modes.
  const bool new_root = !fs::exists(root, error);
  fs::create_directories(root, error);
  if (error) Refuse("Cannot create the folder " + root + ": " + error.message() + ".");
  if (new_root) ::chmod(root.c_str(), 0700);
  const std::string folder = JoinPath(root, name);
  // Private before anything is written into it.
  if (::mkdir(folder.c_str(), 0700) != 0) {
    Refuse("Cannot create the folder " + folder + ": " +
           (errno == EEXIST ? std::string("it exists already") : std::strerror(errno)) + ".");
  }
  ::chmod(folder.c_str(), 0700);  // whatever the umask
  try {
    fs::create_directory(JoinPath(folder, kSessionsFolder));
    auto catalog = std::make_unique<Catalog>(JoinPath(folder, kCatalogFile), true);
    KeepPrivate(folder);
    const PasswordHash hash = HashPassword(DeriveServerPassword(warden_password));
    catalog->Write([&] {
      catalog->SetSetting("version", "1.0");
      catalog->SetSetting(kStateKey, kRunning);
      catalog->SetLogin(kLoginName, hash);
    });
    return std::make_unique<EmbeddedInstance>(folder, std::move(catalog));
  } catch (const std::exception& failure) {
    // A half-made instance would be listed but could never be used.
    fs::remove_all(folder, error);
    Refuse("Cannot create the server " + name + ": " + failure.what());
  }
}

std::string Instance::DatabaseNameProblem(const std::string& name) {
  if (ValidDatabaseName(name)) return {};
  return "it must be 1 to 123 characters without leading or trailing blanks, control "
         "characters, '/', '\\', ';' or '='";
}

std::vector<std::string> Instance::List(const std::string& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    if (fs::is_regular_file(it->path() / kCatalogFile)) {
      names.push_back(it->path().filename().string());
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string upper_a = UpperCase(a), upper_b = UpperCase(b);
    return upper_a != upper_b ? upper_a < upper_b : a < b;
  });
  return names;
}

}  // namespace msu::embedded
