// One merge's administration on a real embedded instance: login, open connections, working
// copies, re-attachment, the finished copy at the new path, and the clean-up at exit. The
// user's database files are SQLite files and must come out byte for byte as they went in.
#include "data/embedded/backend.h"
#include "page_rules/login_check.h"
#include "routine_world.h"
#include "server_routines/attachment.h"
#include "server_routines/connection_settings.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/open_connections.h"
#include "server_routines/working_copies.h"
#include "tests/data/embedded/instance_test_support.h"

namespace msu::testing {
namespace {

using embedded::testing::MakeDatabaseFile;

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
  const ScratchFolder scratch;
  const std::string& root = scratch.path();
  // Blanks and non-ASCII letters in every folder: the paths travel through the catalog, the
  // connection strings and the file copies unchanged.
  const std::string app = root + "/Program Files/Orvane MSU", data = root + "/Données 2026",
                    out = root + "/Résultat final";
  for (const std::string& folder : {app, data, out}) fs::create_directories(folder);
  const std::string db1 = data + "/Incidents.mdf", db2 = data + "/Régional.mdf";
  MakeDatabaseFile(db1, "Flood");
  MakeDatabaseFile(db2, "Fire");
  const std::string bytes1 = ReadFile(db1), bytes2 = ReadFile(db2);
  auto instance = embedded::Instance::Create(root + "/servers", "ORVANE", "secret");
  instance->Attach("Incidents", db1);
  instance->Attach("Regional", db2);
  // The running suite: another program holding a data connection until its session is killed.
  WriteFile(root + "/warden.txt", "secret\n");
  embedded::testing::Program suite(MSU_SERVER_PROGRAM,
                                   {"--root", root + "/servers", "hold", "ORVANE", "Incidents",
                                    "--password-file", root + "/warden.txt"},
                                   root + "/holder.txt");
  ASSERT_TRUE(embedded::testing::WaitUntil([&] { return HasSessionOf(*instance, suite.pid()); }))
      << suite.Output();

  embedded::EmbeddedBackend backend(root + "/servers");
  RecordingProgress progress;
  ScriptedPrompt prompt;
  Context context(app, progress, prompt, backend);
  WriteFile(context.AppFile("cvn.ini"), "[CVN]\n");

  EXPECT_EQ(CheckLogin(context, "ORVANE", "Secret!", kMoveNext).message, "Password incorrect.");
  ASSERT_TRUE(CheckLogin(context, "ORVANE", "secret", kMoveNext).ok);
  EXPECT_EQ(server_routines::CheckOpenConnections(context, db1), "Incidents");
  EXPECT_EQ(server_routines::CheckOpenConnections(context, db2), "");

  ASSERT_TRUE(server_routines::MakeWorkingCopies(context, db1, db2, out + "/Merged.mdf"));
  // The detach ended the other program's session: its next statement failed and it left.
  EXPECT_EQ(suite.Wait(), 0);
  EXPECT_EQ(server_routines::CheckOpenConnections(context, db1), "");
  ASSERT_TRUE(server_routines::ReattachDatabases(context, db1, db2));
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "W_O_R_K_A", "Regional", "W_O_R_K_B"));
  EXPECT_THAT(progress.Texts(LogPage::kCheck), ::testing::SizeIs(6));

  // The copies are working databases: B is changed through a data connection and becomes the
  // new database.
  {
    auto b = backend.CreateConnection();
    b->SetConnectionString(server_routines::GetConnectionString(
        context, "CVN", context.AppFile("cvn.ini"), "ORVANE", "W_O_R_K_B"));
    b->Open();
    b->Execute("UPDATE Incidents SET Name = 'Fire and Flood' WHERE IncidentID = 1");
    b->Close();
  }
  ASSERT_TRUE(server_routines::CopyDatabaseFile(context, context.AppFile("W_O_R_K_B.tmp"),
                                                out + "/Merged.mdf"));
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "W_O_R_K_A", "Regional", "Merged"));
  {
    auto merged = backend.CreateConnection();
    merged->SetConnectionString(backend.DataConnectionString("ORVANE", "Merged"));
    merged->Open();
    auto rows = merged->Execute("SELECT Name FROM Incidents");
    ASSERT_FALSE(rows->IsEOF());
    EXPECT_EQ(rows->Get(0).AsText(), "Fire and Flood");
  }

  server_routines::CleanUpWorkingFiles(context, out + "/Merged.mdf");
  EXPECT_THAT(Names(*instance), ElementsAre("Incidents", "Regional"));
  EXPECT_THAT(FileNames(app), ElementsAre("cvn.ini"));
  EXPECT_TRUE(fs::exists(out + "/Merged.mdf"));
  EXPECT_THAT(prompt.Boxes(), IsEmpty());
  EXPECT_EQ(ReadFile(db1), bytes1);
  EXPECT_EQ(ReadFile(db2), bytes2);
}

}  // namespace
}  // namespace msu::testing
