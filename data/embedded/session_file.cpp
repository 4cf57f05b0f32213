#include "data/embedded/session_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "core/text.h"

namespace msu::embedded {

namespace {

// Layout of a session file. Text fields are NUL-padded; the record is written once, before
// the file gets its final name, and only the killed byte changes afterwards.
constexpr char kMagic[8] = {'M', 'S', 'U', 'S', 'E', 'S', 'S', '1'};
constexpr size_t kKilledOffset = 8;
constexpr size_t kSpidOffset = 16;
constexpr size_t kPidOffset = 24;
constexpr size_t kLoginOffset = 32, kLoginSize = 32;
constexpr size_t kHostOffset = 64, kHostSize = 64;
constexpr size_t kDatabaseOffset = 128, kDatabaseSize = 256;
constexpr size_t kProgramOffset = 384, kProgramSize = 128;
constexpr size_t kRecordSize = 512;

constexpr const char* kSuffix = ".session";
constexpr const char* kUnpublishedSuffix = ".new";

std::string SystemError(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

void PutText(char* record, size_t offset, size_t size, const std::string& text) {
  std::memcpy(record + offset, text.data(), std::min(text.size(), size - 1));
}

std::string GetText(const char* record, size_t offset, size_t size) {
  const char* begin = record + offset;
  return std::string(begin, strnlen(begin, size));
}

void PutInteger(char* record, size_t offset, long long value) {
  std::memcpy(record + offset, &value, sizeof value);
}

long long GetInteger(const char* record, size_t offset) {
  long long value = 0;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

// A file descriptor closed on every path.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string SessionPath(const std::string& folder, long spid) {
  return JoinPath(folder, std::to_string(spid) + kSuffix);
}

// Opens a session file of another owner. The result tells whether the owner is alive: when
// the lock can be taken, it is not, and the file has been removed.
enum class Probe { kLive, kGone };
Probe ProbeOwner(int fd, const std::string& path) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Removed while still locked, so a second lister cannot mistake the file for a new one.
    ::unlink(path.c_str());
    return Probe::kGone;
  }
  return Probe::kLive;
}

bool ReadRecord(int fd, char* record) {
  return ::pread(fd, record, kRecordSize, 0) == static_cast<ssize_t>(kRecordSize) &&
         std::memcmp(record, kMagic, sizeof kMagic) == 0;
}

}  // namespace

std::unique_ptr<OwnedSessionFile> OwnedSessionFile::Publish(const std::string& sessions_folder,
                                                            const SessionInfo& info) {
  std::error_code error;
  std::filesystem::create_directories(sessions_folder, error);
  if (error) {
    throw std::runtime_error("Cannot create the sessions folder " + sessions_folder + ": " +
                             error.message());
  }
  // Written and locked under a name listers ignore, then renamed: a lister must never find
  // the file before its owner holds the lock, or it would take the session for a dead one.
  const std::string final_path = SessionPath(sessions_folder, info.spid);
  const std::string temporary_path =
      JoinPath(sessions_folder, "." + std::to_string(info.spid) + "." + std::to_string(::getpid()) +
                                    kUnpublishedSuffix);
  FileHandle file(::open(temporary_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (file.get() < 0)
    throw std::runtime_error(SystemError("Cannot create " + temporary_path, errno));
  auto fail = [&](const std::string& what) {
    const int saved = errno;
    ::unlink(temporary_path.c_str());
    throw std::runtime_error(SystemError(what, saved));
  };
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) fail("Cannot lock " + temporary_path);
  char record[kRecordSize] = {};
  std::memcpy(record, kMagic, sizeof kMagic);
  PutInteger(record, kSpidOffset, info.spid);
  PutInteger(record, kPidOffset, ::getpid());
  PutText(record, kLoginOffset, kLoginSize, info.login);
  PutText(record, kHostOffset, kHostSize, info.host);
  PutText(record, kDatabaseOffset, kDatabaseSize, info.database);
  PutText(record, kProgramOffset, kProgramSize, info.program);
  if (::pwrite(file.get(), record, kRecordSize, 0) != static_cast<ssize_t>(kRecordSize)) {
    fail("Cannot write " + temporary_path);
  }
  void* mapping = ::mmap(nullptr, kRecordSize, PROT_READ, MAP_SHARED, file.get(), 0);
  if (mapping == MAP_FAILED) fail("Cannot map " + temporary_path);
  if (::rename(temporary_path.c_str(), final_path.c_str()) != 0) {
    const int saved = errno;
    ::munmap(mapping, kRecordSize);
    errno = saved;
    fail("Cannot publish " + final_path);
  }
  return std::unique_ptr<OwnedSessionFile>(
      new OwnedSessionFile(final_path, file.release(), mapping, info.spid));
}

OwnedSessionFile::~OwnedSessionFile() {
  // Unlinked before the lock goes, so nobody can see the file without a live owner.
  ::unlink(path_.c_str());
  ::munmap(mapping_, kRecordSize);
  ::close(fd_);
}

bool OwnedSessionFile::Killed() const noexcept {
  return static_cast<const volatile char*>(mapping_)[kKilledOffset] != 0;
}

std::vector<SessionInfo> ListSessionFiles(const std::string& sessions_folder) {
  std::vector<SessionInfo> sessions;
  std::error_code error;
  std::filesystem::directory_iterator it(sessions_folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::string path = it->path().string();
    if (name.starts_with(".") && name.ends_with(kUnpublishedSuffix)) {
      // Being published: its lock may not be taken yet, so only the owner's death (the
      // process number is in the name) makes it a leftover.
      const size_t pid_start = name.find('.', 1);
      const long pid = pid_start == std::string::npos ? 0 : std::atol(name.c_str() + pid_start + 1);
      if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
        ::unlink(path.c_str());
      }
      continue;
    }
    if (name.size() <= std::strlen(kSuffix) || !name.ends_with(kSuffix)) continue;
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) continue;  // its owner closed it meanwhile
    if (ProbeOwner(file.get(), path) == Probe::kGone) continue;
    char record[kRecordSize];
    if (!ReadRecord(file.get(), record)) continue;
    SessionInfo info;
    info.spid = static_cast<long>(GetInteger(record, kSpidOffset));
    info.pid = static_cast<long>(GetInteger(record, kPidOffset));
    info.login = GetText(record, kLoginOffset, kLoginSize);
    info.host = GetText(record, kHostOffset, kHostSize);
    info.database = GetText(record, kDatabaseOffset, kDatabaseSize);
    info.program = GetText(record, kProgramOffset, kProgramSize);
    info.killed = record[kKilledOffset] != 0;
    sessions.push_back(std::move(info));
  }
  std::sort(sessions.begin(), sessions.end(),
            [](const SessionInfo& a, const SessionInfo& b) { return a.spid < b.spid; });
  return sessions;
}

bool KillSessionFile(const std::string& sessions_folder, long spid) {
  const std::string path = SessionPath(sessions_folder, spid);
  FileHandle file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (file.get() < 0) return false;
  if (ProbeOwner(file.get(), path) == Probe::kGone) return false;
  char record[kRecordSize];
  if (!ReadRecord(file.get(), record) || record[kKilledOffset] != 0) return false;
  const char killed = 1;
  return ::pwrite(file.get(), &killed, 1, kKilledOffset) == 1;
}

}  // namespace msu::embedded
