// One run at a time: the lock a run of the programs holds on a place (its application folder,
// its server) for as long as it may change something there, so that two runs never share
// working files or working databases.
//
// The lock is a file held with flock(). The kernel releases it when its process dies, so the
// lock of a killed run is simply taken over by the next. The file holds the number of the
// process that holds it and the name the run goes by, for the words of a run that is refused,
// and is removed when the lock ends. Two locks of one file conflict inside one process too.
#pragma once

#include <memory>
#include <string>

namespace msu {

// Who holds a lock: its process (0 when the file cannot be read) and the name its run goes by
// ("msu merge", "the Orvane Merge/Split window"; empty when it gave none).
struct LockHolder {
  long process = 0;
  std::string name;
};

class RunLock {
 public:
  // Takes the lock of the file `path` (made when missing) without waiting and returns it,
  // writing this process's number and `owner` into the file. When another holder has it,
  // returns null and sets `*holder` to what that holder wrote. Throws std::runtime_error,
  // naming the file and the reason, when the file cannot be made or locked for any other
  // reason.
  static std::unique_ptr<RunLock> TryTake(const std::string& path, LockHolder* holder,
                                          const std::string& owner = {});
  // The same, for callers that only want the holder's process number.
  static std::unique_ptr<RunLock> TryTake(const std::string& path, long* holder);

  // Removes the file, then releases the lock.
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  const std::string& path() const { return path_; }

 private:
  RunLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

// The locks of one run, held while it may make or use working copies (see
// server/run_locks.h).
struct RunLocks {
  std::unique_ptr<RunLock> folder;  // the application folder's
  std::unique_ptr<RunLock> server;  // the server's, when its backend has one
  std::string server_name;          // the server `server` locks
  std::string owner;                // the name the run goes by in its lock files
};

}  // namespace msu
