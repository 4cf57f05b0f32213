// Sessions: every data connection is a process of its instance, seen and killed from any OS
// process, and a process that died never leaves a session behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "data/admin.h"
#include "tests/data/embedded/instance_test_support.h"

namespace msu::embedded {
namespace {

using namespace testing;

long AdminNumber(const std::function<void()>& work) { return Thrown<data::AdminError>(work).first; }

std::vector<long> Spids(const Instance& instance) {
  std::vector<long> spids;
  for (const SessionInfo& session : instance.Sessions()) spids.push_back(session.spid);
  return spids;
}

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    instance = Instance::Create(root.path(), "ORVANE", kWardenPassword);
    for (const char* name : {"Alpha", "Beta"}) {
      MakeDatabaseFile(data / (name + std::string(".mdf")));
      instance->Attach(name, data / (name + std::string(".mdf")));
    }
  }

  // Runs `child` in a forked process that reports through a pipe; returns its pid and the
  // reading end.
  template <typename Child>
  std::pair<pid_t, int> Fork(Child child) {
    int pipe_ends[2];
    EXPECT_EQ(::pipe(pipe_ends), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(pipe_ends[0]);
      ::_exit(child(pipe_ends[1]));
    }
    ::close(pipe_ends[1]);
    return {pid, pipe_ends[0]};
  }

  // A child holding a session on Alpha until it is killed (exit 0) or a minute passed (3);
  // returns its pid and the session's spid.
  std::pair<pid_t, long> HoldSession() {
    const auto [pid, fd] = Fork([&](int report) {
      try {
        auto session = Instance::Open(root.path(), "ORVANE")->OpenSession("Alpha");
        const long spid = session->Spid();
        if (::write(report, &spid, sizeof spid) != sizeof spid) return 4;
        return WaitUntil([&] { return session->Killed(); }) ? 0 : 3;
      } catch (...) {
        return 5;
      }
    });
    long spid = 0;
    EXPECT_EQ(::read(fd, &spid, sizeof spid), static_cast<ssize_t>(sizeof spid));
    ::close(fd);
    return {pid, spid};
  }

  std::string SessionFile(long spid) const {
    return root / ("ORVANE/sessions/" + std::to_string(spid) + ".session");
  }

  ScratchFolder root, data;
  std::unique_ptr<Instance> instance;
};

TEST_F(SessionTest, SpidsStartAt51AndAreNeverReused) {
  auto first = instance->OpenSession("Alpha");
  auto second = Instance::Open(root.path(), "orvane")->OpenSession("BETA");
  EXPECT_EQ(first->Spid(), 51);
  EXPECT_EQ(second->Spid(), 52);
  first.reset();
  auto third = instance->OpenSession("Alpha");
  EXPECT_EQ(third->Spid(), 53);
  EXPECT_EQ(Spids(*instance), (std::vector<long>{52, 53}));

  const std::vector<SessionInfo> sessions = instance->Sessions();
  EXPECT_EQ(sessions[0].database, "Beta");  // the attached name, not the one asked for
  EXPECT_EQ(sessions[0].login, "VESTRA");
  EXPECT_EQ(sessions[0].pid, ::getpid());

  second.reset();
  third.reset();
  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_TRUE(std::filesystem::is_empty(root / "ORVANE/sessions"));
}

TEST_F(SessionTest, SessionsNeedARunningServerAndAnAttachedDatabase) {
  EXPECT_EQ(AdminNumber([&] { instance->OpenSession("Gamma"); }), data::kErrAdminOperation);
  auto open = instance->OpenSession("Alpha");
  EXPECT_TRUE(instance->Stop());
  // Stopping ends every session.
  EXPECT_TRUE(open->Killed());
  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_EQ(AdminNumber([&] { instance->OpenSession("Alpha"); }), data::kErrServerStopped);
  instance->Start();
  EXPECT_FALSE(instance->OpenSession("Alpha")->Killed());
}

