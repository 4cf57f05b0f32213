// One merge's administration on a real embedded instance: login, open connections, working
// copies, re-attachment, the finished copy at the new path, and the clean-up at exit. The
// user's database files are SQLite files and must come out byte for byte as they went in.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "routine_world.h"
#include "server/attachment.h"
#include "server/connection_settings.h"
#include "server/embedded/backend.h"
#include "server/exit_cleanup.h"
#include "server/login_check.h"
#include "server/open_connections.h"
#include "server/working_copies.h"

namespace msu::testing {
namespace {

void MakeDatabase(const std::string& path, const std::string& incident) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string sql =
      "CREATE TABLE Incidents(IncidentID INTEGER PRIMARY KEY, Name TEXT);"
      "INSERT INTO Incidents VALUES(1, '" +
      incident + "');";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// The running suite: the staged msu-server holding a data connection from another process
// until its session is killed. Killed (and reaped) with the test if it is still there.
class SuiteInUse {
 public:
  SuiteInUse(const std::string& root, const std::string& database) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(MSU_SERVER_PROGRAM, MSU_SERVER_PROGRAM, "--root", root.c_str(), "hold", "ORVANE",
              database.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~SuiteInUse() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  // Exit status of the holder; -1 when it did not end by itself.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

bool HasSessionOf(const embedded::Instance& instance, pid_t pid) {
  for (const auto& session : instance.Sessions()) {
    if (session.pid == pid) return true;
  }
  return false;
}

std::vector<std::string> Names(const embedded::Instance& instance) {
  std::vector<std::string> names;
  for (const auto& database : instance.Databases()) names.push_back(database.name);
  return names;
}

TEST(RoutinesOnEmbeddedInstance, MergeAdministrationFromLoginToExit) {
  std::string root = (fs::temp_directory_path() / "msu-routines-XXXXXX").string();
  ASSERT_NE(::mkdtemp(root.data()), nullptr);
  for (const char* folder : {"/app", "/data", "/out"}) fs::create_directories(root + folder);
  const std::string db1 = root + "/data/Incidents.mdf", db2 = root + "/data/Regional.mdf";
  MakeDatabase(db1, "Flood");
  MakeDatabase(db2, "Fire");
  const std::string bytes1 = ReadBytes(db1), bytes2 = ReadBytes(db2);
  auto instance = embedded::Instance::Create(root + "/servers", "ORVANE", "secret");
  instance->Attach("Incidents", db1);
  instance->Attach("Regional", db2);
  SuiteInUse suite(root + "/servers", "Incidents");
  for (int attempt = 0; attempt < 600 && !HasSessionOf(*instance, suite.pid()); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(HasSessionOf(*instance, suite.pid())) << "the holder never opened its session";

  embedded::EmbeddedBackend backend(root + "/servers");
  RecordingProgress progress;
  ScriptedPrompt prompt;
  Context context(root + "/app", progress, prompt, backend);
  WriteBytes(context.AppFile("cvn.ini"), "[CVN]\n");

  EXPECT_EQ(CheckLogin(context, "ORVANE", "Secret!", kMoveNext).message, "Password incorrect.");
  ASSERT_TRUE(CheckLogin(context, "ORVANE", "secret", kMoveNext).ok);
  EXPECT_EQ(CheckOpenConnections(context, db1), "Incidents");
  EXPECT_EQ(CheckOpenConnections(context, db2), "");

  ASSERT_TRUE(MakeWorkingCopies(context, db1, db2, root + "/out/Merged.mdf"));
  // The detach ended the other program's session: its next statement failed and it left.
  EXPECT_EQ(suite.Wait(), 0);
  EXPECT_EQ(CheckOpenConnections(context, db1), "");
  ASSERT_TRUE(ReattachDatabases(context, db1, db2));
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "W_O_R_K_A", "Regional", "W_O_R_K_B"));
  EXPECT_THAT(progress.Texts(LogPage::kCheck), ::testing::SizeIs(6));

  // The copies are working databases: B is changed through a data connection and becomes the
  // new database.
  {
    auto b = backend.CreateConnection();
    b->SetConnectionString(
        GetConnectionString(context, "CVN", context.AppFile("cvn.ini"), "ORVANE", "W_O_R_K_B"));
    b->Open();
    b->Execute("UPDATE Incidents SET Name = 'Fire and Flood' WHERE IncidentID = 1");
    b->Close();
  }
  ASSERT_TRUE(
      CopyDatabaseFile(context, context.AppFile("W_O_R_K_B.tmp"), root + "/out/Merged.mdf"));
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "W_O_R_K_A", "Regional", "Merged"));
  {
    auto merged = backend.CreateConnection();
    merged->SetConnectionString(backend.DataConnectionString("ORVANE", "Merged"));
    merged->Open();
    auto rows = merged->Execute("SELECT Name FROM Incidents");
    ASSERT_FALSE(rows->IsEOF());
    EXPECT_EQ(rows->Get(0).AsText(), "Fire and Flood");
  }

  CleanUpWorkingFiles(context, root + "/out/Merged.mdf");
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "Regional"));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(root + "/app")) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(left, ElementsAre("cvn.ini"));
  EXPECT_TRUE(fs::exists(root + "/out/Merged.mdf"));
  EXPECT_THAT(prompt.Boxes(), IsEmpty());
  EXPECT_EQ(ReadBytes(db1), bytes1);
  EXPECT_EQ(ReadBytes(db2), bytes2);
  fs::remove_all(root);
}

}  // namespace
}  // namespace msu::testing