TEST_F(SessionTest, KillEndsOneLiveSessionOnce) {
  auto victim = instance->OpenSession("Alpha");
  auto bystander = instance->OpenSession("Alpha");
  EXPECT_EQ(AdminNumber([&] { instance->Kill(999); }), data::kErrAdminOperation);
  EXPECT_FALSE(victim->Killed());

  instance->Kill(victim->Spid());
  EXPECT_TRUE(victim->Killed());
  EXPECT_FALSE(bystander->Killed());
  // A killed session is over for everyone but its owner, who has not noticed yet.
  EXPECT_EQ(Spids(*instance), std::vector<long>{bystander->Spid()});
  EXPECT_EQ(AdminNumber([&] { instance->Kill(victim->Spid()); }), data::kErrAdminOperation);
}

TEST_F(SessionTest, ASessionOfAnotherProcessIsListedAndKilled) {
  const auto [pid, spid] = HoldSession();
  ASSERT_GE(spid, 51);
  const std::vector<SessionInfo> sessions = instance->Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].spid, spid);
  EXPECT_EQ(sessions[0].pid, pid);
  EXPECT_EQ(sessions[0].database, "Alpha");
  EXPECT_EQ(AdminNumber([&] { instance->Detach("Alpha"); }), data::kErrAdminOperation);

  instance->Kill(spid);
  EXPECT_EQ(ExitStatus(pid), 0) << "the other process did not see the kill";
  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_FALSE(std::filesystem::exists(SessionFile(spid)));
  EXPECT_NO_THROW(instance->Detach("Alpha"));
}

TEST_F(SessionTest, AProcessThatDiedLeavesNoSession) {
  const auto [pid, spid] = HoldSession();
  ASSERT_EQ(Spids(*instance), std::vector<long>{spid});
  // Killed without any chance to clean up: its session file stays behind.
  ::kill(pid, SIGKILL);
  EXPECT_EQ(ExitStatus(pid), -1);
  EXPECT_TRUE(std::filesystem::exists(SessionFile(spid)));

  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_FALSE(std::filesystem::exists(SessionFile(spid)));
  EXPECT_EQ(AdminNumber([&] { instance->Kill(spid); }), data::kErrAdminOperation);
  EXPECT_NO_THROW(instance->Detach("Alpha"));
  // Its number is not handed out again.
  EXPECT_GT(instance->OpenSession("Beta")->Spid(), spid);

  // Half-published session files go with their process only.
  const auto [dead_pid, report] = Fork([](int) { return 0; });
  ::close(report);
  ExitStatus(dead_pid);
  const std::string dead = root / ("ORVANE/sessions/.77." + std::to_string(dead_pid) + ".new");
  const std::string alive = root / ("ORVANE/sessions/.78." + std::to_string(::getpid()) + ".new");
  WriteFile(dead, "half written");
  WriteFile(alive, "being written");
  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(alive));
}

TEST_F(SessionTest, ProcessesOpeningSessionsAtOnceGetDistinctSpids) {
  constexpr int kProcesses = 4, kSessionsEach = 15;
  std::vector<std::pair<pid_t, int>> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(Fork([&](int fd) {
      try {
        auto own = Instance::Open(root.path(), "ORVANE");
        std::vector<std::unique_ptr<Session>> held;
        for (int j = 0; j < kSessionsEach; ++j) {
          held.push_back(own->OpenSession(j % 2 ? "Alpha" : "Beta"));
          const long spid = held.back()->Spid();
          if (::write(fd, &spid, sizeof spid) != sizeof spid) return 4;
        }
        return 0;
      } catch (...) {
        return 5;
      }
    }));
  }
  std::set<long> spids;
  for (const auto& [pid, fd] : children) {
    long spid = 0;
    while (::read(fd, &spid, sizeof spid) == static_cast<ssize_t>(sizeof spid)) spids.insert(spid);
    ::close(fd);
    EXPECT_EQ(ExitStatus(pid), 0);
  }
  EXPECT_EQ(spids.size(), static_cast<size_t>(kProcesses * kSessionsEach));
  EXPECT_EQ(*spids.begin(), 51);
  EXPECT_TRUE(instance->Sessions().empty());
}

}  // namespace
}  // namespace msu::embedded
